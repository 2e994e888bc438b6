// Several workstations booking into one folder at once, and bookings killed
// (SIGKILL, as kill -9 or a power cut ends them) at every step and at random
// moments, then finished by the station's next import.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <map>
#include <thread>
#include <set>
#include <memory>
#include <random>
#include <vector>

#include "common/dbf/xbase_values.h"
#include "common/screen/screen.h"
#include "platform/headless_terminal.h"
#include "receive/booking_journal.h"
#include "receive/zrob_sd_voka.h"
#include "receive/sales_tables.h"
#include "support/child_process.h"
#include "support/headless_session.h"

namespace durva {
namespace {

using test::ChildProcess;
using test::proc_path;
using test::TempFolder;

struct Sale {
    std::uint32_t goods;  // record in nokod13, warehouse 1
    const char* code;
};
const Sale kSales[] = {{1, "10001"}, {4, "10002"}, {6, "10003"}};

// A file of `n` lines over the three goods; returns the quantity sold of each.
std::map<std::uint32_t, double> write_file(const std::string& path, int n, int seed) {
    std::map<std::uint32_t, double> sold;
    std::ofstream out(path, std::ios::binary);
    for (int i = 0; i < n; ++i) {
        const Sale& s = kSales[static_cast<size_t>(i + seed) % 3];
        const long qty = 1000 + 250 * ((i * 7 + seed) % 9) - (i % 11 == 0 ? 3000 : 0);
        out << "S;" << s.code << ";X;" << (100 + i * 37 + seed) << ";" << qty << ";\r\n";
        sold[s.goods] += qty / 1000.0;
    }
    return sold;
}

struct Document {
    std::string nrd;
    int rows = 0;
    double kwota = 0;
};

// What the tables hold after the workstations ended: the stock of the three
// goods, the sales documents after the sample's own, their rows, the counter.
struct Booked {
    std::map<std::uint32_t, double> stock;
    std::vector<Document> documents;
    double counter = 0;
};

Booked read_back(const TempFolder& folder) {
    test::CurrentFolder cwd(folder.path());
    testing::HeadlessSession hs;
    Session& s = hs.session;
    test::open_sales_tables(s, false, 9);
    Booked b;
    dbf::Table& as = s.areas.table("as");
    for (const Sale& sale : kSales) {
        as.go_to(sale.goods);
        b.stock[sale.goods] = as.number("ILOSC");
    }
    dbf::Table& h = s.areas.table("dowod");
    dbf::Table& w = s.areas.table("dow");
    for (bool more = h.seek("SD ", false); more && h.text("RD") == "SD "; h.skip(1), more = !h.eof()) {
        Document d{h.text("NRD"), 0, h.number("KWOTA")};
        double sum = 0;
        for (bool r = w.seek("SD " + d.nrd, false); r && !w.eof() && w.text("NRD") == d.nrd && w.text("RD") == "SD ";
             w.skip(1)) {
            ++d.rows;
            EXPECT_EQ(w.text("LP"), dbf::str_number(d.rows, 3, 0)) << "document " << d.nrd;
            sum += w.number("WARTOSC");
        }
        EXPECT_NEAR(sum, d.kwota, 0.001) << "document " << d.nrd;
        b.documents.push_back(d);
    }
    dbf::Table& slow = s.areas.table("slow");
    if (slow.seek("SD ", false)) b.counter = slow.number("NRD");
    for (const char* alias : {"as", "dow", "dowod", "slow"}) {
        dbf::Table& t = s.areas.table(std::string_view(alias));
        for (int i = 1; i <= t.index_count(); ++i) {
            EXPECT_EQ(t.index(i).verify(t.record_count()), "") << alias << " " << i;
            EXPECT_EQ(t.index(i).key_count(), t.record_count()) << alias << " " << i;
        }
    }
    s.areas.close_all();
    return b;
}

std::map<std::uint32_t, double> stock_of(const TempFolder& folder) { return read_back(folder).stock; }

TEST(SalesBookingProcesses, WorkstationsBookingAtOnceGetTheirOwnNumbersAndExactStock) {
    TempFolder folder("nokod13");
    std::filesystem::create_directories(folder.path() / "durva");
    const auto before = stock_of(folder);
    std::map<std::uint32_t, double> sold;
    std::vector<std::unique_ptr<ChildProcess>> stations;
    for (int st = 1; st <= 4; ++st) {
        const std::string file = "durva/s" + std::to_string(st) + ".txt";
        for (const auto& [g, q] : write_file(folder.file(file), 25, st)) sold[g] += q;
        stations.push_back(std::make_unique<ChildProcess>(
            proc_path("sales_booker"), std::vector<std::string>{folder.path().string(), std::to_string(st), file}));
    }
    for (auto& st : stations) EXPECT_EQ(st->read_line(), "booked");
    const Booked b = read_back(folder);
    ASSERT_EQ(b.documents.size(), 4u);
    std::set<std::string> numbers;
    for (const Document& d : b.documents) {
        numbers.insert(d.nrd);
        EXPECT_EQ(d.rows, 25);
    }
    EXPECT_EQ(numbers, (std::set<std::string>{"      58", "      59", "      60", "      61"}));
    EXPECT_EQ(b.counter, 61);
    for (const auto& [g, q] : sold) EXPECT_NEAR(b.stock.at(g), before.at(g) - q, 0.0005) << "goods " << g;
}

// One booking killed after a journal line (or after some milliseconds, when
// it may also have ended first), then the station's next import of the same
// file: one document, all rows, exact stock.
// `next_says` is what the next import says when the booking was not cut
// short at a random moment.
void kill_and_recover(const std::string& tag, int count, int rows = 10, const std::string& next_says = "nothing") {
    SCOPED_TRACE("killed after " + tag + " " + std::to_string(count));
    TempFolder folder("nokod13");
    std::filesystem::create_directories(folder.path() / "durva");
    const auto before = stock_of(folder);
    const auto sold = write_file(folder.file("durva/data_out.xxx"), rows, 0);
    const std::vector<std::string> args = {folder.path().string(), "2", "durva\\data_out.xxx"};
    {
        std::vector<std::string> a = args;
        a.push_back(tag);
        a.push_back(std::to_string(count));
        ChildProcess killed(proc_path("sales_booker"), a);
        const std::string said = killed.read_line();
        const int code = killed.wait_exit_code();
        if (tag != "t" || said.empty()) {
            EXPECT_EQ(said, "");
            EXPECT_EQ(code, 128 + SIGKILL);
        }
    }
    {
        ChildProcess next(proc_path("sales_booker"), args);
        // Finished the booking, and the same file is not booked again; a
        // booking killed before its plan was whole had booked nothing.
        const std::string said = next.read_line();
        if (tag == "t") EXPECT_TRUE(said == "nothing" || said == "booked") << said;
        else EXPECT_EQ(said, next_says);
    }
    const Booked b = read_back(folder);
    ASSERT_EQ(b.documents.size(), 1u);
    EXPECT_EQ(b.documents[0].nrd, "      58");
    EXPECT_EQ(b.documents[0].rows, rows);
    EXPECT_EQ(b.counter, 58);
    for (const auto& [g, q] : sold) EXPECT_NEAR(b.stock.at(g), before.at(g) - q, 0.0005) << "goods " << g;
}

TEST(SalesBookingProcesses, ABookingKilledAtAnyStepIsFinishedOnceAtTheNextImport) {
    const std::pair<const char*, int> points[] = {{"P", 1}, {"N", 1}, {"H", 1}, {"W", 1}, {"S", 1}, {"s", 1},
                                                  {"S", 6}, {"s", 6}, {"S", 10}, {"s", 10}, {"E", 1}};
    for (const auto& [tag, count] : points) kill_and_recover(tag, count);
}

// A booking of 2,000 rows writes its plan and its records' images to the
// journal in several pieces. Killed between two pieces of its plan, it had
// booked nothing and the next import books the file; killed between two
// pieces of its images, the next import finishes it. Either way once.
TEST(SalesBookingProcesses, ALargeBookingKilledBetweenPiecesOfItsJournalIsBookedOnce) {
    kill_and_recover("R", 500, 2000, "booked");
    kill_and_recover("S", 500, 2000);
}

std::string contents(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// A folder with a 10-line sales file for station 2, and what the tables
// must show once its booking is finished: one document, all rows, the
// counter on its number, the stock exactly lowered.
struct OneBooking {
    OneBooking() {
        std::filesystem::create_directories(folder.path() / "durva");
        before = stock_of(folder);
        sold = write_file(folder.file("durva/data_out.xxx"), 10, 0);
    }
    // The booker's words, and more after them.
    std::vector<std::string> args(std::vector<std::string> more = {}) const {
        std::vector<std::string> a = {folder.path().string(), "2", "durva\\data_out.xxx"};
        a.insert(a.end(), more.begin(), more.end());
        return a;
    }
    void expect_booked_once() const {
        const Booked b = read_back(folder);
        ASSERT_EQ(b.documents.size(), 1u);
        EXPECT_EQ(b.documents[0].nrd, "      58");
        EXPECT_EQ(b.documents[0].rows, 10);
        EXPECT_EQ(b.counter, 58);
        for (const auto& [g, q] : sold) EXPECT_NEAR(b.stock.at(g), before.at(g) - q, 0.0005) << "goods " << g;
    }

    TempFolder folder{"nokod13"};
    std::map<std::uint32_t, double> before, sold;
};

// A power cut or a full disk while the journal's last line was written:
// the line is kept only in part. Whatever part of it is there, it is a step
// not taken; the next import finishes the booking once from the line before.
TEST(SalesBookingProcesses, AJournalLineCutShortIsAStepNotTakenAndTheBookingIsFinishedOnce) {
    const std::pair<const char*, int> points[] = {{"N", 1}, {"H", 1}, {"W", 1}, {"S", 4}};
    for (const auto& [tag, count] : points) {
        for (const double share : {0.0, 0.1, 0.5, 0.93, 1.0}) {
            OneBooking o;
            {
                ChildProcess killed(proc_path("sales_booker"), o.args({tag, std::to_string(count)}));
                ASSERT_EQ(killed.wait_exit_code(), 128 + SIGKILL);
            }
            // The last line loses its line feed and, but for share 1, part of its text.
            const std::string journal = contents(o.folder.path() / "rob" / "ksieg02.txt");
            ASSERT_TRUE(journal.ends_with("\n"));
            const size_t start = journal.rfind('\n', journal.size() - 2) + 1;
            const size_t kept = static_cast<size_t>(share * static_cast<double>(journal.size() - 1 - start));
            SCOPED_TRACE("killed after " + std::string(tag) + " " + std::to_string(count) + ", its line cut to " +
                         journal.substr(start, kept));
            std::ofstream(o.folder.file("rob/ksieg02.txt"), std::ios::binary | std::ios::trunc)
                << journal.substr(0, start + kept);

            ChildProcess next(proc_path("sales_booker"), o.args());
            EXPECT_EQ(next.read_line(), "nothing");
            o.expect_booked_once();
            // What was left of the line went before the booking wrote on:
            // the journal is whole lines again, the last saying it finished.
            test::CurrentFolder cwd(o.folder.path());
            BookingJournal after(2);
            BookingPlan plan;
            BookingProgress done;
            std::string fault;
            ASSERT_TRUE(after.read(plan, done, fault));
            EXPECT_EQ(fault, "");
            EXPECT_TRUE(done.finished);
        }
    }
}

// A disk that fills up anywhere in a booking (emulated by a limit on how
// far a file may grow): once there is room again, the next import ends with
// the sales booked once and every index sound.
TEST(SalesBookingProcesses, ABookingOnAFullDiskIsFinishedOnceWhenThereIsRoom) {
    for (int limit = 2200; limit <= 9000; limit += 350) {
        SCOPED_TRACE("files may grow to " + std::to_string(limit) + " bytes");
        OneBooking o;
        {
            ChildProcess full(proc_path("sales_booker"), o.args({"f", std::to_string(limit)}));
            const std::string said = full.read_line();
            EXPECT_TRUE(said == "booked" || said.rfind("error ", 0) == 0) << said;
        }
        ChildProcess next(proc_path("sales_booker"), o.args());
        const std::string said = next.read_line();
        EXPECT_TRUE(said == "nothing" || said == "booked") << said;
        o.expect_booked_once();
    }
}

// A power cut: the booking stops right after one of its forcings to disk,
// and of the shared tables and the journal only what was forced is kept
// (each file as it was at its last forcing, or as before the booking when it
// was never forced). The next import ends with the sales booked once, the
// counter equal to the documents and every index sound.
TEST(SalesBookingProcesses, ABookingCutByAPowerCutAfterAnyForcingIsFinishedOnce) {
    for (int forcing = 1;; ++forcing) {
        SCOPED_TRACE("power cut after forcing " + std::to_string(forcing));
        OneBooking o;
        const std::filesystem::path& folder = o.folder.path();
        std::map<std::filesystem::path, std::string> as_before;
        for (const auto& e : std::filesystem::directory_iterator(folder / "16" / "03"))
            as_before[e.path()] = contents(e.path());
        {
            ChildProcess cut(proc_path("sales_booker"), o.args({"p", std::to_string(forcing)}));
            if (cut.read_line() == "booked") break;  // every forcing of the booking has had its power cut
        }
        auto durable = [&](const std::filesystem::path& file) {
            std::string name = std::filesystem::relative(file, folder).string();
            for (char& c : name)
                if (c == '/') c = '%';
            return folder / ".durable" / name;
        };
        for (const auto& [file, bytes] : as_before) {
            const std::filesystem::path kept = durable(file);
            std::ofstream(file, std::ios::binary | std::ios::trunc)
                << (std::filesystem::exists(kept) ? contents(kept) : bytes);
        }
        const std::filesystem::path journal = folder / "rob" / "ksieg02.txt";
        if (std::filesystem::exists(durable(journal)))
            std::ofstream(journal, std::ios::binary | std::ios::trunc) << contents(durable(journal));
        else
            std::filesystem::remove(journal);

        ChildProcess next(proc_path("sales_booker"), o.args());
        const std::string said = next.read_line();
        EXPECT_TRUE(said == "nothing" || said == "booked") << said;
        o.expect_booked_once();
        ASSERT_LT(forcing, 200);
    }
}

TEST(SalesBookingProcesses, ABookingKilledAtRandomMomentsIsFinishedOnce) {
    std::mt19937 rng(11);
    for (int i = 0; i < 6; ++i) kill_and_recover("t", 15 + static_cast<int>(rng() % 70), 300);
}

// A headless terminal whose waits also take a little real time, so that
// another process can act while the program retries a lock; it remembers
// what the program said it was waiting for.
class PacedTerminal final : public platform::Terminal {
public:
    PacedTerminal(platform::TestClock& clock, std::initializer_list<platform::ScriptStep> keys) : inner(clock, keys) {
        inner.set_idle_limit_ms(std::int64_t{1} << 50);
    }
    int rows() const override { return inner.rows(); }
    int cols() const override { return inner.cols(); }
    bool has_colors() const override { return inner.has_colors(); }
    void present(const platform::TermCell* cells, int r, int c, int cr, int cc, bool visible) override {
        inner.present(cells, r, c, cr, cc, visible);
    }
    std::optional<platform::InputKey> read_key(int timeout_ms) override {
        if (timeout_ms > 0) {
            ++paced;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            for (int r = 0; r < inner.rows(); ++r) {
                const std::string row = inner.shown_row_utf8(r);
                if (const auto at = row.find("Czekam na"); at != std::string::npos) waited_for = row.substr(at);
            }
        }
        return inner.read_key(timeout_ms);
    }
    void tone(int frequency_hz, int duration_ms) override { inner.tone(frequency_hz, duration_ms); }

    platform::HeadlessTerminal inner;
    std::string waited_for;
    int paced = 0;
};

TEST(SalesBookingWaits, AGoodsRecordLockedElsewhereIsWaitedForShownAndBookedOnceReleased) {
    TempFolder folder("nokod13");
    test::CurrentFolder cwd(folder.path());
    std::filesystem::create_directories("durva");
    const auto before = stock_of(folder);
    const auto sold = write_file("durva/data_out.xxx", 6, 0);
    // Another workstation holds goods record 1 and lets it go a moment after
    // the booking has started waiting for it.
    ChildProcess other(proc_path("dbf_holder"), {folder.file("16/03/as.dbf"), "shared"});
    ASSERT_EQ(other.read_line(), "ready");
    other.write_line("lock 1");
    ASSERT_EQ(other.read_line(), "locked 1");
    other.write_line("sleep 400");
    other.write_line("unlock 1");

    platform::TestClock clock;
    // No key during the waits (one would end a pause and be lost), then the
    // one that takes down the booking's total.
    PacedTerminal term(clock, {platform::ScriptStep::silence(std::int64_t{1} << 40), ' '});
    screen::Screen scr(term, clock);
    Session s(clock, scr);
    test::open_sales_tables(s, false, 3);
    MenuValues m;
    EXPECT_TRUE(ZROB_SD_VOKA(s, m, "durva\\data_out.xxx"));
    EXPECT_EQ(term.waited_for.rfind("Czekam na towar 1/10001", 0), 0u) << term.waited_for;
    EXPECT_EQ(other.read_line(), "slept");
    EXPECT_EQ(other.read_line(), "unlocked 1");
    EXPECT_GT(term.paced, 31);  // more than the first 15 seconds of attempts
    s.areas.close_all();

    const Booked b = read_back(folder);
    ASSERT_EQ(b.documents.size(), 1u);
    EXPECT_EQ(b.documents[0].rows, 6);
    for (const auto& [g, q] : sold) EXPECT_NEAR(b.stock.at(g), before.at(g) - q, 0.0005) << "goods " << g;
}

}  // namespace
}  // namespace durva
