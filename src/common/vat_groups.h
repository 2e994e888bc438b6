#pragma once
// The register's tax groups A to F and Z and the rate each one stands for in
// this office. The send files goods into the groups by these rates and the
// stand browser's legend shows them, so both read them here: the legend then
// shows what a send will do.
#include <optional>
#include <string>

#include "common/memvars.h"

namespace durva {

// Groups 0 to 5 are A to F (departments 01 to 06), group 6 is Z (department 07).
inline constexpr int kVatGroupCount = 7;
inline constexpr int kExemptGroup = 6;

// Goods whose rate begins with this text are exempt; the send puts them into
// group Z whatever J_PTUZ holds.
inline constexpr const char* kExemptRate = "ZW";

char vat_group_letter(int group);  // 'A'..'F', 'Z'; '?' outside 0..6

// The rate of a group: J_PTUA..J_PTUF, J_PTUZ as the parameter file has them
// (blanks and empty texts included). A parameter file written by this program
// alone lacks them; an absent (or non-text) setting then takes the rate the
// group has on the registers of this country: A 23, B 8, C 5, D 0, Z exempt.
// Groups E and F then have no rate and take no goods, rather than an empty
// rate, which every rate begins with and which would draw goods into them.
std::optional<std::string> vat_group_rate(const Memvars& vars, int group);

}  // namespace durva
