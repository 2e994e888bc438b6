// sendbench [--size N] FOLDER: times the main send of goods to register 01 on
// an office folder, first with no sent-record table, then again with nothing
// changed, each with its sent-record changes written in as after the
// driver's success, without running the driver. With --size N the folder is
// an office of N goods (1 to 1,000,000): written first by durvademo --size N
// (the one beside sendbench) when FOLDER does not exist, refused when it
// holds another number of goods.
//
// Before the sends it times the floor of the same work: the goods file read
// straight through, the sort keys of the goods sorted, and a line of code,
// name and price written for each good a send could write, in that order;
// nothing else. Prints one line per operation, "operation: N ms" with the
// processor time it took, each send's ratio to the floor, the peak memory,
// and a checksum of the driver input file each send wrote, so that a change
// made for speed can be seen to leave the file byte for byte as it was.
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "common/dbf/dbf_file.h"
#include "common/dbf/field_codec.h"
#include "common/dbf/ntx_build.h"
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
using Clock = std::chrono::steady_clock;

constexpr unsigned long kMaxGoods = 1'000'000;

double ms_since(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

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

double cpu_ms(const rusage& u) {
    return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1000.0 + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1000.0;
}

// The processor time this process has used: on a machine whose disk or
// other programs vary, the part of a run that is the program's own.
double cpu_ms() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return cpu_ms(u);
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

const dbf::FieldDesc* field(const dbf::DbfFile& t, const char* name) {
    const int i = t.field_index(name);
    return i < 0 ? nullptr : &t.fields()[static_cast<size_t>(i)];
}

std::string_view trimmed(std::string_view v) {
    const size_t a = v.find_first_not_of(' ');
    if (a == std::string_view::npos) return {};
    return v.substr(a, v.find_last_not_of(' ') - a + 1);
}

// The floor: the goods file read in runs of a megabyte; for each good a send
// could write (a price, a warehouse other than K, U or blank) its sort key
// (the name's first 17 characters, warehouse, index) and a line of its code,
// name and price; the keys sorted by the sort the send itself uses; the
// lines written in that order. Returns the bytes written.
size_t floor_work(const std::string& goods_path, const char* out_path) {
    auto goods = dbf::DbfFile::open(goods_path, platform::Share::Shared, true);
    const dbf::FieldDesc *nazwa = field(*goods, "NAZWA"), *mag = field(*goods, "MAG"),
                         *indeks = field(*goods, "INDEKS"), *cena = field(*goods, "CENA2");
    const dbf::FieldDesc* code = field(*goods, "KOD13") ? field(*goods, "KOD13") : indeks;
    if (!nazwa || !mag || !indeks || !cena) return 0;
    constexpr size_t ks = 17 + 1 + 8;
    const size_t rl = static_cast<size_t>(goods->record_length());
    const std::uint32_t total = goods->record_count();
    std::vector<unsigned char> keys;
    std::string lines;
    std::vector<std::uint32_t> line_at;
    std::vector<char> run(std::max<size_t>(1, (1 << 20) / rl) * rl);
    for (std::uint32_t r = 1; r <= total;) {
        const std::uint32_t n = goods->read_records(r, static_cast<std::uint32_t>(run.size() / rl), run.data());
        if (n == 0) break;
        for (std::uint32_t i = 0; i < n; ++i) {
            const std::string_view rec(run.data() + i * rl, rl);
            const std::string_view m = dbf::field_bytes(rec, *mag), price = trimmed(dbf::field_bytes(rec, *cena));
            if (dbf::DbfFile::is_deleted(rec) || m == " " || m == "K" || m == "U" || dbf::decode_number(price) <= 0)
                continue;
            const std::string_view name = dbf::field_bytes(rec, *nazwa).substr(0, 17);
            keys.insert(keys.end(), name.begin(), name.end());
            keys.resize(keys.size() + 17 - name.size(), ' ');
            keys.insert(keys.end(), m.begin(), m.end());
            const std::string_view ix = dbf::field_bytes(rec, *indeks).substr(0, 8);
            keys.insert(keys.end(), ix.begin(), ix.end());
            keys.resize(keys.size() + 8 - ix.size(), ' ');
            line_at.push_back(static_cast<std::uint32_t>(lines.size()));
            lines.append("I;1;").append(trimmed(dbf::field_bytes(rec, *code))).append(";");
            lines.append(name).append(";").append(price).append(";A;3;11100;01;00;;");
        }
        r += n;
    }
    line_at.push_back(static_cast<std::uint32_t>(lines.size()));
    const std::vector<std::uint32_t> order = dbf::ntx_sort_entries(keys.data(), ks, line_at.size() - 1, false);
    std::FILE* out = std::fopen(out_path, "wb");
    if (!out) return 0;
    std::fputs("S;I;1; ; ;", out);
    for (std::uint32_t i : order) {
        std::fputs("\r\n", out);
        std::fwrite(lines.data() + line_at[i], 1, line_at[i + 1] - line_at[i], out);
    }
    std::fputs("\r\n", out);
    const long size = std::ftell(out);
    std::fclose(out);
    return static_cast<size_t>(size);
}

// The floor in a process of its own, so that its memory is not counted
// against the sends; its time in milliseconds, 0 when it failed.
double time_floor(const std::string& goods_path) {
    int pipe_fds[2];
    if (::pipe(pipe_fds) != 0) return 0;
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(pipe_fds[0]);
        const auto start = Clock::now();
        const size_t bytes = floor_work(goods_path, "sendbench_floor.txt");
        const double ms = ms_since(start);
        std::remove("sendbench_floor.txt");
        char line[64];
        const int n = std::snprintf(line, sizeof line, "%.1f %zu", bytes ? ms : 0.0, bytes);
        if (::write(pipe_fds[1], line, static_cast<size_t>(n)) != n) ::_exit(1);
        ::_exit(0);
    }
    ::close(pipe_fds[1]);
    char line[64] = {};
    const ssize_t got = child > 0 ? ::read(pipe_fds[0], line, sizeof line - 1) : -1;
    ::close(pipe_fds[0]);
    int status = 0;
    rusage u{};
    if (child > 0) ::wait4(child, &status, 0, &u);
    double ms = 0;
    size_t bytes = 0;
    if (got <= 0 || std::sscanf(line, "%lf %zu", &ms, &bytes) != 2 || ms <= 0) {
        std::printf("floor: not timed (the goods table could not be read)\n");
        return 0;
    }
    std::printf("floor (read the goods, sort their keys, write the file): %.0f ms (processor %.0f ms)\n", ms,
                cpu_ms(u));
    std::printf("  file: %zu bytes; peak memory %ld KB\n", bytes, u.ru_maxrss);
    return ms;
}

