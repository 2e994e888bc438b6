// A workstation importing and booking a sales file into the shared tables of
// a sample folder, as the main menu's receive item does:
//
//   sales_booker FOLDER STATION FILE [TAG COUNT [stop]]
// With TAG and COUNT the process kills itself (SIGKILL, as a power cut or
// kill -9 would end it) right after the COUNT-th journal line of that tag
// ("P" plan, "N" number, "H" header, "W" rows, "S" stock before, "s" stock
// done, "E" finished); with the tag "t" it does so COUNT milliseconds after
// it starts, wherever it is then. With "stop" it stops there instead, a
// booking under way: it prints "stopped" and goes on when a line comes on
// its standard input. With the tag "f" no file may grow past COUNT bytes, as
// on a disk that is full. With the tag "p" every file forced to disk is
// copied, as it then was, to FOLDER/.durable (slashes as "%"), and the process
// is killed right after the COUNT-th forcing: a power cut, once the test puts
// back only what was forced. Prints "booked" or "nothing" at the end,
// "error ..." on failure. Waits for locks on the real clock; any wait for a
// key is answered at once with "n" (so a file already booked is not booked
// again).
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include "common/menu_values.h"
#include "common/screen/screen.h"
#include "common/session.h"
#include "platform/clock.h"
#include "platform/disk_sync.h"
#include "platform/errors.h"
#include "platform/terminal.h"
#include "receive/booking_journal.h"
#include "receive/sales_tables_open.h"
#include "receive/zrob_sd_voka.h"

namespace {

class QuietTerminal final : public durva::platform::Terminal {
public:
    int rows() const override { return 25; }
    int cols() const override { return 80; }
    bool has_colors() const override { return true; }
    void present(const durva::platform::TermCell*, int, int, int, int, bool) override {}
    std::optional<durva::platform::InputKey> read_key(int timeout_ms) override {
        if (timeout_ms < 0) return durva::platform::InputKey{'n', U'n'};
        std::this_thread::sleep_for(std::chrono::milliseconds(timeout_ms));
        return std::nullopt;
    }
    void tone(int, int) override {}
};

}  // namespace

int main(int argc, char** argv) {
    using namespace durva;
    if (argc < 4) return 2;
    std::filesystem::current_path(argv[1]);
    const int station = std::atoi(argv[2]);
    if (argc >= 6) {
        const char tag = argv[4][0];
        const int count = std::atoi(argv[5]);
        if (tag == 'p') {
            std::filesystem::create_directories(".durable");
            platform::forcing_observer() = [count, seen = 0](const std::string& path) mutable {
                std::string name = path;
                for (char& c : name)
                    if (c == '/') c = '%';
                std::filesystem::copy_file(path, ".durable/" + name,
                                           std::filesystem::copy_options::overwrite_existing);
                if (++seen == count) ::kill(::getpid(), SIGKILL);
            };
        } else if (tag == 'f') {
            ::signal(SIGXFSZ, SIG_IGN);
            const rlimit limit{static_cast<rlim_t>(count), static_cast<rlim_t>(count)};
            ::setrlimit(RLIMIT_FSIZE, &limit);
        } else if (tag == 't') {
            std::thread([count] {
                std::this_thread::sleep_for(std::chrono::milliseconds(count));
                ::kill(::getpid(), SIGKILL);
            }).detach();
        } else {
            const bool stop = argc >= 7 && std::string(argv[6]) == "stop";
            BookingJournal::checkpoint() = [tag, count, stop, seen = 0](char t) mutable {
                if (t != tag || ++seen != count) return;
                if (!stop) ::kill(::getpid(), SIGKILL);
                std::printf("stopped\n");
                std::fflush(stdout);
                char c = 0;
                while (::read(0, &c, 1) == 1 && c != '\n') {}
            };
        }
    }
    platform::RealClock clock;
    QuietTerminal terminal;
    screen::Screen scr(terminal, clock);
    Session s(clock, scr);
    MenuValues m;
    try {
        test::open_sales_tables(s, std::filesystem::exists("16/03/as3.ntx"), station);
        s.values.M_DATA = Date::from_ymd(2016, 3, 15);
        bool ok = ZROB_SD_VOKA(s, m, argv[3]);
        s.areas.close_all();
        std::printf("%s\n", ok ? "booked" : "nothing");
    } catch (const std::exception& e) {
        std::printf("error %s\n", e.what());
        return 1;
    }
    return 0;
}
