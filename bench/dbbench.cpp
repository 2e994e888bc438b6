// dbbench FOLDER [N]: times the table layer on a generated goods table of N
// records (100,000 by default) laid out as the office's goods table with bar
// codes. Prints one line per operation, "operation: N ms", and last the
// most memory the run held at once, "peak memory: N MB".
#include <sys/resource.h>

#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "common/dbf/dbf_file.h"
#include "common/dbf/field_codec.h"
#include "common/dbf/table.h"
#include "platform/errors.h"

namespace {

using namespace durva;
using dbf::FieldDesc;

dbf::FieldList goods_layout() {
    return {{"MAG", 'C', 1, 0, 0},       {"INDEKS", 'C', 8, 0, 0},   {"NAZWA", 'C', 30, 0, 0},
            {"JM", 'C', 3, 0, 0},        {"CENA0", 'N', 14, 4, 0},   {"CENA2", 'N', 14, 2, 0},
            {"CENA2M", 'N', 14, 2, 0},   {"CENA3", 'N', 14, 2, 0},   {"CENAM", 'N', 14, 2, 0},
            {"PODATEK0", 'C', 2, 0, 0},  {"SWW", 'C', 8, 0, 0},      {"PKWIU", 'C', 10, 0, 0},
            {"KOD13", 'C', 13, 0, 0},    {"ILOSC", 'N', 15, 3, 0},   {"B_R_I", 'N', 15, 3, 0},
            {"B_R_I_SD", 'N', 15, 3, 0}, {"ILOSC_PZ", 'N', 15, 3, 0}, {"ILOSC_SD", 'N', 15, 3, 0},
            {"DATA_PZ", 'D', 8, 0, 0},   {"DATA_SD", 'D', 8, 0, 0},  {"RD_PZ", 'C', 3, 0, 0},
            {"NRD_PZ", 'C', 8, 0, 0}};
}

// Goods names in the office code page, Polish letters as its bytes.
const char* const kNames[] = {"CUKIER BIA\x9CY",  "KAWA MIELONA", "M\x8F" "KA WROC\x9C" "AWSKA", "OLEJ RZEPAKOWY",
                              "KIE\x9C" "BASA",   "SER \xA1\xA3\x9C" "TY", "\x9C" "oso\x9E",         "HERBATA CZARNA",
                              "M\x86" "ka \xA7" "ytnia",      "GROCH \x9C" "USKANY", "PIEPRZ CZARNY",   "RY\xA1 D\x9C" "UGI",
                              "MAS\x9C" "O EKSTRA", "SOK JAB\x9C" "KOWY", "WODA MINERALNA", "CZEKOLADA GORZKA"};
const char* const kUnits[] = {"szt", "kg ", "l  ", "op.", "SZT", "m  ", "kpl"};
const char* const kVat[] = {"23", " 8", " 5", " 0", "ZW"};

class Generator {
public:
    explicit Generator(std::uint32_t seed) : rng_(seed) {}
    std::string record(const dbf::DbfFile& table) {
        std::string rec = table.blank_record();
        auto put = [&](const char* name, const dbf::FieldValue& v) {
            dbf::encode_field(table.fields()[static_cast<size_t>(table.field_index(name))], v, rec.data());
        };
        static const char kMag[] = {'1', '1', '1', '2', '2', '3', 'K', 'U'};
        put("MAG", std::string(1, kMag[pick(8)]));
        put("INDEKS", std::to_string(10000 + pick(900000)));
        put("NAZWA", std::string(kNames[pick(std::size(kNames))]) + " " + std::to_string(pick(1000)) + "G");
        put("JM", std::string(kUnits[pick(std::size(kUnits))]));
        double price = pick(100000) / 100.0;
        put("CENA0", price);
        put("CENA2", price * 1.2);
        put("PODATEK0", std::string(kVat[pick(std::size(kVat))]));
        std::string code;
        int len = pick(10) < 7 ? 13 : (pick(2) ? 7 : 0);
        for (int i = 0; i < len; ++i) code += static_cast<char>('0' + pick(10));
        put("KOD13", code);
        put("ILOSC", (static_cast<double>(pick(20000)) - 2000) / 10);
        return rec;
    }
    int pick(size_t n) { return static_cast<int>(std::uniform_int_distribution<size_t>(0, n - 1)(rng_)); }

private:
    std::mt19937 rng_;
};

class Timer {
public:
    explicit Timer(const char* what) : what_(what), start_(std::chrono::steady_clock::now()) {}
    ~Timer() {
        auto ms = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start_);
        std::printf("%s: %lld ms\n", what_, static_cast<long long>((ms.count() + 500) / 1000));
        std::fflush(stdout);
    }

private:
    const char* what_;
    std::chrono::steady_clock::time_point start_;
};

