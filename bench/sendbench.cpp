// sendbench FOLDER: times the main send of goods to register 01 on an office
// folder (durvademo --size 100000 writes one), first with no sent-record
// table, then again with nothing changed, without running the driver.
// Prints one line per operation, "operation: N ms", the peak memory, and a
// checksum of the driver input file each send wrote, so that a change made
// for speed can be seen to leave the file byte for byte as it was.
#include <sys/resource.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

#include "common/mem_file.h"
#include "common/menu_values.h"
#include "common/screen/screen.h"
#include "common/session.h"
#include "platform/clock.h"
#include "platform/headless_terminal.h"
#include "send/main_send.h"
#include "send/send_options.h"
#include "send/send_run.h"
#include "send/sent_records.h"

namespace {

using namespace durva;

// FNV-1a over the file's bytes.
std::uint64_t file_checksum(const char* path) {
    std::FILE* f = std::fopen(path, "rb");
    if (!f) return 0;
    std::uint64_t h = 1469598103934665603ull;
    char buf[65536];
    for (size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;)
        for (size_t i = 0; i < n; ++i) h = (h ^ static_cast<unsigned char>(buf[i])) * 1099511628211ull;
    std::fclose(f);
    return h;
}

long peak_kb() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss;
}

// The company tables as the program opens them at start-up, as far as a send reads them.
void open_office(Session& s) {
    restore_mem_file("PARAMETR.MEM", s.vars);
    s.values.STACJA = 1;
    auto& areas = s.areas;
    areas.select(1);
    dbf::Table& firma = areas.use("firma", "firma", platform::Share::Shared);
    const std::string bmr = firma.text("BMR");
    s.values.HH = bmr.substr(3, 2) + "\\" + bmr.substr(0, 2);
    areas.select(2);
    dbf::Table& goods = areas.use(s.values.HH + "\\as", "as", platform::Share::Shared);
    s.values.JEST_KOD13 = goods.field_pos("KOD13") > 0;
    goods.add_index(s.values.HH + "\\as");
    goods.add_index(s.values.HH + "\\as2");
    if (s.values.JEST_KOD13) goods.add_index(s.values.HH + "\\as3");
    goods.set_order(1);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "uzycie: sendbench FOLDER\n");
        return 2;
    }
    std::filesystem::current_path(argv[1]);
    std::error_code ec;
    std::filesystem::remove("durva/as2000.dbf", ec);
    std::filesystem::remove("durva/as2000.ntx", ec);

    platform::TestClock clock;
    platform::HeadlessTerminal terminal(clock);
    screen::Screen screen(terminal, clock);
    Session s(clock, screen);
    open_office(s);
    MenuValues menu;
    std::printf("goods: %u\n", s.areas.table(2).record_count());

    for (const char* pass : {"main send, empty sent-record table", "main send, nothing changed"}) {
        const auto start = std::chrono::steady_clock::now();
        SendOptions options;
        SentRecords sent(s);
        if (!sent.open()) return 1;
        SendRun run(s, menu, options, sent);
        main_send(run);
        sent.finish();
        keep_sent_changes(s);  // as after the driver's success
        const auto ms =
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
        std::printf("%s: %lld ms\n", pass, static_cast<long long>(ms));
        std::printf("  input file: %ju bytes, checksum %016jx; peak memory %ld KB\n",
                    static_cast<std::uintmax_t>(std::filesystem::file_size("durva/data_in.txt")),
                    static_cast<std::uintmax_t>(file_checksum("durva/data_in.txt")), peak_kb());
    }
    return 0;
}
