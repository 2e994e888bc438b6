#pragma once
// KAS_PLU: the deletion request for PLUs of the current register, made from
// the PLU list the driver read out of it (durva\data_out.txt). The chosen list
// lines ("P;1;..." only) go back unchanged after the control line
// "S;I;1; ; ;"; the driver deletes the PLUs they name.
#include "common/menu_values.h"
#include "common/session.h"

namespace durva {

// The three ways of choosing PLUs to delete.
enum class PluDeletion {
    All = 1,          // every PLU of the register
    ZeroStock = 2,    // goods with no stock, and codes with no good
    WithoutGoods = 3, // codes with no good
};

// Writes durva\data_in.txt with the lines of the PLU list chosen by `mode`.
// Codes are looked up in the goods table by bar code when it has them, else
// by the stand's warehouse (or "1") and index. Without a PLU list nothing is
// written and the input file keeps what it held. Always true; the goods
// table is left selected, in its first order, on its first record.
bool KAS_PLU(Session& s, const MenuValues& m, int mode);

}  // namespace durva
