#pragma once
// Sales line matching: one line of the sales file becomes a row of the
// station's work table (alias dd) when its code finds a goods record, or goes
// whole to the run's unmatched-lines list.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "receive/import_run.h"

namespace durva {

// True when a row was appended. A line that is not a sales line (one of its
// four ";" missing within characters 3 to 122) is dropped without trace; a
// line whose code finds no goods record, or whose amounts a row or the
// document could not hold as read, is listed and false is returned.
bool ADD_WIERSZ(ImportRun& r, std::string_view line);

// The goods record a searched code stands for under the run's modes and the
// menu's warehouses, or nullopt. Leaves the goods table on it. A code longer
// than 13 characters, or blank, stands for no goods record.
std::optional<std::uint32_t> find_goods(ImportRun& r, const std::string& code);

// Sets the matcher's company tests of the run from the company record, the
// settings and the marker file WOLIX.TXT.
void prepare_matching(ImportRun& r);

}  // namespace durva
