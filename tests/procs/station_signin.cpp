// A workstation starting the program as far as the sign-in: it signs in on
// the company table of FOLDER and says which station it got. Time runs SCALE
// times faster than on the wall clock, so the sign-in's pauses and its
// 20-second lock wait stay short, and nothing is shown: the screen is only
// read back for the message.
//
//   station_signin FOLDER SCALE
// Prints "ready", then signs in on "go" from standard input. While it waits
// it prints "wait MS" for every pause of MS (scaled) milliseconds; at the end
// "station N" and "message TEXT" (the text on the message row, trimmed).
// "stuck" and exit code 5 when it would wait for a key for ever.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>

#include "app/in_net.h"
#include "common/screen/screen.h"
#include "common/session.h"
#include "platform/clock.h"
#include "platform/terminal.h"

namespace {

using namespace durva;

class FastClock final : public platform::Clock {
public:
    explicit FastClock(int scale) : scale_(scale) {}
    std::int64_t now_ms() const override { return real_.now_ms() * scale_; }
    platform::LocalTime local_time() const override { return real_.local_time(); }
    void sleep_ms(std::int64_t ms) override { real_.sleep_ms((ms + scale_ - 1) / scale_); }

private:
    platform::RealClock real_;
    int scale_;
};

// A terminal nobody types on: each timed wait is reported and slept through.
class SilentTerminal final : public platform::Terminal {
public:
    explicit SilentTerminal(platform::Clock& clock) : clock_(clock) {}
    int rows() const override { return 25; }
    int cols() const override { return 80; }
    bool has_colors() const override { return true; }
    void present(const platform::TermCell*, int, int, int, int, bool) override {}
    std::optional<platform::InputKey> read_key(int timeout_ms) override {
        if (timeout_ms == 0) return std::nullopt;
        if (timeout_ms < 0) {
            std::printf("stuck\n");
            std::fflush(stdout);
            std::_Exit(5);
        }
        std::printf("wait %d\n", timeout_ms);
        std::fflush(stdout);
        clock_.sleep_ms(timeout_ms);
        return std::nullopt;
    }
    void tone(int, int) override {}

private:
    platform::Clock& clock_;
};

std::string trimmed(std::string text) {
    const size_t b = text.find_first_not_of(' ');
    if (b == std::string::npos) return {};
    const size_t e = text.find_last_not_of(' ');
    return text.substr(b, e - b + 1);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) return 2;
    if (::chdir(argv[1]) != 0) return 2;
    FastClock clock(std::max(1, std::atoi(argv[2])));
    SilentTerminal terminal(clock);
    screen::Screen scr(terminal, clock);
    Session s(clock, scr);
    s.areas.settings.soft_seek = true;
    s.areas.settings.deleted_hidden = true;

    std::printf("ready\n");
    std::fflush(stdout);
    std::string line;
    if (!std::getline(std::cin, line) || line != "go") return 3;

    const int station = IN_NET(s);
    // Row 17 holds the text of the message window, framed by its sides.
    std::string message = scr.text(17, 31, 41);
    std::printf("station %d\nmessage %s\n", station, trimmed(message).c_str());
    std::fflush(stdout);
    s.areas.close_all();
    return 0;
}
