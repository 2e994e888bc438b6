#pragma once
// A whole program context on the headless terminal: the test clock, the
// scripted keyboard, the screen and the session. Tests script keys, run a
// routine with `session`, and read the screen back.
#include <cstdint>
#include <initializer_list>
#include <string>

#include "common/screen/codepage.h"
#include "common/screen/keys.h"
#include "common/screen/screen.h"
#include "common/session.h"
#include "platform/clock.h"
#include "platform/headless_terminal.h"

namespace durva::testing {

using platform::ScriptStep;
using screen::Key;

struct HeadlessSession {
    explicit HeadlessSession(std::initializer_list<ScriptStep> keys = {}, bool colour = true)
        : terminal(clock, keys, colour), screen(terminal, clock), session(clock, screen) {}

    // Code-page bytes of a row piece, and the same shown as UTF-8.
    std::string text(int row, int col, int len) const { return screen.text(row, col, len); }
    std::string utf8(int row, int col, int len) const { return screen::to_utf8(screen.text(row, col, len)); }
    std::uint8_t attr(int row, int col) const { return screen.cell(row, col).attr; }
    // True when every cell of the piece has `attr`.
    bool all_attr(int row, int col, int len, std::uint8_t a) const {
        for (int c = col; c < col + len; ++c)
            if (screen.cell(row, c).attr != a) return false;
        return true;
    }

    platform::TestClock clock;
    platform::HeadlessTerminal terminal;
    screen::Screen screen;
    Session session;
};

}  // namespace durva::testing
