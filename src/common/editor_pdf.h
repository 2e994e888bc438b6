#pragma once
// The editor's PDF step after Alt-P: the name question and the export.
#include <string>
#include <string_view>

#include "common/session.h"

namespace durva {

// Clears the screen, asks "nazwa pliku PDF:" and writes the PDF of the text
// file (`path` resolved, `file_name` as the caller gave it). A name that
// cannot be used is refused with a message and asked again; Esc gives up.
void export_pdf(Session& s, const std::string& path, std::string_view file_name);

}  // namespace durva
