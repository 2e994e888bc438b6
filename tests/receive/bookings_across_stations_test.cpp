// Bookings cut short at one station and mended at another. Station numbers
// are handed out anew at every sign-in, so the station that crashed may never
// import again: the journal's lock tells a booking cut short from one under
// way, any workstation's import or start finishes the first once, leaves the
// second alone, and a sales file booked at any station is not booked again.
#include <gtest/gtest.h>

#include <signal.h>

#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <thread>

#include "app/durva.h"
#include "common/dbf/xbase_values.h"
#include "receive/booking_journal.h"
#include "receive/cut_short_bookings.h"
#include "receive/sales_tables_open.h"
#include "support/child_process.h"
#include "support/current_folder.h"
#include "support/fixture_folder.h"
#include "support/headless_session.h"

namespace durva {
namespace {

using test::ChildProcess;
using test::CurrentFolder;
using test::proc_path;
using test::TempFolder;

// Goods records of the sample (warehouse 1) and their codes.
const std::pair<std::uint32_t, const char*> kGoods[] = {{1, "10001"}, {4, "10002"}, {6, "10003"}};

// A sales file of `n` lines over the three goods; adds what it sells to `sold`.
void write_sales(const TempFolder& folder, const std::string& name, int n, int seed,
                 std::map<std::uint32_t, double>& sold) {
    std::ofstream out(folder.file(name), std::ios::binary);
    for (int i = 0; i < n; ++i) {
        const auto& [goods, code] = kGoods[static_cast<size_t>(i + seed) % 3];
        const long qty = 1000 + 500 * ((i + seed) % 4);
        out << "S;" << code << ";X;" << (200 + 11 * i + seed) << ";" << qty << ";\r\n";
        sold[goods] += qty / 1000.0;
    }
}

// The stock of the three goods, the row counts of the sales documents after
// the sample's own, and the counter.
struct Tables {
    std::map<std::uint32_t, double> stock;
    std::vector<int> documents;
    double counter = 0;
};

Tables read_tables(const TempFolder& folder) {
    CurrentFolder here(folder.path());
    testing::HeadlessSession h;
    Session& s = h.session;
    test::open_sales_tables(s, false, 9);
    Tables t;
    dbf::Table& as = s.areas.table("as");
    for (const auto& [goods, code] : kGoods) {
        as.go_to(goods);
        t.stock[goods] = as.number("ILOSC");
    }
    dbf::Table& h_ = s.areas.table("dowod");
    dbf::Table& w = s.areas.table("dow");
    for (bool more = h_.seek("SD ", false); more && h_.text("RD") == "SD "; h_.skip(1), more = !h_.eof()) {
        const std::string nrd = h_.text("NRD");
        int rows = 0;
        for (bool r = w.seek("SD " + nrd, false); r && !w.eof() && w.text("RD") == "SD " && w.text("NRD") == nrd;
             w.skip(1))
            ++rows;
        t.documents.push_back(rows);
    }
    dbf::Table& slow = s.areas.table("slow");
    if (slow.seek("SD ", false)) t.counter = slow.number("NRD");
    s.areas.close_all();
    return t;
}

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// A workstation importing `file` at `station`; what it said at the end.
std::string import_at(const TempFolder& folder, int station, const std::string& file) {
    ChildProcess p(proc_path("sales_booker"), {folder.path().string(), std::to_string(station), file});
    return p.read_line();
}

// A booking at `station` killed right after a journal line.
void kill_booking(const TempFolder& folder, int station, const std::string& file, const std::string& tag, int count) {
    ChildProcess p(proc_path("sales_booker"),
                   {folder.path().string(), std::to_string(station), file, tag, std::to_string(count)});
    EXPECT_EQ(p.read_line(), "");
    EXPECT_EQ(p.wait_exit_code(), 128 + SIGKILL);
}

void expect_stock(const Tables& t, const std::map<std::uint32_t, double>& before,
                  const std::map<std::uint32_t, double>& sold) {
    for (const auto& [goods, q] : sold) EXPECT_NEAR(t.stock.at(goods), before.at(goods) - q, 0.0005) << "goods " << goods;
}

struct Fixture {
    Fixture() { std::filesystem::create_directories(folder.path() / "durva"); }
    TempFolder folder{"nokod13"};
    const std::map<std::uint32_t, double> before = read_tables(folder).stock;
};

TEST(BookingsAcrossStations, ACutShortBookingIsFinishedOnceByAnotherStationAndItsFileIsNotBookedAgain) {
    const std::pair<const char*, int> points[] = {{"N", 1}, {"H", 1}, {"W", 1}, {"S", 3}, {"s", 5}, {"s", 8}};
    for (const auto& [tag, count] : points) {
        SCOPED_TRACE(std::string("killed after ") + tag + " " + std::to_string(count));
        Fixture f;
        std::map<std::uint32_t, double> sold;
        write_sales(f.folder, "durva/data_out.xxx", 8, 0, sold);
        kill_booking(f.folder, 5, "durva\\data_out.xxx", tag, count);

        // Station 2 imports the leftover file: it finishes station 5's
        // booking and does not book the file a second time.
        EXPECT_EQ(import_at(f.folder, 2, "durva\\data_out.xxx"), "nothing");
        const std::string journal = read_file(f.folder.file("rob/ksieg05.txt"));
        EXPECT_TRUE(journal.ends_with("\n" + journal_line("E"))) << "station 5's journal is marked finished";
        // A later station 5 finds nothing left to finish, nor to book.
        EXPECT_EQ(import_at(f.folder, 5, "durva\\data_out.xxx"), "nothing");

        const Tables t = read_tables(f.folder);
        EXPECT_EQ(t.documents, std::vector<int>{8});
        EXPECT_EQ(t.counter, 58);
        expect_stock(t, f.before, sold);
    }
}

TEST(BookingsAcrossStations, TwoStationsImportingAtOnceFinishTheCutShortBookingOnce) {
    Fixture f;
    std::map<std::uint32_t, double> sold;
    write_sales(f.folder, "durva/data_out.xxx", 9, 0, sold);
    write_sales(f.folder, "durva/two.txt", 7, 1, sold);
    write_sales(f.folder, "durva/three.txt", 6, 2, sold);
    kill_booking(f.folder, 5, "durva\\data_out.xxx", "S", 4);

    ChildProcess two(proc_path("sales_booker"), {f.folder.path().string(), "2", "durva\\two.txt"});
    ChildProcess three(proc_path("sales_booker"), {f.folder.path().string(), "3", "durva\\three.txt"});
    EXPECT_EQ(two.read_line(), "booked");
    EXPECT_EQ(three.read_line(), "booked");

    Tables t = read_tables(f.folder);
    std::sort(t.documents.begin(), t.documents.end());
    EXPECT_EQ(t.documents, (std::vector<int>{6, 7, 9}));
    EXPECT_EQ(t.counter, 60);
    expect_stock(t, f.before, sold);
}

TEST(BookingsAcrossStations, ABookingUnderWayIsLeftAloneByAnotherStationsImport) {
    Fixture f;
    std::map<std::uint32_t, double> sold;
    write_sales(f.folder, "durva/five.txt", 8, 0, sold);
    write_sales(f.folder, "durva/two.txt", 5, 1, sold);

    // Station 5 stops once its plan is written, before it takes its file
    // away, holding no record.
    ChildProcess five(proc_path("sales_booker"),
                      {f.folder.path().string(), "5", "durva\\five.txt", "G", "1", "stop"});
    ASSERT_EQ(five.read_line(), "stopped");
    const std::string journal = read_file(f.folder.file("rob/ksieg05.txt"));
    {
        CurrentFolder here(f.folder.path());
        BookingJournal other(5);
        EXPECT_EQ(other.try_lock(false), JournalLock::Held);
    }

    // The file being booked is not booked here; other sales are, and
    // station 5's journal is not touched.
    EXPECT_EQ(import_at(f.folder, 2, "durva\\five.txt"), "nothing");
    EXPECT_TRUE(std::filesystem::exists(f.folder.file("durva/five.txt")));
    EXPECT_EQ(import_at(f.folder, 2, "durva\\two.txt"), "booked");
    EXPECT_EQ(read_file(f.folder.file("rob/ksieg05.txt")), journal);

    five.write_line("go");
    EXPECT_EQ(five.read_line(), "booked");
    const Tables t = read_tables(f.folder);
    EXPECT_EQ(t.documents, (std::vector<int>{5, 8}));  // station 5 took its number after station 2
    EXPECT_EQ(t.counter, 59);
    expect_stock(t, f.before, sold);
}

TEST(BookingsAcrossStations, ANewBookingWaitsWhileAnotherWorkstationFinishesItsStationsJournal) {
    Fixture f;
    std::map<std::uint32_t, double> sold;
    write_sales(f.folder, "durva/cut.txt", 6, 0, sold);
    write_sales(f.folder, "durva/two.txt", 5, 1, sold);
    write_sales(f.folder, "durva/five.txt", 4, 2, sold);
    kill_booking(f.folder, 5, "durva\\cut.txt", "N", 1);

    // Station 2 stops while it finishes station 5's booking, holding no record.
    ChildProcess two(proc_path("sales_booker"), {f.folder.path().string(), "2", "durva\\two.txt", "H", "1", "stop"});
    ASSERT_EQ(two.read_line(), "stopped");
    const std::string journal = read_file(f.folder.file("rob/ksieg05.txt"));
    // A new station 5 books meanwhile: it must not write over that journal.
    ChildProcess five(proc_path("sales_booker"), {f.folder.path().string(), "5", "durva\\five.txt"});
    std::this_thread::sleep_for(std::chrono::milliseconds(800));
    EXPECT_EQ(read_file(f.folder.file("rob/ksieg05.txt")), journal);

    two.write_line("go");
    EXPECT_EQ(two.read_line(), "booked");
    EXPECT_EQ(five.read_line(), "booked");
    Tables t = read_tables(f.folder);
    std::sort(t.documents.begin(), t.documents.end());
    EXPECT_EQ(t.documents, (std::vector<int>{4, 5, 6}));
    EXPECT_EQ(t.counter, 60);
    expect_stock(t, f.before, sold);
}

TEST(BookingsAcrossStations, AStartOfTheProgramFinishesABookingCutShortAtAnotherStation) {
    Fixture f;
    std::map<std::uint32_t, double> sold;
    write_sales(f.folder, "durva/data_out.xxx", 6, 0, sold);
    kill_booking(f.folder, 5, "durva\\data_out.xxx", "S", 2);

    auto start = [&](std::initializer_list<testing::ScriptStep> keys) {
        CurrentFolder here(f.folder.path());
        testing::HeadlessSession h(keys);
        std::string seen_in_menu;
        StartupStages stages;
        stages.IN_NET = [](Session&) { return 3; };
        stages.INIT_DBF = [](Session& s) {
            test::open_sales_tables(s, false, 3);
            return true;
        };
        stages.DURVA_ = [&](Session& s) {
            for (int row = 0; row < 25; ++row) seen_in_menu += s.screen.text(row, 0, 80) + "\n";
        };
        EXPECT_EQ(MAIN(h.session, "", stages), 0);
        h.session.areas.close_all();
        return seen_in_menu;
    };
    // The finished booking's message waits for a key before the menu.
    // It is broken into the window's lines: the document on one, its amount on the next.
    const std::string first = start({'x'});
    const std::size_t said = first.find("Dokonczone ksiegowanie stacji 05: SD 58 ");
    EXPECT_NE(said, std::string::npos) << first;
    EXPECT_NE(first.find("na kwote", said), std::string::npos) << first;
    Tables t = read_tables(f.folder);
    EXPECT_EQ(t.documents, std::vector<int>{6});
    expect_stock(t, f.before, sold);

    // Nothing left: the next start says nothing and asks for no key.
    const std::string second = start({});
    EXPECT_EQ(second.find("ksiegowanie"), std::string::npos) << second;
    EXPECT_EQ(read_tables(f.folder).documents, std::vector<int>{6});
}

TEST(BookingJournalLock, IsHeldByOneJournalAtATimeAndGivenUpWhenFinished) {
    TempFolder folder;
    CurrentFolder here(folder.path());
    std::filesystem::create_directories("rob");
    BookingJournal one(4), two(4);
    EXPECT_EQ(one.try_lock(false), JournalLock::Missing);
    EXPECT_EQ(one.try_lock(true), JournalLock::Taken);
    EXPECT_EQ(two.try_lock(true), JournalLock::Held);
    // A new booking never writes over a journal another booking holds.
    EXPECT_THROW(two.begin(BookingPlan{}), DbError);
    one.begin(BookingPlan{});
    EXPECT_EQ(two.try_lock(false), JournalLock::Held);
    one.finish();
    EXPECT_EQ(two.try_lock(false), JournalLock::Taken);
    EXPECT_EQ(one.try_lock(false), JournalLock::Held);
    two.set_aside();  // given up with the journal it held
    EXPECT_EQ(one.try_lock(false), JournalLock::Missing);
    EXPECT_TRUE(std::filesystem::exists("rob/ksieg04.txt.bad"));
}

TEST(BookingJournalLock, AnUnattendedNewBookingEndsWhenAnotherHoldsItsJournalTooLong) {
    TempFolder folder;
    CurrentFolder here(folder.path());
    std::filesystem::create_directories("rob");
    BookingJournal finisher(6), booking(6);
    ASSERT_EQ(finisher.try_lock(true), JournalLock::Taken);
    testing::HeadlessSession h;
    h.session.unattended = true;
    const std::int64_t start = h.clock.now_ms();
    EXPECT_THROW(lock_for_new_booking(h.session, booking), DbError);
    EXPECT_GE(h.clock.now_ms() - start, 15'000);
    EXPECT_FALSE(booking.locked());
    finisher.release();
    lock_for_new_booking(h.session, booking);
    EXPECT_TRUE(booking.locked());
}

}  // namespace
}  // namespace durva