// An office of `size` goods in `folder`: written by durvademo when there is
// none; an existing one must hold that many.
bool office_of(unsigned long size, const std::string& folder, const char* argv0) {
    std::error_code ec;
    if (std::filesystem::exists(folder, ec)) return true;
    const std::string demo = (std::filesystem::absolute(argv0).parent_path() / "durvademo").string();
    const std::string count = std::to_string(size);
    char* const args[] = {const_cast<char*>(demo.c_str()), const_cast<char*>("--size"), const_cast<char*>(count.c_str()),
                          const_cast<char*>(folder.c_str()), nullptr};
    pid_t child = 0;
    int status = 0;
    if (::posix_spawn(&child, demo.c_str(), nullptr, nullptr, args, environ) != 0 ||
        ::waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "sendbench: nie udalo sie zapisac biura %s (%s)\n", folder.c_str(), demo.c_str());
        return false;
    }
    return true;
}

int usage() {
    std::fprintf(stderr,
                 "uzycie: sendbench [--size N] FOLDER\n"
                 "  --size N   biuro o N towarach (1..1000000): gdy FOLDER nie istnieje, zapisuje je\n"
                 "             durvademo --size N; istniejacy FOLDER musi miec N towarow\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    unsigned long size = 0;
    std::string folder;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--size" && i + 1 < argc) {
            char* end = nullptr;
            size = std::strtoul(argv[++i], &end, 10);
            if (*end != '\0' || size < 1 || size > kMaxGoods) return usage();
        } else if (!a.starts_with("-") && folder.empty()) {
            folder = a;
        } else {
            return usage();
        }
    }
    if (folder.empty()) return usage();
    if (size > 0 && !office_of(size, folder, argv[0])) return 1;
    std::filesystem::current_path(folder);
    std::error_code ec;
    for (const char* name : {"durva/as2000.dbf", "durva/as2000.ntx", "durva/as2000z.dbf", "durva/as2000w.dbf"})
        std::filesystem::remove(name, ec);

    platform::TestClock clock;
    platform::HeadlessTerminal terminal(clock);
    screen::Screen screen(terminal, clock);
    Session s(clock, screen);
    open_office(s);
    MenuValues menu;
    const std::uint32_t goods = s.areas.table(2).record_count();
    std::printf("goods: %u\n", goods);
    if (size > 0 && goods != size) {
        std::fprintf(stderr, "sendbench: %s ma %u towarow, nie %lu\n", folder.c_str(), goods, size);
        return 1;
    }
    const double floor_ms = time_floor(s.areas.table(2).path());

    for (const char* pass : {"main send, empty sent-record table", "main send, nothing changed"}) {
        const auto start = Clock::now();
        const double cpu = cpu_ms();
        SendOptions options;
        {
            SentRecords sent(s);
            if (!sent.open()) return 1;
            SendRun run(s, menu, options, sent);
            main_send(run);
            sent.finish();
        }
        keep_sent_changes(s);  // as after the driver's success
        const double ms = ms_since(start);
        std::printf("%s: %.0f ms (processor %.0f ms)", pass, ms, cpu_ms() - cpu);
        if (floor_ms > 0) std::printf(", %.1f x the floor", ms / floor_ms);
        std::printf("\n");
        std::printf("  input file: %ju bytes, checksum %016jx; peak memory %ld KB\n",
                    static_cast<std::uintmax_t>(std::filesystem::file_size("durva/data_in.txt")),
                    static_cast<std::uintmax_t>(file_checksum("durva/data_in.txt")), peak_kb());
    }
    return 0;
}
