#pragma once
// The settings of the PLU record rules as one send finds them: the program's
// settings, the company's name, the marker files and the register chosen.
#include "common/menu_values.h"
#include "common/session.h"
#include "send/plu_record.h"

namespace durva {

// Gathered once at the start of a send; `level` is the price level chosen on
// the send options screen.
PluSettings plu_settings(Session& s, const MenuValues& m, int level);

}  // namespace durva
