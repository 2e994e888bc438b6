#pragma once
// The two main-menu items that change what a register holds: sending goods
// to it (item 1) and deleting PLUs in it (item 5), each from its question to
// the driver's report.
#include "common/menu_values.h"
#include "common/session.h"

namespace durva {

// Item 1: TWORZ_U, "Kasa gotowa do transmisji ?", the driver run on the
// file written, its report.
void send_goods_to_register(Session& s, MenuValues& m);

// Item 5: the register's PLU list read out, the deletion mode chosen,
// "Kasowac ?", the deletion request (KAS_PLU) sent, its report, and the
// sent-record table deleted so that the next send transfers every good.
void delete_register_plus(Session& s, MenuValues& m);

}  // namespace durva
