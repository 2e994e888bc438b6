#pragma once
// The report after every driver run: what durva\error.txt says, and the
// input-file line the driver refused.
#include <string_view>

#include "common/session.h"

namespace durva {

void ERROR_DURVA(Session& s);

// Shows line `line` (counted from 1) of a CR LF text file on row 24 and
// waits for a key; nothing when the file cannot be read or has no such line.
bool WIERSZ_III(Session& s, std::string_view file, int line);

}  // namespace durva
