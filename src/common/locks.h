#pragma once
// Opening a table, locking a record and appending one while other
// workstations use the same tables: each retries for a bounded time with
// pauses that a key press ends (the key is consumed).
#include <string_view>

#include "common/session.h"

namespace durva {

// Opens `file` (a table path without extension) in the current work area
// under `alias`, closing what was open there. Each refused attempt is
// followed by a pause of up to a second; `wait` attempts are made, and wait 0
// retries for ever. A missing file or any other failure than a sharing
// refusal is not retried: it goes to the general error handler, so callers
// that must survive it test FILE_X first. An exclusive opening of a table
// outside ROB\ and the strukt scratch tables shows "Otwieram plik ..." while
// it tries; the screen under it is restored before returning.
bool NET_USE(Session& s, std::string_view file, std::string_view alias, bool exclusive, int wait);

// Locks the current record of the current work area (releasing the area's
// other record lock). A write that fails on the way (the area's pending
// change) goes to the general error handler, as in ADD_REC. One attempt, then one more after each pause of up to
// half a second until `wait` seconds are used up; wait 0 retries for ever.
bool REC_LOCK(Session& s, double wait);

// Appends a blank record to the table of the current work area, retried as
// REC_LOCK is. On success the new record is current and locked.
bool ADD_REC(Session& s, double wait);

// Gives the session's tables their way of waiting for another program's
// append and index locks: a notice naming the file after a few seconds, the
// general error handler's choice (wait again or end) after half a minute.
// Every session gets it when it is made.
void install_lock_notices(Session& s);

}  // namespace durva
