// salesbench FOLDER [LINES]: times the import and booking of a sales file of
// LINES lines (10,000 by default) on an office folder (durvademo --size
// 100000 writes one), every line a good of the folder, then the same booking
// killed at its last stock change and the time the next import takes to
// finish it. The folder's tables are changed: use a copy. Prints
// "operation: N ms" lines and the peak memory.
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "common/_fun3.h"
#include "common/locks.h"
#include "common/mem_file.h"
#include "common/menu_values.h"
#include "common/screen/screen.h"
#include "common/session.h"
#include "platform/clock.h"
#include "platform/headless_terminal.h"
#include "receive/booking_journal.h"
#include "receive/zrob_sd_voka.h"

namespace {

using namespace durva;

constexpr const char* kWorkTable =
    "rob\\d01,R_P       ,C,  1,  0,S_Z       ,C,  1,  0,RD        ,C,  3,  0,NRD       ,C,  8,  0,"
    "DATA      ,D,  8,  0,MAG       ,C,  1,  0,LP        ,C,  3,  0,KTO       ,C,  1,  0,"
    "ODB       ,C,  8,  0,INDEKS    ,C,  8,  0,NAZWA     ,C, 30,  0,JM        ,C,  3,  0,"
    "UPUST0    ,N,  4,  1,CENA0     ,N, 14,  4,CENA      ,N, 14,  4,NB        ,C,  1,  0,"
    "ILOSC     ,N, 15,  3,WARTOSC   ,N, 14,  2,PODATEK0  ,C,  2,  0,PODATEK   ,N, 14,  4,"
    "BRUTTO    ,N, 16,  2,SWW       ,C,  8,  0,PKWIU     ,C, 10,  0,CENA_N    ,N, 14,  2";

long peak_kb() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss;
}

// The processor time this process has used, in milliseconds: on a machine
// whose disk or other programs vary, the part of a run that is the program's own.
long long cpu_ms() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1000LL + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1000;
}

long long ms_since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
}

