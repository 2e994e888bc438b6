#pragma once
// Signing the workstation in as one of the stations of the company record,
// and out again at the end. The station string ST of the company record holds
// one character per position 1 to 10: "1" taken, "0" free.
#include <string_view>

#include "common/session.h"

namespace durva {

// Signs in and returns the station number, or 0 after a message that stays on
// screen ("Mam problemy z wejsciem", "Wszystkie stacje zajete"). The first
// workstation, the one that can hold the company table exclusively, clears
// every position and takes station 1; the table then stays open exclusively.
// Any other takes the first free position up to 9 under the record lock,
// looking at the string again once the lock is granted, so that two
// workstations arriving together never take the same one. The table is left
// open in work area 1.
int IN_NET(Session& s);

// Frees position STACJA when the company table is open in work area 1 and its
// record can be locked within 20 seconds; otherwise changes nothing. The
// caller's work area is selected again. Returns true.
bool OUT_NET(Session& s);

// The first free position (a "0") among 1 to 9 of a station string, 0 when
// there is none there. Position 10 is never handed out.
int first_free_station(std::string_view station_string);

}  // namespace durva
