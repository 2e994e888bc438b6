// A workstation sending goods to stand 01 from the main menu of a sample
// folder, as an operator choosing item 1 and answering T to both of its
// questions, with whatever driver the folder holds:
//
//   goods_sender FOLDER [question | write N]
// With "question" it stops at "Kasa gotowa do transmisji ?": it prints
// "asked" and waits for a line on its standard input without answering.
// With "write N" the process kills itself (SIGKILL, as kill -9 would end it)
// just before its N-th write into durva/as2000.dbf. Prints "sent" when the
// menu run has ended.
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>

#include "app/durva_menu.h"
#include "platform/file.h"
#include "platform/headless_terminal.h"
#include "common/screen/keys.h"
#include "send/sample_office.h"

namespace {

using namespace durva;

int g_writes_left = 0;

void kill_at_write(const std::string& path, int, const void*, size_t, std::uint64_t) {
    if (path.ends_with("durva/as2000.dbf") && --g_writes_left == 0) ::kill(::getpid(), SIGKILL);
}

// The scripted operator; with `stop`, a wait for a key once the script is
// used up is where the operator never answers.
class Operator final : public platform::Terminal {
public:
    Operator(platform::TestClock& clock, bool stop) : inner_(clock), stop_(stop) {}
    void push_keys(std::initializer_list<platform::ScriptStep> keys) { inner_.push_keys(keys); }
    int rows() const override { return inner_.rows(); }
    int cols() const override { return inner_.cols(); }
    bool has_colors() const override { return inner_.has_colors(); }
    void present(const platform::TermCell* cells, int r, int c, int cr, int cc, bool visible) override {
        inner_.present(cells, r, c, cr, cc, visible);
    }
    std::optional<platform::InputKey> read_key(int timeout_ms) override {
        if (stop_ && timeout_ms < 0 && inner_.steps_left() == 0) {
            std::printf("asked\n");
            std::fflush(stdout);
            std::string line;
            std::getline(std::cin, line);
            std::_Exit(0);
        }
        return inner_.read_key(timeout_ms);
    }
    void tone(int hz, int ms) override { inner_.tone(hz, ms); }

private:
    platform::HeadlessTerminal inner_;
    bool stop_;
};

}  // namespace

int main(int argc, char** argv) {
    using screen::Key;
    if (argc < 2) return 2;
    std::filesystem::current_path(argv[1]);
    const std::string point = argc >= 3 ? argv[2] : "";
    if (point == "write" && argc >= 4) {
        g_writes_left = std::atoi(argv[3]);
        platform::set_write_observer(kill_at_write);
    }
    const platform::ScriptStep let_pass = platform::ScriptStep::silence(3000);
    platform::TestClock clock;
    Operator terminal(clock, point == "question");
    terminal.push_keys({Key::Enter, Key::Enter, Key::Enter, 'T', let_pass});
    if (point != "question") terminal.push_keys({'T', let_pass, Key::Esc});
    screen::Screen screen(terminal, clock);
    Session s(clock, screen);
    // Station 2: station 1 is the test's own.
    if (!testing::open_sample_office(s, 2)) return 3;
    MenuValues m;
    DURVA_(s, m);
    std::printf("sent\n");
    return 0;
}
