#pragma once
// A headless program context that remembers every screen the program showed
// while it waited (for a key, or for a message's time to run out), so a test
// can tell that a message came and went.
#include <initializer_list>
#include <string>

#include "common/screen/screen.h"
#include "common/session.h"
#include "platform/clock.h"
#include "platform/headless_terminal.h"

namespace durva::testing {

class WatchedTerminal final : public platform::Terminal {
public:
    WatchedTerminal(platform::TestClock& clock, std::initializer_list<platform::ScriptStep> keys)
        : inner(clock, keys) {}
    int rows() const override { return inner.rows(); }
    int cols() const override { return inner.cols(); }
    bool has_colors() const override { return inner.has_colors(); }
    void present(const platform::TermCell* cells, int r, int c, int cr, int cc, bool visible) override {
        inner.present(cells, r, c, cr, cc, visible);
        if (watch_presents) snapshot();
    }
    std::optional<platform::InputKey> read_key(int timeout_ms) override {
        if (timeout_ms != 0) snapshot();
        return inner.read_key(timeout_ms);
    }
    void tone(int frequency_hz, int duration_ms) override { inner.tone(frequency_hz, duration_ms); }

    void snapshot() {
        for (int r = 0; r < inner.rows(); ++r) seen += inner.shown_row_utf8(r) + "\n";
    }

    platform::HeadlessTerminal inner;
    std::string seen;             // the screen at every wait, row by row, as UTF-8
    bool watch_presents = false;  // and at every change shown, when set
};

struct WatchedSession {
    explicit WatchedSession(std::initializer_list<platform::ScriptStep> keys = {})
        : terminal(clock, keys), screen(terminal, clock), session(clock, screen) {}
    bool saw(const std::string& utf8) const { return terminal.seen.find(utf8) != std::string::npos; }
    std::string text(int row, int col, int len) const { return screen.text(row, col, len); }
    // True when the screen shows `bytes` (code page) on one of its rows now.
    bool shows(const std::string& bytes) const {
        for (int r = 0; r < screen::kRows; ++r)
            if (screen.text(r, 0, screen::kCols).find(bytes) != std::string::npos) return true;
        return false;
    }

    platform::TestClock clock;
    WatchedTerminal terminal;
    screen::Screen screen;
    Session session;
};

}  // namespace durva::testing
