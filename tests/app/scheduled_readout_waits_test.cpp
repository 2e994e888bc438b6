// The scheduled read-out's waits for other programs, run here on the test
// clock (its half-second pauses pass at once): a lock held beyond the wait
// ends the run with its status, and the booking it cut short is finished,
// once, by the next run.
#include <gtest/gtest.h>

#include "app/readout_office.h"
#include "app/scheduled_readout.h"
#include "support/headless_session.h"

namespace durva::test {
namespace {

using testing::HeadlessSession;

TEST(ScheduledReadOutWaits, ACounterHeldTooLongEndsTheRunAndTheNextRunFinishesTheBookingOnce) {
    ReadOutOffice office;
    office.load_register();
    office.sell("12345*2,5901234123457");
    const size_t before = office.documents();
    const std::vector<std::string> stock_before = office.records("16/03/as.dbf");

    // Another program holds the counter record of the sales documents.
    ChildProcess other(proc_path("dbf_holder"), {office.file("16/03/slow.dbf"), "shared"});
    ASSERT_EQ(other.read_line(), "ready");
    other.write_line("lock 1");
    ASSERT_EQ(other.read_line(), "locked 1");
    {
        CurrentFolder here(office.path());
        HeadlessSession h;
        const std::int64_t start = h.clock.now_ms();
        const ReadOutResult r = scheduled_readout(h.session, 1);
        EXPECT_EQ(r.status, ReadOutStatus::TableHeld);
        EXPECT_EQ(r.line.substr(0, 62), "Plik zablokowany przez inny program: licznik dokumentow SD (Ko");
        EXPECT_NE(r.line.find(" - ksiegowanie przerwane, dokonczy je nastepny odczyt stacji 01"), std::string::npos)
            << r.line;
        // It waited as long as the booking waits for the counter, no longer.
        EXPECT_GE(h.clock.now_ms() - start, 30'000);
        EXPECT_LT(h.clock.now_ms() - start, 35'000);
        // It signed out.
        EXPECT_EQ(office.records("firma.dbf")[0].substr(1, 10), "0000000000");
    }
    EXPECT_EQ(office.documents(), before);
    EXPECT_EQ(office.records("16/03/as.dbf"), stock_before);
    other.write_line("unlock 1");
    ASSERT_EQ(other.read_line(), "unlocked 1");
    other.write_line("quit");

    // The sales file stayed; the next run finishes the booking and does not
    // book the file a second time.
    const ProgramRun next = office.read_out("1");
    EXPECT_EQ(next.code, 0);
    EXPECT_EQ(next.line,
              "kasa 01: wczytano plik pozostawiony w durva: Dokonczone: SD 58  na kwote  7.87 Z; "
              "sprzedaz juz zaksiegowana jako SD 58 - nie ksiegowano ponownie, bez towaru 0");
    EXPECT_EQ(office.documents(), before + 1);
    EXPECT_NE(office.records("16/03/as.dbf"), stock_before);
    EXPECT_EQ(office.read_out("1").line, "kasa 01: brak sprzedazy do zaksiegowania, bez towaru 0");
    EXPECT_EQ(office.documents(), before + 1);
}

}  // namespace
}  // namespace durva::test
