// The scheduled read-out run inside the test, on the test clock and a
// keyboard with no keys: its waits for other programs pass at once, and any
// question or wait for a key would end the test. A lock held beyond the wait
// ends the run with its status, the booking it cut short is finished, once,
// by the next run; a program name that makes the menu ask for warehouses
// makes the read-out ask nothing and use the stand's own.
#include <gtest/gtest.h>

#include "app/readout_office.h"
#include "app/scheduled_readout.h"
#include "common/dbf/work_areas.h"
#include "common/mem_file.h"
#include "support/headless_session.h"
#include "support/refused_openings.h"

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
        EXPECT_NE(r.line.find(" - ksiegowanie przerwane (stacja 01), dokonczy je nastepne uruchomienie programu"), std::string::npos)
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

    // The booking took the sales file away before it waited; the next run
    // finishes the booking as it starts and books nothing a second time.
    EXPECT_FALSE(std::filesystem::exists(office.path() / "durva" / "data_out.xxx"));
    const ProgramRun next = office.read_out("1");
    EXPECT_EQ(next.code, 0);
    EXPECT_EQ(next.line,
              "kasa 01: Dokonczone ksiegowanie stacji 01: SD 58  na kwote  7.87 Z; brak sprzedazy do zaksiegowania, "
              "bez towaru 0");
    EXPECT_EQ(office.documents(), before + 1);
    EXPECT_NE(office.records("16/03/as.dbf"), stock_before);
    EXPECT_EQ(office.read_out("1").line, "kasa 01: brak sprzedazy do zaksiegowania, bez towaru 0");
    EXPECT_EQ(office.documents(), before + 1);
}

// Refused before the register is read out: every station position taken
// while another workstation has the company table open, and the company
// table held by another program between the sign-in and the opening of the
// company tables for longer than that opening waits.
TEST(ScheduledReadOutWaits, AllStationsTakenOrTheCompanyTableHeldEndTheRunBeforeTheReadOut) {
    ReadOutOffice office;
    office.load_register();
    office.sell("12345");
    const size_t before = office.documents();
    office.set_field("firma.dbf", 1, "ST", "1111111110");
    CurrentFolder here(office.path());
    {
        dbf::WorkAreas other;
        other.use("firma", "firma", platform::Share::Shared);
        HeadlessSession h;
        const ReadOutResult r = scheduled_readout(h.session, 1);
        EXPECT_EQ(r.status, ReadOutStatus::StationsTaken);
        EXPECT_EQ(r.code(), 8);
        EXPECT_EQ(r.line, "Wszystkie stacje zajete - nic nie zaksiegowano");
        other.close_all();
    }
    EXPECT_EQ(office.field("firma.dbf", 1, "ST"), "1111111110");
    {
        // The sign-in holds the company table alone; its shared opening
        // afterwards is refused fifteen times, a second apart.
        HeadlessSession h;
        RefusedOpenings held("firma.dbf", platform::Share::Shared, 15);
        const ReadOutResult r = scheduled_readout(h.session, 1);
        EXPECT_EQ(r.status, ReadOutStatus::TableHeld);
        EXPECT_EQ(r.code(), 9);
        EXPECT_EQ(r.line, "Musisz zaczekac - nic nie zaksiegowano");
        EXPECT_EQ(held.refused(), 15);
    }
    // Signed out: the first workstation cleared the string and took 1.
    EXPECT_EQ(office.field("firma.dbf", 1, "ST"), "0000000000");
    EXPECT_EQ(office.documents(), before);
    EXPECT_FALSE(std::filesystem::exists(office.path() / "durva" / "data_out.xxx"));
}

TEST(ScheduledReadOutAsks, NothingWhenTheProgramNameSaysKod13AndBooksIntoTheStandsWarehouse) {
    ReadOutOffice office;
    office.load_register();
    ASSERT_EQ(office.read_out("1").code, 0);  // makes the register table
    office.set_field("durva/durva.dbf", 1, "PMAG", "2");
    {
        // The menu would ask for the warehouses here.
        CurrentFolder here(office.path());
        Memvars settings;
        ASSERT_TRUE(restore_mem_file("PARAMETR.MEM", settings).ok());
        settings.set_text("J_NAZWA", " HURTOWNIA KOD13 ");
        ASSERT_GT(write_mem_file("PARAMETR.MEM", settings, "J_"), 0);
    }
    office.sell("5901234123457*2");
    const size_t before = office.documents();

    CurrentFolder here(office.path());
    HeadlessSession h;  // no keys: a question or a wait for a key would throw
    const ReadOutResult r = scheduled_readout(h.session, 1);
    EXPECT_EQ(r.status, ReadOutStatus::Done);
    EXPECT_EQ(r.line, "zaksiegowano SD 58 na kwote 7.78, wierszy 1, bez towaru 0");
    ASSERT_EQ(office.documents(), before + 1);
    EXPECT_EQ(office.field("16/03/dowod.dbf", static_cast<std::uint32_t>(before + 1), "MAG"), "2");
}

}  // namespace
}  // namespace durva::test
