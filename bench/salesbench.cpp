// salesbench FOLDER [LINES]: times the import and booking of a sales file of
// LINES lines (10,000 by default) on an office folder (durvademo --size
// 100000 writes one), every line a good of the folder, then the same booking
// killed at its last stock change and the time the next import takes to
// finish it. Before the import it times, in a process of its own, the floor
// of the same work (the file read, each line's goods record read and written
// back, a row appended for each line, both files forced) and gives the
// import as a multiple of it. The folder's tables are changed: use a copy.
// Prints "operation: N ms" lines, the processor time and the peak memory.
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
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

// `work` in a process of its own, so that its memory is not counted against
// the import's; what it returned, 0 when it failed.
double in_child(const std::function<double()>& work) {
    int pipe_fds[2];
    if (::pipe(pipe_fds) != 0) return 0;
    std::fflush(stdout);
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(pipe_fds[0]);
        const double result = work();
        const ssize_t n = ::write(pipe_fds[1], &result, sizeof result);
        ::_exit(n == static_cast<ssize_t>(sizeof result) ? 0 : 1);
    }
    ::close(pipe_fds[1]);
    double result = 0;
    if (child <= 0 || ::read(pipe_fds[0], &result, sizeof result) != static_cast<ssize_t>(sizeof result)) result = 0;
    ::close(pipe_fds[0]);
    if (child > 0) ::waitpid(child, nullptr, 0);
    return result;
}

// The floor of the same work, what no booking can do without: the sales
// file read; each line's goods record read and written back as it was; a
// record of the rows table's length appended for each line to a scratch
// file; both files forced to disk. In milliseconds, 0 when it failed.
double floor_ms(const char* sales, const std::vector<std::uint32_t>& sold, dbf::DbfFile& goods, int row_length) {
    const auto start = std::chrono::steady_clock::now();
    std::ifstream in(sales, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const int fd = ::open(goods.path().c_str(), O_RDWR);
    const int rows = ::open("salesbench_floor.dat", O_WRONLY | O_CREAT | O_TRUNC, 0644);
    bool ok = fd >= 0 && rows >= 0 && !text.empty();
    const std::size_t rl = static_cast<std::size_t>(goods.record_length());
    std::string record(rl, ' '), appended;
    for (std::uint32_t recno : sold) {
        if (!ok) break;
        const off_t at = goods.header_length() + static_cast<off_t>(recno - 1) * static_cast<off_t>(rl);
        ok = ::pread(fd, record.data(), rl, at) == static_cast<ssize_t>(rl) &&
             ::pwrite(fd, record.data(), rl, at) == static_cast<ssize_t>(rl);
        appended.append(static_cast<std::size_t>(row_length), ' ');
    }
    ok = ok && ::write(rows, appended.data(), appended.size()) == static_cast<ssize_t>(appended.size()) &&
         ::fdatasync(rows) == 0 && ::fdatasync(fd) == 0;
    if (fd >= 0) ::close(fd);
    if (rows >= 0) ::close(rows);
    std::remove("salesbench_floor.dat");
    return ok ? std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count() : 0;
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
    std::vector<std::uint32_t> recnos;
    for (goods.go_top(); !goods.eof(); goods.skip(1)) {
        std::string code = s.values.JEST_KOD13 ? goods.text("KOD13") : goods.text("INDEKS");
        while (!code.empty() && code.back() == ' ') code.pop_back();
        if (code.empty() || (!s.values.JEST_KOD13 && goods.text("MAG") != "1")) continue;
        codes.push_back(code);
        recnos.push_back(goods.recno());
    }
    std::mt19937 rng(1);
    std::filesystem::create_directories("durva");
    std::vector<std::uint32_t> sold;  // the goods record of each line
    auto write_sales = [&] {
        std::ofstream out("durva/data_out.xxx", std::ios::binary);
        sold.clear();
        for (int i = 0; i < lines; ++i) {
            const std::size_t k = rng() % codes.size();
            sold.push_back(recnos[k]);
            out << "S;" << codes[k] << ";TOWAR;" << 100 + rng() % 10000 << ";" << 1000 * (1 + rng() % 3) << ";\r\n";
        }
    };
    write_sales();
    const double floor = in_child([&] {
        return floor_ms("durva/data_out.xxx", sold, goods.dbf(), s.areas.table("dow").dbf().record_length());
    });
    if (floor > 0) std::printf("floor (read the file, each line's goods record read and written, a row each "
                               "appended, forced): %.0f ms\n", floor);
    // What the office's open tables (and this program's list of codes) take
    // before the import, against which the import's own memory is told.
    const long before_kb = peak_kb();
    MenuValues menu;
    auto start = std::chrono::steady_clock::now();
    long long cpu = cpu_ms();
    const bool ok = ZROB_SD_VOKA(s, menu, "durva\\data_out.xxx");
    const long long took = ms_since(start);
    std::printf("import and booking of %d lines: %lld ms (processor %lld ms)", lines, took, cpu_ms() - cpu);
    if (floor > 0) std::printf(", %.1f x the floor", static_cast<double>(took) / floor);
    std::printf("\n");
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
