#pragma once
// The send from receipt documents: the goods on the listed documents of the
// type typed in the Rd field, all of them, changed or not, right after a
// delivery is booked.
#include <string>
#include <string_view>
#include <vector>

#include "send/send_run.h"

namespace durva {

// The document numbers of a number list as the documents hold them: each run
// of digits as its value right-aligned in 8 positions (leading zeros go; a
// number too long for 8 positions becomes asterisks and finds nothing).
std::vector<std::string> document_numbers(std::string_view list);

// Writes durva\data_in.txt with the goods of every listed document, each
// line also shown on the screen. Always true.
bool DURVA_PZ(SendRun& run, std::string_view list);

// Writes the goods of document M_RD + `number` (8 positions).
bool DURVA_1_PZ(SendRun& run, class InputFileWriter& out, std::string_view number);

}  // namespace durva
