#pragma once
// Opening the company tables once at start-up, in the work areas every other
// routine addresses them by: the company table (1 firma), the goods (2 as),
// the station's work table (4 dd), the document rows (5 dow), the document
// headers (6 dowod), the document counters (9 slow) and pk (10).
#include <optional>
#include <string>
#include <string_view>

#include "common/session.h"

namespace durva {

// Opens every company table of the period the company record names and
// creates the station's work table afresh. True with the work table current
// (record order, first record) and related to the goods by "mag+indeks".
// False after a message when a table cannot be had, when the period is not a
// valid one or its goods table is missing; the caller then signs out and
// ends the program. Sets HH, JEST_KOD13 and lowers J_POZIOM to 1 when the
// goods have no CENAM field.
bool INIT_DBF(Session& s);

// The period folder "YY\MM" of a company record's BMR ("MM/YY"); nullopt when
// BMR holds no month 01 to 12 and two-digit year in those places.
std::optional<std::string> period_folder(std::string_view bmr);

// The work table's field list as TWORZ takes it, for station `station`.
std::string work_table_field_list(int station);

}  // namespace durva