int run(const std::string& folder, std::uint32_t n) {
    std::filesystem::create_directories(folder);
    const std::string goods = folder + "/goods.dbf";
    for (const char* f : {"goods.dbf", "goods1.ntx", "goods2.ntx", "goods3.ntx", "copy_i.dbf", "copy_r.dbf"})
        std::filesystem::remove(folder + "/" + f);

    Generator gen(20161603);
    {
        auto table = dbf::DbfFile::create(goods, goods_layout());
        for (std::uint32_t i = 0; i < n; ++i) table->append_record(gen.record(*table).data());
        table->close();
    }

    dbf::TableSettings settings;
    {
        auto t = dbf::Table::open(goods, platform::Share::Exclusive, settings);
        {
            Timer tm("build index MAG+INDEKS");
            t->create_index(folder + "/goods1.ntx", "MAG+INDEKS");
        }
        {
            Timer tm("build index DESCEND(KOD13+MAG)");
            t->create_index(folder + "/goods2.ntx", "DESCEND(KOD13+MAG)");
        }
        {
            Timer tm("build index UPPER(NAZWA)+MAG");
            t->create_index(folder + "/goods3.ntx", "UPPER(NAZWA)+MAG");
        }
        t->clear_indexes();
        t->add_index(folder + "/goods1.ntx");
        t->add_index(folder + "/goods2.ntx");
        t->add_index(folder + "/goods3.ntx");
        t->set_order(1);

        std::mt19937 rng(7);
        std::vector<std::string> keys;  // the bench's own, let go before the appends
        keys.reserve(100000);
        for (int i = 0; i < 100000; ++i) {
            std::uint32_t r = 1 + std::uniform_int_distribution<std::uint32_t>(0, n - 1)(rng);
            keys.push_back(t->index(1).key_of(t->dbf().record_view(r)));
        }
        std::uint32_t found = 0;
        {
            Timer tm("100000 exact seeks");
            for (const auto& k : keys) found += t->seek(k, false) ? 1 : 0;
        }
        if (found != keys.size()) std::fprintf(stderr, "dbbench: only %u of %zu keys found\n", found, keys.size());

        std::uint32_t walked = 0;
        {
            Timer tm("walk in index order");
            for (t->go_top(); !t->eof(); t->skip()) ++walked;
        }
        if (walked != n) std::fprintf(stderr, "dbbench: walked %u of %u records\n", walked, n);
        {
            Timer tm("copy in index order");
            t->copy_to(folder + "/copy_i.dbf");
        }
        t->set_order(0);
        {
            Timer tm("copy in record order");
            t->copy_to(folder + "/copy_r.dbf");
        }
        t->close();
    }
    {
        auto t = dbf::Table::open(goods, platform::Share::Shared, settings);
        t->add_index(folder + "/goods1.ntx");
        t->add_index(folder + "/goods2.ntx");
        t->add_index(folder + "/goods3.ntx");
        Generator more(42);
        std::vector<std::string> records;
        for (int i = 0; i < 10000; ++i) records.push_back(more.record(t->dbf()));
        {
            Timer tm("10000 shared appends with 3 indexes");
            for (const auto& rec : records) {
                if (!t->append_blank()) {
                    std::fprintf(stderr, "dbbench: append refused\n");
                    return 1;
                }
                for (int f = 1; f <= t->field_count(); ++f)
                    t->put(f, dbf::decode_field(t->fields()[static_cast<size_t>(f - 1)], rec));
                t->unlock();
            }
        }
        t->close();
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("peak memory: %ld MB\n", (usage.ru_maxrss + 512) / 1024);  // ru_maxrss is in KB
    return 0;
}

// The arguments, checked before anything is written: a word that is no
// folder must not turn into one, and N must be a plain number in range.
// Two million goods take about 1.7 GB on disk: the table, its two copies and
// three indexes, some 850 bytes a record.
constexpr std::uint32_t kMaxRecords = 2'000'000;
constexpr std::uint64_t kDiskPerRecord = 850;

const char* const kBenchUsage =
    "uzycie: dbbench FOLDER [N]\n"
    "  zapisuje w FOLDERZE tabele towarow o N rekordach (domyslnie 100000, najwyzej 2000000)\n"
    "  i mierzy budowe indeksow, szukanie, przejscie, kopie i dopisywanie we wspoldzieleniu.\n";

struct BenchArgs {
    std::string folder;
    std::uint32_t records = 100000;
};

// Nothing when the run is not to go on; `status` then holds the exit status.
std::optional<BenchArgs> bench_arguments(int argc, char** argv, int& status) {
    status = 2;
    if (argc >= 2) {
        const std::string first = argv[1];
        if (first == "--help" || first == "-h" || first == "help" || first == "pomoc") {
            std::fputs(kBenchUsage, stdout);
            status = 0;
            return std::nullopt;
        }
    }
    if (argc < 2 || argc > 3) {
        std::fputs(kBenchUsage, stderr);
        return std::nullopt;
    }
    BenchArgs args;
    args.folder = argv[1];
    if (args.folder.empty() || args.folder.front() == '-') {
        std::fprintf(stderr, "dbbench: nieznana opcja %s\n%s", argv[1], kBenchUsage);
        return std::nullopt;
    }
    std::error_code ec;
    if (std::filesystem::exists(args.folder, ec) && !std::filesystem::is_directory(args.folder, ec)) {
        std::fprintf(stderr, "dbbench: %s nie jest folderem\n", argv[1]);
        return std::nullopt;
    }
    if (argc == 3) {
        const std::string_view text = argv[2];
        std::uint64_t n = 0;
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), n);
        if (text.empty() || error != std::errc() || end != text.data() + text.size() || n < 1 ||
            n > kMaxRecords) {
            std::fprintf(stderr, "dbbench: N musi byc liczba od 1 do %u, a jest \"%s\"\n", kMaxRecords, argv[2]);
            return std::nullopt;
        }
        args.records = static_cast<std::uint32_t>(n);
    }
    // The disk it writes to must hold the run, or it would end half-way.
    std::filesystem::path probe = std::filesystem::absolute(args.folder, ec);
    while (!ec && !probe.empty() && !std::filesystem::exists(probe, ec) && probe != probe.parent_path())
        probe = probe.parent_path();
    const auto space = std::filesystem::space(probe, ec);
    const std::uint64_t need = kDiskPerRecord * args.records;
    if (!ec && space.available < need) {
        std::fprintf(stderr, "dbbench: na dysku jest %llu MB wolnego miejsca, a %u rekordow potrzebuje %llu MB\n",
                     static_cast<unsigned long long>(space.available >> 20), args.records,
                     static_cast<unsigned long long>(need >> 20));
        return std::nullopt;
    }
    status = 0;
    return args;
}

}  // namespace

int main(int argc, char** argv) {
    int status = 0;
    const auto args = bench_arguments(argc, argv, status);
    if (!args) return status;
    try {
        return run(args->folder, args->records);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "dbbench: %s\n", e.what());
        return 1;
    }
}
