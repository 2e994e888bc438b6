// The real terminal on a pseudo-terminal of a given size and type: what it
// sends, how it answers a window that is too small, and what it leaves behind.
#include "platform/terminal_ncurses.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <string>

namespace durva::platform {
namespace {

struct PtyRun {
    int status = -1;
    std::string output;  // everything the child wrote to its terminal
};

// Runs `body` in a child whose terminal is a new pseudo-terminal of rows x
// cols and type `term`. `on_output` sees the output so far and may act on the
// terminal (resize it); the run is bounded by a few seconds.
PtyRun run_on_pty(int rows, int cols, const char* term, const std::function<int()>& body,
                  const std::function<void(int master, const std::string& output)>& on_output = {}) {
    PtyRun run;
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) return run;
    winsize size{};
    size.ws_row = static_cast<unsigned short>(rows);
    size.ws_col = static_cast<unsigned short>(cols);
    ::ioctl(master, TIOCSWINSZ, &size);
    const std::string slave_name = ::ptsname(master);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::setsid();
        const int slave = ::open(slave_name.c_str(), O_RDWR);  // becomes the controlling terminal
        if (slave < 0) ::_exit(120);
        ::dup2(slave, 0);
        ::dup2(slave, 1);
        ::dup2(slave, 2);
        ::close(master);
        ::setenv("TERM", term, 1);
        int code = 121;
        try {
            code = body();
        } catch (...) {
            code = 122;
        }
        std::fflush(stdout);
        std::fflush(stderr);
        ::_exit(code);
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    int wait_status = 0;
    bool ended = false;
    while (std::chrono::steady_clock::now() < deadline) {
        pollfd p{master, POLLIN, 0};
        if (::poll(&p, 1, 50) > 0) {
            char buf[4096];
            const ssize_t n = ::read(master, buf, sizeof buf);
            if (n > 0) {
                run.output.append(buf, static_cast<std::size_t>(n));
                if (on_output) on_output(master, run.output);
                continue;
            }
        }
        if (ended) break;  // the child is gone and its output drained
        if (::waitpid(pid, &wait_status, WNOHANG) == pid) ended = true;
    }
    if (!ended) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &wait_status, 0);
    }
    ::close(master);
    run.status = WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : -1;
    return run;
}

// Starts the terminal and ends it leaving its size on the ordinary screen.
int start_and_report_size() {
    try {
        NcursesTerminal t;
        t.finish({"ROZMIAR " + std::to_string(t.cols()) + "x" + std::to_string(t.rows())});
        return 0;
    } catch (const TerminalError&) {
        return 3;
    }
}

constexpr const char* kResizeRequest = "\033[8;25;80t";

TEST(NcursesTerminal, ASmallWindowThatTakesResizeRequestsGrowsTo80x25) {
    bool resized = false;
    PtyRun r = run_on_pty(24, 80, "xterm", start_and_report_size, [&](int master, const std::string& out) {
        if (!resized && out.find(kResizeRequest) != std::string::npos) {
            // What a terminal window does when asked: it takes the size.
            winsize size{};
            size.ws_row = 25;
            size.ws_col = 80;
            ::ioctl(master, TIOCSWINSZ, &size);
            resized = true;
        }
    });
    EXPECT_TRUE(resized) << r.output;
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("ROZMIAR 80x25"), std::string::npos) << r.output;
}

TEST(NcursesTerminal, AWindowThatStaysSmallIsRefusedWithItsSize) {
    PtyRun r = run_on_pty(24, 80, "xterm", start_and_report_size);
    EXPECT_EQ(r.status, 3) << r.output;
    EXPECT_NE(r.output.find(kResizeRequest), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("80 x 24"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("80 x 25"), std::string::npos) << r.output;

    // Big enough already: nothing is asked.
    PtyRun big = run_on_pty(30, 100, "xterm", start_and_report_size);
    EXPECT_EQ(big.status, 0) << big.output;
    EXPECT_EQ(big.output.find("\033[8;"), std::string::npos) << big.output;
}

TEST(NcursesTerminal, DelaysOfTheTerminalDatabaseAreNeverPrinted) {
    // A vt100's clear-screen string carries a delay, "$<50>".
    PtyRun r = run_on_pty(25, 80, "vt100", start_and_report_size);
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("ROZMIAR 80x25"), std::string::npos) << r.output;
    EXPECT_EQ(r.output.find("$<"), std::string::npos) << r.output;
}

TEST(NcursesTerminal, ASequenceOfNoKnownKeyIsOneKeyThatMeansNothing) {
    // Read whole, it neither abandons a screen as an Esc nor types its
    // characters into a field; the keys after it come through as they are.
    auto read_three = [] {
        NcursesTerminal t;
        std::string seen;
        for (int i = 0; i < 3; ++i) {
            const auto key = t.read_key(2000);
            seen += key ? "[" + std::to_string(key->code) + "," + std::to_string(key->ch) + "]" : "[brak]";
        }
        t.finish({"KLAWISZE " + seen});
        return 0;
    };
    bool typed = false;
    PtyRun r = run_on_pty(25, 80, "xterm", read_three, [&](int master, const std::string& out) {
        // Typed once the terminal has set itself up and cleared the screen.
        if (typed || out.find("\033[2J") == std::string::npos) return;
        const std::string keys = "\033[99~\033[1;5Dx";
        typed = ::write(master, keys.data(), keys.size()) == static_cast<ssize_t>(keys.size());
    });
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("KLAWISZE [0,0][26,0][0,120]"), std::string::npos) << r.output;
}

}  // namespace
}  // namespace durva::platform
