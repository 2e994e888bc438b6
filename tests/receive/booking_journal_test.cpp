// The journal's lines as written and read back: record bytes of any value,
// and journals a station wrote before records went into them as hex.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "receive/booking_journal.h"
#include "support/current_folder.h"
#include "support/fixture_folder.h"

namespace durva {
namespace {

void read_journal(BookingPlan& plan, BookingProgress& done) {
    BookingJournal j(3);
    std::string fault;
    ASSERT_TRUE(j.read(plan, done, fault));
    EXPECT_EQ(fault, "");
}

TEST(BookingJournalFile, RecordsOfEveryByteAndJournalsOfHexRecordsReadBackTheSame) {
    test::TempFolder folder;
    test::CurrentFolder cwd(folder.path());
    std::filesystem::create_directories("rob");
    std::string every;
    for (int c = 0; c < 256; ++c) every += static_cast<char>(c);
    BookingPlan plan;
    plan.rd = "SD ";
    plan.provisional = "      12";
    plan.rows = {every, "~%41;%;\n#12345678", ""};
    plan.goods = {7, 0, 3};
    {
        BookingJournal j(3);
        ASSERT_EQ(j.try_lock(true), JournalLock::Taken);
        j.begin(plan);
        j.stock_before(1, every);
        j.stock_before(2, "%%~;");
        j.stock_before_forced();
        j.stock_done(std::vector<int>{1});
    }
    BookingPlan read;
    BookingProgress done;
    read_journal(read, done);
    EXPECT_EQ(read.rows, plan.rows);
    EXPECT_EQ(read.goods, plan.goods);
    EXPECT_EQ(done.stock_before, (std::map<int, std::string>{{1, every}, {2, "%%~;"}}));
    EXPECT_EQ(done.stock_done, std::set<int>{1});

    // The same journal with its records as hex, as earlier versions wrote it.
    const std::vector<std::string> records = {plan.rows[0], plan.rows[1], plan.rows[2], every, "%%~;"};
    std::size_t next = 0;
    std::ifstream in("rob/ksieg03.txt", std::ios::binary);
    std::ostringstream earlier;
    for (std::string line; std::getline(in, line);) {
        std::string text = line.substr(0, line.rfind('#'));
        if (text.starts_with("R;") || text.starts_with("S;")) {
            const std::size_t field = text.find(';', 2) + 1;
            ASSERT_LT(next, records.size());
            text = text.substr(0, field) + to_hex(records[next++]);
        }
        earlier << journal_line(text);
    }
    ASSERT_EQ(next, records.size());
    in.close();
    std::ofstream("rob/ksieg03.txt", std::ios::binary | std::ios::trunc) << earlier.str();
    BookingPlan again;
    BookingProgress done_again;
    read_journal(again, done_again);
    EXPECT_EQ(again.rows, plan.rows);
    EXPECT_EQ(done_again.stock_before, done.stock_before);
    EXPECT_EQ(done_again.stock_done, done.stock_done);
}

}  // namespace
}  // namespace durva
