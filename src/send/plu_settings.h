#pragma once
// The settings of the PLU record rules as one send finds them: the program's
// settings, the company's name, the marker files and the register chosen.
#include <optional>
#include <string>

#include "common/memvars.h"
#include "common/menu_values.h"
#include "common/session.h"
#include "send/plu_record.h"

namespace durva {

// Gathered once at the start of a send; `level` is the price level chosen on
// the send options screen.
PluSettings plu_settings(Session& s, const MenuValues& m, int level);

// The rate of tax group 0..5 (A to F) from J_PTUA..J_PTUF. A parameter file
// written by this program alone lacks them; an absent setting then takes the
// rate that group has on the registers of this country (A 23, B 8, C 5, D 0)
// and groups E and F take no goods, rather than an empty rate that would put
// every good into group A.
std::optional<std::string> vat_group_rate(const Memvars& vars, int group);

}  // namespace durva