// The company tables in the work areas start-up gives them, for station 1 or 2.
void open_office(Session& s, int station = 1) {
    restore_mem_file("PARAMETR.MEM", s.vars);
    s.values.STACJA = station;
    const std::string nn = "0" + std::to_string(station);
    s.values.PLIK = "rob\\wydruk" + nn + ".prn";
    auto& a = s.areas;
    a.select(1);
    dbf::Table& firma = a.use("firma", "firma", platform::Share::Shared);
    const std::string bmr = firma.text("BMR");
    s.values.HH = bmr.substr(3, 2) + "\\" + bmr.substr(0, 2);
    const std::string hh = s.values.HH + "\\";
    a.select(2);
    dbf::Table& goods = a.use(hh + "as", "as", platform::Share::Shared);
    s.values.JEST_KOD13 = goods.field_pos("KOD13") > 0;
    goods.add_index(hh + "as");
    goods.add_index(hh + "as2");
    if (s.values.JEST_KOD13) goods.add_index(hh + "as3");
    goods.set_order(1);
    std::filesystem::create_directories("rob");
    a.select(4);
    TWORZ(s, "rob\\d" + nn + std::string(kWorkTable).substr(7), true, 1);
    dbf::Table& dd = a.use("rob\\d" + nn, "dd", platform::Share::Exclusive);
    dd.create_index("rob\\d" + nn, "mag+indeks");
    dd.set_order(0);
    a.select(5);
    dbf::Table& dow = a.use(hh + "dow", "dow", platform::Share::Shared);
    for (const char* ix : {"dow1", "dow2", "dow3"}) dow.add_index(hh + ix);
    a.select(6);
    dbf::Table& dowod = a.use(hh + "dowod", "dowod", platform::Share::Shared);
    for (const char* ix : {"dowod1", "dowod2"}) dowod.add_index(hh + ix);
    a.select(9);
    a.use(hh + "slow", "slow", platform::Share::Shared).add_index(hh + "slow");
    a.select(4);
    dd.set_relation(goods, "mag+indeks");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "uzycie: salesbench FOLDER [WIERSZY]\n");
        return 2;
    }
    const int lines = argc > 2 ? std::atoi(argv[2]) : 10000;
    std::filesystem::current_path(argv[1]);
    platform::TestClock clock;
    platform::HeadlessTerminal terminal(clock);
    screen::Screen screen(terminal, clock);
    Session s(clock, screen);
    s.unattended = true;  // as the scheduled read-out: no window waits for a key
    s.areas.settings.exclusive = false;
    open_office(s);
    const platform::LocalTime today = clock.local_time();
    s.values.M_DATA = Date::from_ymd(today.year, today.month, today.day);
    dbf::Table& goods = s.areas.table("as");
    std::printf("goods: %u\n", goods.record_count());

    // Codes of live goods: bar codes, or indexes of warehouse 1 without them.
    std::vector<std::string> codes;
    for (goods.go_top(); !goods.eof(); goods.skip(1)) {
        std::string code = s.values.JEST_KOD13 ? goods.text("KOD13") : goods.text("INDEKS");
        while (!code.empty() && code.back() == ' ') code.pop_back();
        if (!code.empty() && (s.values.JEST_KOD13 || goods.text("MAG") == "1")) codes.push_back(code);
    }
    std::mt19937 rng(1);
    std::filesystem::create_directories("durva");
    auto write_sales = [&] {
        std::ofstream out("durva/data_out.xxx", std::ios::binary);
        for (int i = 0; i < lines; ++i)
            out << "S;" << codes[rng() % codes.size()] << ";TOWAR;" << 100 + rng() % 10000 << ";"
                << 1000 * (1 + rng() % 3) << ";\r\n";
    };
    write_sales();
    // What the office's open tables (and this program's list of codes) take
    // before the import, against which the import's own memory is told.
    const long before_kb = peak_kb();
    MenuValues menu;
    auto start = std::chrono::steady_clock::now();
    long long cpu = cpu_ms();
    const bool ok = ZROB_SD_VOKA(s, menu, "durva\\data_out.xxx");
    std::printf("import and booking of %d lines: %lld ms (processor %lld ms)\n", lines, ms_since(start),
                cpu_ms() - cpu);
    const std::uint32_t rows = s.areas.table("dd").record_count();
    std::printf("  rows booked: %u, peak memory %ld KB (%ld KB with the tables open before it)\n", rows, peak_kb(),
                before_kb);

    // The same again, killed once the last row's stock change is under way;
    // the next import finishes it.
    write_sales();
    std::fflush(stdout);
    const pid_t child = ::fork();
    if (child == 0) {
        BookingJournal::checkpoint() = [rows, seen = 0u](char tag) mutable {
            if (tag == 'S' && ++seen == rows) ::kill(::getpid(), SIGKILL);
        };
        // A workstation of its own, as the one killed would be.
        platform::TestClock own_clock;
        platform::HeadlessTerminal own_terminal(own_clock);
        screen::Screen own_screen(own_terminal, own_clock);
        Session own(own_clock, own_screen);
        own.unattended = true;
        own.areas.settings.exclusive = false;
        open_office(own, 2);
        own.values.M_DATA = s.values.M_DATA;
        MenuValues m;
        ZROB_SD_VOKA(own, m, "durva\\data_out.xxx");
        ::_exit(3);  // not cut short: nothing to time
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    if (!WIFSIGNALED(status)) {
        std::printf("finishing a booking cut short: the booking was not cut short\n");
    } else {
        start = std::chrono::steady_clock::now();
        cpu = cpu_ms();
        ZROB_SD_VOKA(s, menu, "durva\\data_out.xxx");
        std::printf("finishing a booking of %u rows cut short at its last row: %lld ms (processor %lld ms)\n", rows,
                    ms_since(start), cpu_ms() - cpu);
    }
    s.areas.close_all();
    return ok ? 0 : 1;
}
