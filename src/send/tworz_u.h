#pragma once
// TWORZ_U: the send of goods to the current register, menu item 1. Shows the
// send options, takes the sent-record table and writes durva\data_in.txt by
// one of three roads: the leaflet, the listed receipt documents, or the main
// send of every new or changed good.
#include "common/menu_values.h"
#include "common/session.h"

namespace durva {

// True when the input file is written and the driver may be run; false on
// Esc, a "no" to the confirmation, a sent-record table that cannot be had
// (another station is sending), or no leaflet table for a leaflet send.
// When true, the send's changes to the sent-record table wait for the
// driver's report: keep_sent_changes() or drop_sent_changes() after it.
bool TWORZ_U(Session& s, MenuValues& m);

}  // namespace durva
