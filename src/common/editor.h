#pragma once
// The full-screen text-file editor MEDIT, in which the operator reads, changes,
// prints and exports a text file of the program, and the printer readiness
// question DRUKOWAC it asks before printing.
#include <string>
#include <string_view>

#include "common/session.h"

namespace durva {

// Edits the text file (a DOS path of the working folder; a missing file is
// created holding one empty line). Esc ends and keeps the text: the file is
// rewritten as its lines, each ended by CR LF. F5 prints; Alt-P, where the
// marker "PDF.TXT" exists, ends and exports the file as a PDF. The screen comes
// back as it was and the cursor is hidden. Always true.
bool MEDIT(Session& s, std::string_view file_name);

// Asks the operator to get the printer ready; true when printing may go ahead.
// With the marker "LPT.TXT" the port is chosen and kept in M_LPT.
bool DRUKOWAC(Session& s);

// The port printing goes to: M_LPT when it holds "LPT2", else "LPT1".
std::string printer_port(const Session& s);

// Why a name typed for the PDF file cannot be used (empty when it can): a
// path leaving the working folder or characters no file name may hold.
std::string pdf_name_problem(std::string_view name);

// The PDF file for a name typed at the question: blank gives the print file's
// name (or, without one, the edited file's) without folder and extension;
// ".pdf" is added to a name without an extension.
std::string pdf_file_name(std::string_view typed, std::string_view print_file, std::string_view edited_file);

}  // namespace durva
