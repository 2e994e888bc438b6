// Read-outs that must each be booked once: the same sales read out twice in
// a row, a program killed while its driver still reads the register, and a
// booking journal damaged in the middle, which stops the scheduled run.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "app/readout_office.h"
#include "receive/booking_journal.h"

namespace durva::test {
namespace {

namespace fs = std::filesystem;

bool starts_with(const std::string& text, const std::string& start) { return text.rfind(start, 0) == 0; }

std::vector<std::string> backups(const ReadOutOffice& office) {
    std::vector<std::string> out;
    if (!fs::exists(office.path() / "durva_sd")) return out;
    for (const auto& e : fs::directory_iterator(office.path() / "durva_sd"))
        out.push_back(office.read("durva_sd/" + e.path().filename().string()));
    return out;
}

TEST(ReadOutIdentity, TwoReadOutsOfTheSameSingleSaleAreBothBooked) {
    ReadOutOffice office;
    office.load_register();
    const size_t before = office.documents();

    office.sell("5901234123457");
    const ProgramRun first = office.read_out("1");
    EXPECT_EQ(first.code, 0);
    EXPECT_TRUE(starts_with(first.line, "kasa 01: zaksiegowano SD 58 na kwote 3.89, wierszy 1")) << first.line;
    // The same loaf again: a read-out of its own, byte for byte like the first.
    office.sell("5901234123457");
    const ProgramRun second = office.read_out("1");
    EXPECT_EQ(second.code, 0);
    EXPECT_TRUE(starts_with(second.line, "kasa 01: zaksiegowano SD 59 na kwote 3.89, wierszy 1")) << second.line;

    EXPECT_EQ(office.documents(), before + 2);
    const std::vector<std::string> copies = backups(office);
    ASSERT_EQ(copies.size(), 2u);
    EXPECT_EQ(copies[0], copies[1]);
    EXPECT_FALSE(fs::exists(office.path() / "durva" / "data_out.xxx"));
}

TEST(ReadOutIdentity, AProgramKilledWhileItsDriverRunsLosesNoSales) {
    ReadOutOffice office;
    office.load_register();
    const size_t before = office.documents();
    office.sell("5901234123457*2,12345");
    // A driver that takes its time at the register, as a real one does.
    fs::remove(office.path() / "durvadrv.exe");
    {
        std::ofstream script(office.file("durvadrv.exe"));
        script << "#!/bin/sh\nsleep 2\nexec " << kSimulator << " \"$@\"\n";
    }
    ::chmod(office.file("durvadrv.exe").c_str(), 0755);

    {
        ChildProcess killed(kProgram, {"--odczyt", "1", "--folder", office.path().string()});
        std::this_thread::sleep_for(std::chrono::milliseconds(700));
        killed.kill_now();
        EXPECT_EQ(killed.wait_exit_code(), 128 + SIGKILL);
    }
    // The driver outlived the program; the next read-out waits for it and
    // books what it read, instead of reading the register again over it.
    const ProgramRun next = office.read_out("1");
    EXPECT_EQ(next.code, 0);
    EXPECT_TRUE(starts_with(next.line, "kasa 01: wczytano plik pozostawiony w durva: zaksiegowano SD 58 na kwote "
                                       "9.77, wierszy 2"))
        << next.line;
    EXPECT_EQ(office.documents(), before + 1);
    EXPECT_EQ(office.read_out("1").line, "kasa 01: brak sprzedazy do zaksiegowania, bez towaru 0");
    EXPECT_EQ(office.documents(), before + 1);
}

TEST(ReadOutJournal, ADamagedJournalStopsTheScheduledRunWhichBooksNothing) {
    ReadOutOffice office;
    office.load_register();
    office.sell("5901234123457");
    const size_t before = office.documents();
    {
        // A booking of station 1 with its number taken, then a plan line
        // damaged on the disk.
        CurrentFolder here(office.path());
        fs::create_directories("rob");
        BookingJournal journal(1);
        ASSERT_EQ(journal.try_lock(true), JournalLock::Taken);
        BookingPlan plan;
        plan.rd = "SD ";
        plan.provisional = "      58";
        plan.rows = {std::string(40, 'A'), std::string(40, 'B')};
        plan.goods = {1, 2};
        journal.begin(plan);
        journal.number("      58");
        journal.release();
    }
    std::string text = office.read("rob/ksieg01.txt");
    const size_t row = text.find("\nR;2;");
    ASSERT_NE(row, std::string::npos);
    text[row + 10] = text[row + 10] == '4' ? '5' : '4';
    std::ofstream(office.file("rob/ksieg01.txt"), std::ios::binary) << text;

    const ProgramRun run = office.read_out("1");
    EXPECT_EQ(run.code, 11);
    EXPECT_TRUE(starts_with(run.line, "kasa 01: Dziennik ksiegowania stacji 01 uszkodzony (wiersz 3 uszkodzony)"))
        << run.line;
    // Nothing booked, the register not read out, the journal where it was.
    EXPECT_EQ(office.documents(), before);
    EXPECT_FALSE(fs::exists(office.path() / "durva" / "data_out.xxx"));
    EXPECT_EQ(office.read("rob/ksieg01.txt"), text);
    EXPECT_FALSE(fs::exists(office.path() / "rob" / "ksieg01.txt.bad"));
    // The log tells the operator too.
    EXPECT_NE(office.read("durva/odczyt.log").find("uszkodzony"), std::string::npos);
}

}  // namespace
}  // namespace durva::test
