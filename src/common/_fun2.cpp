#include "common/_fun2.h"

#include <string>

#include "common/screen/codepage.h"

namespace durva {

bool RAMKA(Session& s, int top, int left, int bottom, int right, std::initializer_list<int> separators) {
    using namespace screen::glyph;
    auto& scr = s.screen;
    scr.set_colour("W+");
    const int inner = right - left - 1;
    if (inner > 0) scr.say(top + 1, left + 1, std::string(static_cast<std::size_t>(inner), kUpperHalf));
    const std::string side(1, kSingleVertical);
    for (int r = top; r <= bottom; ++r) {
        scr.say(r, left, side);
        scr.say(r, right, side);
    }
    if (right >= left) scr.say(bottom, left, std::string(static_cast<std::size_t>(right - left + 1), kSingleHorizontal));
    scr.say(bottom, left, std::string(1, kSingleBottomLeft));
    scr.say(bottom, right, std::string(1, kSingleBottomRight));
    int drawn = 0;
    for (int row : separators) {
        if (drawn++ == 4) break;
        if (inner > 0) scr.say(row, left + 1, std::string(static_cast<std::size_t>(inner), kSingleHorizontal));
    }
    return true;
}

}  // namespace durva
