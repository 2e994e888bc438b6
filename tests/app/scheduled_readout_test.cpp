// The scheduled read-out as a timer runs it: the program itself with
// "--odczyt", the register simulator, workstations holding the menu, and two
// runs at once.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <memory>
#include <set>
#include <thread>

#include "app/durva.h"
#include "app/durva_menu.h"
#include "app/readout_office.h"
#include "app/scheduled_readout.h"
#include "platform/file.h"
#include "support/headless_session.h"

namespace durva::test {
namespace {

using testing::HeadlessSession;
using testing::Key;

bool starts_with(const std::string& text, const std::string& start) { return text.rfind(start, 0) == 0; }

TEST(ScheduledReadOut, BooksWhatTheMenuBooksForTheSameSales) {
    const std::string sales = "5901234123457*2,0012345678905*1.5,12345,5901234123457*0.25";
    ReadOutOffice scheduled, menu;
    for (ReadOutOffice* o : {&scheduled, &menu}) {
        o->load_register();
        o->sell(sales);
    }

    const ProgramRun run = scheduled.read_out("1");
    EXPECT_EQ(run.code, 0);
    EXPECT_EQ(run.line, "kasa 01: zaksiegowano SD 58 na kwote 14.49, wierszy 4, bez towaru 0");

    {
        // The operator's read-out of the same sales on the same day: item 2,
        // yes to the date, the driver's report, the booking's message, Esc.
        CurrentFolder here(menu.path());
        HeadlessSession h;
        platform::RealClock real;
        h.clock.set_local_time(real.local_time());
        h.terminal.push_keys({Key::Down, Key::Enter, 't', Key::Enter, Key::Enter, Key::Esc});
        EXPECT_EQ(MAIN(h.session, ""), 0);
        EXPECT_EQ(h.terminal.steps_left(), 0u);
    }

    for (const char* table : {"16/03/dowod.dbf", "16/03/dow.dbf", "16/03/as.dbf", "16/03/slow.dbf"}) {
        SCOPED_TRACE(table);
        EXPECT_EQ(scheduled.records(table), menu.records(table));
    }
    EXPECT_EQ(scheduled.documents(), menu.documents());
    // Both signed out.
    EXPECT_EQ(scheduled.records("firma.dbf"), menu.records("firma.dbf"));
}

TEST(ScheduledReadOut, ListsTheUnmatchedLinesLogsEveryRunAndFindsNothingTheSecondTime) {
    ReadOutOffice office;
    office.load_register();
    office.sell("999999*3,12345");
    const size_t before = office.documents();

    ProgramRun first = office.read_out("01");
    EXPECT_EQ(first.code, 0);
    EXPECT_EQ(first.line,
              "kasa 01: zaksiegowano SD 58 na kwote 1.99, wierszy 1, bez towaru 1 (lista rob\\wydruk01.prn)");
    EXPECT_EQ(office.read("rob/wydruk01.prn"), "S;999999;BEZ KARTOTEKI     ;300;3000;\r\n");

    ProgramRun second = office.read_out("1");
    EXPECT_EQ(second.code, 0);
    EXPECT_EQ(second.line, "kasa 01: brak sprzedazy do zaksiegowania, bez towaru 0");
    EXPECT_EQ(office.documents(), before + 1);

    // One line a run: date, time, the line, the status.
    const std::string log = office.read("durva/odczyt.log");
    const size_t first_end = log.find("\r\n");
    ASSERT_NE(first_end, std::string::npos);
    EXPECT_EQ(log.substr(19, first_end - 19), " " + first.line + " (kod 0)");
    EXPECT_EQ(log.substr(first_end + 2 + 19), " " + second.line + " (kod 0)\r\n");
}

TEST(ScheduledReadOut, IsRefusedWhileAWorkstationIsInTheMenuAndBooksOnceItLeaves) {
    ReadOutOffice office;
    office.load_register();
    ASSERT_EQ(office.read_out("1").code, 0);  // makes the register table
    office.sell("12345*2");
    const size_t before = office.documents();
    {
        // The menu holds the register table exclusively while it runs.
        ChildProcess workstation(proc_path("dbf_holder"), {office.file("durva/durva.dbf"), "exclusive"});
        ASSERT_EQ(workstation.read_line(), "ready");
        const ProgramRun refused = office.read_out("1");
        EXPECT_EQ(refused.code, 7);
        EXPECT_EQ(refused.line,
                  "kasa 01: stanowisko w menu kas (Problem z plikiem durva\\durva.DBF) - nic nie zaksiegowano");
        EXPECT_EQ(office.documents(), before);
        workstation.write_line("quit");
    }
    const ProgramRun later = office.read_out("1");
    EXPECT_EQ(later.code, 0);
    EXPECT_TRUE(starts_with(later.line, "kasa 01: zaksiegowano SD 58 na kwote 3.98, wierszy 1")) << later.line;
    EXPECT_EQ(office.documents(), before + 1);
}

TEST(ScheduledReadOut, KeepsWorkstationsOutOfTheMenuWhileItRuns) {
    ReadOutOffice office;
    office.load_register();
    ASSERT_EQ(office.read_out("1").code, 0);  // makes the register table
    office.sell("12345");
    // A driver that says it has started and reads the register out only when told.
    const std::filesystem::path driver = office.path() / "durvadrv.exe";
    std::filesystem::remove(driver);
    std::ofstream(driver, std::ios::binary) << "#!/bin/sh\n: > started\nwhile [ ! -f go ]; do sleep 0.02; done\nexec "
                                            << kSimulator << " \"$@\"\n";
    ::chmod(driver.c_str(), 0755);

    ChildProcess run(kProgram, {"--odczyt", "1", "--folder", office.path().string()});
    for (int i = 0; i < 1000 && !std::filesystem::exists(office.path() / "started"); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_TRUE(std::filesystem::exists(office.path() / "started"));
    {
        // A workstation choosing the register menu meanwhile is refused.
        CurrentFolder here(office.path());
        HeadlessSession h;
        EXPECT_TRUE(DURVA_(h.session));
        EXPECT_EQ(h.text(3, 10, 14), std::string(14, ' '));  // no menu drawn
        EXPECT_EQ(h.clock.now_ms(), 2000);  // a second of retries, a second of message
    }
    std::ofstream(office.file("go")) << "";
    EXPECT_TRUE(starts_with(run.read_line(), "kasa 01: zaksiegowano SD 58 na kwote 1.99, wierszy 1"));
    EXPECT_EQ(run.wait_exit_code(), 0);
}

TEST(ScheduledReadOut, TwoRunsStartedTogetherBookTheSalesOnce) {
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        ReadOutOffice office;
        office.load_register();
        office.sell("5901234123457*2,0012345678905,12345*3");
        const std::vector<std::string> stock_before = office.records("16/03/as.dbf");
        const size_t before = office.documents();

        const std::vector<std::string> args = {"--odczyt", "1", "--folder", office.path().string()};
        ChildProcess one(kProgram, args), two(kProgram, args);
        const ProgramRun runs[] = {{0, one.read_line()}, {0, two.read_line()}};
        const int codes[] = {one.wait_exit_code(), two.wait_exit_code()};

        int booked = 0;
        for (int i = 0; i < 2; ++i) {
            SCOPED_TRACE(runs[i].line);
            if (codes[i] == 0 && runs[i].line.find("zaksiegowano SD") != std::string::npos) ++booked;
            else if (codes[i] == 0) EXPECT_TRUE(starts_with(runs[i].line, "kasa 01: brak sprzedazy"));
            else EXPECT_TRUE(codes[i] == 6 || codes[i] == 7) << codes[i];
        }
        EXPECT_EQ(booked, 1);
        EXPECT_EQ(office.documents(), before + 1);
        // The stock went down once: the goods sold changed, and a third run finds nothing.
        EXPECT_NE(office.records("16/03/as.dbf"), stock_before);
        const ProgramRun third = office.read_out("1");
        EXPECT_EQ(third.line, "kasa 01: brak sprzedazy do zaksiegowania, bez towaru 0");
        EXPECT_EQ(office.documents(), before + 1);
    }
}

TEST(ScheduledReadOut, BadInputGetsItsLineAndStatusAndBooksNothing) {
    ReadOutOffice office;
    office.load_register();
    ASSERT_EQ(office.read_out("1").code, 0);
    office.set_field("durva/durva.dbf", 3, "PPORT", "0");
    office.sell("12345");
    const size_t before = office.documents();
    TempFolder empty;

    struct Case {
        std::vector<std::string> args;
        int code;
        std::string line;
    };
    const std::string here = office.path().string();
    const Case cases[] = {
        {{"--odczyt", "42", "--folder", here}, 4, "kasa 42: brak kasy 42 w durva\\durva.DBF - nic nie zaksiegowano"},
        {{"--odczyt=3", "--folder=" + here}, 5, "kasa 03: Bledny port lub predkosc kasy 03 - nic nie zaksiegowano"},
        {{"--odczyt", "1", "--folder", empty.path().string()}, 3,
         "kasa 01: to nie jest folder danych biura (brak firma.dbf) - nic nie zaksiegowano"},
        {{"--odczyt", "1", "--folder", here + "/nie_ma"}, 3,
         "kasa 01: brak folderu " + here + "/nie_ma - nic nie zaksiegowano"},
        {{"--odczyt"}, 2, "durva --odczyt: numer kasy (1 do 99) po --odczyt: \"\" (durva --help)"},
        {{"--odczyt", "0"}, 2, "durva --odczyt: numer kasy (1 do 99) po --odczyt: \"0\" (durva --help)"},
        {{"--odczyt", "1x"}, 2, "durva --odczyt: numer kasy (1 do 99) po --odczyt: \"1x\" (durva --help)"},
        {{"--odczyt", "1", "--szybko"}, 2, "durva --odczyt: nieznany argument --szybko (durva --help)"},
    };
    for (const Case& c : cases) {
        const ProgramRun r = run_program(kProgram, c.args);
        EXPECT_EQ(r.code, c.code) << c.line;
        EXPECT_EQ(r.line, c.line);
    }

    {
        // A run still going holds the run's own lock file.
        auto held = platform::File::create(office.file("durva/odczyt.lck"));
        const ProgramRun r = office.read_out("1");
        EXPECT_EQ(r.code, 6);
        EXPECT_EQ(r.line, "kasa 01: poprzedni odczyt jeszcze trwa - nic nie zaksiegowano");
    }
    EXPECT_EQ(office.documents(), before);
    // Runs in the office folder are logged, refused ones as well.
    const std::string log = office.read("durva/odczyt.log");
    EXPECT_NE(log.find("brak kasy 42 w durva\\durva.DBF - nic nie zaksiegowano (kod 4)\r\n"), std::string::npos);
    EXPECT_NE(log.find("Bledny port lub predkosc kasy 03 - nic nie zaksiegowano (kod 5)\r\n"), std::string::npos);
    EXPECT_NE(log.find("poprzedni odczyt jeszcze trwa - nic nie zaksiegowano (kod 6)\r\n"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(empty.path() / "durva"));

    // The sales waited in the register.
    EXPECT_EQ(office.read_out("1").code, 0);
    EXPECT_EQ(office.documents(), before + 1);
}

}  // namespace
}  // namespace durva::test

namespace durva::test {
namespace {

// The number of records a send's line says it sent ("wyslano N rekordow").
std::size_t sent_in(const std::string& line) {
    const std::size_t at = line.find("wyslano ");
    return at == std::string::npos ? 0 : std::stoul(line.substr(at + 8));
}

TEST(ScheduledSend, SendsWhatChangedAndRunsEveryStandWithAPortInTurn) {
    ReadOutOffice office;
    const std::string folder = office.path().string();
    const ProgramRun first = run_program(kProgram, {"--wyslij", "1", "--folder", folder});
    EXPECT_EQ(first.code, 0) << first.line;
    EXPECT_TRUE(starts_with(first.line, "wysylka, kasa 01: wyslano ")) << first.line;
    EXPECT_GT(sent_in(first.line), 100u);
    // Unchanged goods do not go again.
    const ProgramRun again = run_program(kProgram, {"--wyslij=1", "--folder=" + folder});
    EXPECT_EQ(again.code, 0) << again.line;
    EXPECT_LT(sent_in(again.line), sent_in(first.line) / 2);
    EXPECT_NE(office.read("durva/odczyt.log").find("wysylka, kasa 01: wyslano "), std::string::npos);

    // A driver that reports an error: the goods it was given go again.
    std::filesystem::remove(office.path() / "durvadrv.exe");
    std::ofstream(office.path() / "durvadrv.exe") << "#!/bin/sh\nprintf '3;1;Brak papieru' > durva/error.txt\n";
    ::chmod((office.path() / "durvadrv.exe").c_str(), 0755);
    for (std::uint32_t good = 6; good <= 7; ++good) office.set_field("16/03/as.dbf", good, "CENA2", "9.99");
    const ProgramRun refused = run_program(kProgram, {"--wyslij", "1", "--folder", folder});
    EXPECT_EQ(refused.code, 10) << refused.line;
    const std::string records = refused.line.substr(refused.line.find(": ") + 2);
    ASSERT_TRUE(records.ends_with("Brak papieru - wyslane towary pojda ponownie przy nastepnej wysylce"))
        << refused.line;
    std::filesystem::remove(office.path() / "durvadrv.exe");
    std::filesystem::create_symlink(kSimulator, office.path() / "durvadrv.exe");
    const ProgramRun retried = run_program(kProgram, {"--wyslij", "1", "--folder", folder});
    EXPECT_EQ(retried.code, 0) << retried.line;
    EXPECT_EQ(sent_in(retried.line), std::stoul(records));
    EXPECT_GT(sent_in(retried.line), sent_in(again.line));

    // Every stand with a port, one line each; the worst status is the run's.
    office.set_field("durva/durva.dbf", 2, "PPORT", "18");
    ChildProcess all(kProgram, {"--odczyt", "wszystkie", "--folder", folder});
    std::vector<std::string> lines;
    for (std::string line = all.read_line(); !line.empty(); line = all.read_line()) lines.push_back(line);
    EXPECT_EQ(all.wait_exit_code(), 5);
    ASSERT_EQ(lines.size(), 17u);
    EXPECT_EQ(lines[0], "kasa 01: brak sprzedazy do zaksiegowania, bez towaru 0");
    EXPECT_EQ(lines[1], "kasa 02: Bledny port lub predkosc kasy 02 - nic nie zaksiegowano");
}

}  // namespace
}  // namespace durva::test
