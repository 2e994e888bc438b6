#pragma once
// The menu frame of the main screens.
#include <initializer_list>

#include "common/session.h"

namespace durva {

// Draws the menu frame in "W+", which stays in force: an upper-half-block
// band on row top + 1, single side lines from top to bottom, a single bottom
// line with its corners, and a single line across each separator row (at most
// four). Row top gets only the side lines; callers put a title there.
bool RAMKA(Session& s, int top, int left, int bottom, int right, std::initializer_list<int> separators = {});

}  // namespace durva
