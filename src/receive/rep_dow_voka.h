#pragma once
// Sales document booking: the work table's rows become one numbered sales
// document in the shared tables, with its totals and stock changes.
#include "receive/import_run.h"

namespace durva {

// Books the work table (at least one row, on its first row) and shows the
// document number with its amount until a key is pressed (unattended: not at
// all). Returns true.
bool REP_DOW_VOKA(ImportRun& r);

// The header's NODB for the selected register: its description in 26
// characters, "Port:" and its port in two.
std::string register_label(Session& s, const MenuValues& m);

// The text the booking ends with, e.g. "SD 123  na kwote  1 234.50 Z".
std::string booking_message(std::string_view rd, std::string_view nrd, double total);

// A document number as the messages show it: its blanks left out.
std::string without_blanks(std::string_view nrd);

}  // namespace durva
