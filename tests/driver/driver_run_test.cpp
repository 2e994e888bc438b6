#include "driver/driver_run.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "common/_fun1.h"
#include "driver/driver_test_support.h"
#include "driver/error_durva.h"
#include "support/current_folder.h"
#include "support/fixture_folder.h"
#include "support/headless_session.h"

namespace durva::testing {

namespace {

using test::read_bytes;
using test::write_bytes;
using test::write_script;

// A driver that writes its arguments one a line into durva/args.txt and,
// last of all, an error file saying the run went well.
const std::string kRecordingDriver =
    "for a in \"$@\"; do printf '%s\\n' \"$a\"; done > durva/args.txt\n"
    "printf '0;0;OK\\r\\n' > durva/error.txt";

struct CommandCase {
    DriverCommand kind;
    double port, speed;
    const char* expected;
};

}  // namespace

class DriverCommandLine : public ::testing::TestWithParam<CommandCase> {};

TEST_P(DriverCommandLine, IsByteForByteWhatTheDriverExpects) {
    const CommandCase& c = GetParam();
    EXPECT_EQ(driver_command_line(c.kind, c.port, c.speed), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, DriverCommandLine,
    ::testing::Values(
        CommandCase{DriverCommand::Send, 1, 9600, "durvadrv.exe dp=durva if=data_in.txt cp=1 ct=20000 cs=9600"},
        CommandCase{DriverCommand::ReadOut, 3, 19200,
                    "durvadrv.exe dp=durva if=data_in.txt af=T cp=3 ct=20000 cs=19200"},
        CommandCase{DriverCommand::Departments, 17, 4800, "durvadrv.exe dp=durva if=data_in.txt cp=17 cs=4800"},
        CommandCase{DriverCommand::DepartmentsStartWait, 2, 9600,
                    "start /WAIT durvadrv.exe dp=durva if=data_in.txt cp=2 cs=9600"},
        // A speed of 0 is sent as 9600.
        CommandCase{DriverCommand::Send, 12, 0, "durvadrv.exe dp=durva if=data_in.txt cp=12 ct=20000 cs=9600"},
        CommandCase{DriverCommand::DepartmentsStartWait, 1, 0,
                    "start /WAIT durvadrv.exe dp=durva if=data_in.txt cp=1 cs=9600"},
        CommandCase{DriverCommand::ReadOut, 1, 115200,
                    "durvadrv.exe dp=durva if=data_in.txt af=T cp=1 ct=20000 cs=115200"}));

TEST(DriverInputFile, ControlLineFirstRecordsAfterCrLfAndAFinalCrLf) {
    test::TempFolder folder;
    test::CurrentFolder here(folder.path());
    std::filesystem::create_directory(folder.path() / "durva");
    HeadlessSession h;

    // A longer file of an earlier run is replaced, not overwritten in part.
    write_bytes(folder.path() / "durva" / "data_in.txt", std::string(500, 'x'));
    write_input_file(h.session, "S;D;1;1;7;", {"D;1;A;SPOZYWCZY;", "D;2;B;\x9C" "ADUNKI;"});
    EXPECT_EQ(read_bytes(folder.path() / "durva" / "data_in.txt"),
              "S;D;1;1;7;\r\nD;1;A;SPOZYWCZY;\r\nD;2;B;\x9C" "ADUNKI;\r\n");

    write_input_file(h.session, "S;U;2; ; ;", {});
    EXPECT_EQ(read_bytes(folder.path() / "durva" / "data_in.txt"), "S;U;2; ; ;\r\n");
    // Nothing was shown without echo.
    EXPECT_EQ(h.text(0, 0, 80), std::string(80, ' '));
}

TEST(DriverInputFile, EchoWritesTheSameTextOnTheScreen) {
    test::TempFolder folder;
    test::CurrentFolder here(folder.path());
    std::filesystem::create_directory(folder.path() / "durva");
    HeadlessSession h;
    h.screen.set_cursor(3, 0);
    write_input_file(h.session, "S;I;1; ; ;", {"P;1;CUKIER;", "P;2;KAWA;"}, true);
    EXPECT_EQ(h.text(3, 0, 11), "S;I;1; ; ; ");
    EXPECT_EQ(h.text(4, 0, 12), "P;1;CUKIER; ");
    EXPECT_EQ(h.text(5, 0, 10), "P;2;KAWA; ");
    EXPECT_EQ(h.screen.row(), 6);
    EXPECT_EQ(h.screen.col(), 0);
}

TEST(DriverInputFile, UpperCaseFolderIsUsed) {
    test::TempFolder folder;
    test::CurrentFolder here(folder.path());
    std::filesystem::create_directory(folder.path() / "DURVA");
    HeadlessSession h;
    write_input_file(h.session, "S;I;0; ; ;", {});
    EXPECT_EQ(read_bytes(folder.path() / "DURVA" / "data_in.txt"), "S;I;0; ; ;\r\n");
}

class DriverRun : public ::testing::Test {
protected:
    DriverRun() : here_(folder_.path()), bin_(folder_.path() / "bin"), path_(bin_.string()) {
        std::filesystem::create_directories(folder_.path() / "durva");
        std::filesystem::create_directories(bin_);
        m_.PORT = 1;
        m_.PREDKOSC = 9600;
    }
    std::filesystem::path at(const std::string& relative) const { return folder_.path() / relative; }

    test::TempFolder folder_;
    test::CurrentFolder here_;
    std::filesystem::path bin_;
    test::SearchPath path_;  // only the test's own folder of programs
    HeadlessSession h_;
    MenuValues m_;
};

TEST_F(DriverRun, StartsTheDriverWithTheCommandLineWordsAndWaitsForIt) {
    write_script(at("durvadrv.exe"), kRecordingDriver);
    m_.PORT = 2;
    m_.PREDKOSC = 19200;
    EXPECT_TRUE(run_driver(h_.session, m_, DriverCommand::ReadOut));
    EXPECT_EQ(m_.AAA, "durvadrv.exe dp=durva if=data_in.txt af=T cp=2 ct=20000 cs=19200");
    EXPECT_EQ(read_bytes(at("durva/args.txt")), "dp=durva\nif=data_in.txt\naf=T\ncp=2\nct=20000\ncs=19200\n");
    // The error file is the driver's last act: the run waited for the end.
    EXPECT_EQ(read_bytes(at("durva/error.txt")), "0;0;OK\r\n");
}

TEST_F(DriverRun, StartWaitFormKeepsItsTextAndStartsTheDriverDirectly) {
    write_script(at("durvadrv.exe"), kRecordingDriver);
    EXPECT_TRUE(run_driver(h_.session, m_, DriverCommand::DepartmentsStartWait));
    EXPECT_EQ(m_.AAA, "start /WAIT durvadrv.exe dp=durva if=data_in.txt cp=1 cs=9600");
    EXPECT_EQ(read_bytes(at("durva/args.txt")), "dp=durva\nif=data_in.txt\ncp=1\ncs=9600\n");
}

TEST_F(DriverRun, WorkingFolderComesBeforeTheSearchPath) {
    write_script(at("durvadrv.exe"), "printf here > durva/who.txt");
    write_script(bin_ / "durvadrv.exe", "printf path > durva/who.txt");
    EXPECT_TRUE(run_driver(h_.session, m_, DriverCommand::Send));
    EXPECT_EQ(read_bytes(at("durva/who.txt")), "here");

    std::filesystem::remove(at("durvadrv.exe"));
    EXPECT_TRUE(run_driver(h_.session, m_, DriverCommand::Send));
    EXPECT_EQ(read_bytes(at("durva/who.txt")), "path");
}

TEST_F(DriverRun, AnOfficeCanHaveTheDriverTakenFromTheSearchPathOnly) {
    write_script(at("durvadrv.exe"), "printf here > durva/who.txt");
    write_script(bin_ / "durvadrv.exe", "printf path > durva/who.txt");
    test::EnvironmentValue path_only("DURVA_STEROWNIK", "path");
    EXPECT_TRUE(run_driver(h_.session, m_, DriverCommand::Send));
    EXPECT_EQ(read_bytes(at("durva/who.txt")), "path");

    // Nothing on the search path but the folder itself: the one in the
    // folder is not run either.
    std::filesystem::remove(bin_ / "durvadrv.exe");
    std::filesystem::remove(at("durva/who.txt"));
    test::SearchPath dot(".:" + bin_.string() + "::");
    HeadlessSession h({'x'});
    EXPECT_FALSE(run_driver(h.session, m_, DriverCommand::Send));
    EXPECT_FALSE(std::filesystem::exists(at("durva/who.txt")));
}

TEST_F(DriverRun, ExitStatusIsNotLookedAt) {
    write_script(at("durvadrv.exe"), "printf '0;0;' > durva/error.txt\nexit 3");
    EXPECT_TRUE(run_driver(h_.session, m_, DriverCommand::Send));
}

TEST_F(DriverRun, PreviousErrorFileIsRemovedBeforeTheRun) {
    write_bytes(at("durva/error.txt"), "0;0;stary wynik");
    write_bytes(at("durva/ERROR.TXT"), "0;0;stary wynik");
    write_script(at("durvadrv.exe"), "printf ran > durva/ran.txt");  // leaves no error file
    EXPECT_TRUE(run_driver(h_.session, m_, DriverCommand::Send));
    EXPECT_EQ(read_bytes(at("durva/ran.txt")), "ran");
    EXPECT_FALSE(std::filesystem::exists(at("durva/error.txt")));
    EXPECT_FALSE(std::filesystem::exists(at("durva/ERROR.TXT")));

    // The report then says there was none, not the stale success.
    HeadlessSession look;
    EXPECT_THROW(ERROR_DURVA(look.session), platform::ScriptExhausted);
    EXPECT_NE(look.text(17, 0, 80).find("Sterownik nie zostawil pliku error.txt"), std::string::npos);
    EXPECT_EQ(look.text(17, 0, 80).find("Wszystko dobrze"), std::string::npos);
}

TEST_F(DriverRun, MissingDriverIsSaidUntilAKeyAndNoStaleResultStays) {
    write_bytes(at("durva/error.txt"), "0;0;");
    HeadlessSession look;
    EXPECT_THROW(run_driver(look.session, m_, DriverCommand::Send), platform::ScriptExhausted);
    EXPECT_NE(look.text(17, 0, 80).find("Brak programu durvadrv.exe"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(at("durva/error.txt")));

    HeadlessSession h({'x'});
    EXPECT_FALSE(run_driver(h.session, m_, DriverCommand::Send));
    EXPECT_EQ(h.terminal.steps_left(), 0u);
    // The window went with the key; the screen under it is back.
    EXPECT_EQ(h.text(17, 0, 80), std::string(80, ' '));
}

TEST_F(DriverRun, ADriverThatCannotBeStartedIsSaidUntilAKey) {
    // Executable, but no program the system can start.
    write_bytes(at("durvadrv.exe"), std::string("MZ\x90\x00\x03\x00\x00\x00", 8));
    ::chmod(at("durvadrv.exe").c_str(), 0755);
    HeadlessSession look;
    EXPECT_THROW(run_driver(look.session, m_, DriverCommand::Send), platform::ScriptExhausted);
    EXPECT_NE(look.text(17, 0, 80).find("Nie mozna uruchomic durvadrv.exe"), std::string::npos);
}

TEST_F(DriverRun, ANonExecutableFileInTheFolderIsPassedOver) {
    write_bytes(at("durvadrv.exe"), "not a program");
    write_script(bin_ / "durvadrv.exe", "printf path > durva/who.txt");
    EXPECT_TRUE(run_driver(h_.session, m_, DriverCommand::Send));
    EXPECT_EQ(read_bytes(at("durva/who.txt")), "path");
}

TEST_F(DriverRun, TheDriverHasNeitherTheKeyboardNorTheTerminal) {
    write_script(at("durvadrv.exe"),
                 "if read line; then printf got > durva/stdin.txt; else printf eof > durva/stdin.txt; fi\n"
                 "if (exec 3</dev/tty) 2>/dev/null; then printf tty > durva/tty.txt; else printf none > durva/tty.txt; fi\n"
                 "printf 'on the screen'\nprintf 'on the error stream' >&2");
    EXPECT_TRUE(run_driver(h_.session, m_, DriverCommand::Send));
    EXPECT_EQ(read_bytes(at("durva/stdin.txt")), "eof");
    EXPECT_EQ(read_bytes(at("durva/tty.txt")), "none");
}

TEST_F(DriverRun, TheNoticeStandsAndKeysTypedMeanwhileAreDropped) {
    write_script(at("durvadrv.exe"), kRecordingDriver);
    _OKNO_(h_.session, "Przesylam dane - czekac", "...");
    const std::string notice = h_.text(17, 0, 80);
    h_.screen.put_key('x');
    EXPECT_TRUE(run_driver(h_.session, m_, DriverCommand::Send));
    EXPECT_EQ(h_.text(17, 0, 80), notice);
    EXPECT_NE(notice.find("Przesylam dane - czekac"), std::string::npos);
    EXPECT_EQ(h_.screen.poll_key(), 0);
}

}  // namespace durva::testing

namespace durva::testing {

// The register simulator built beside the tests, standing in for the register:
// a department programming that goes well, then one it refuses.
TEST(DriverRunWithSimulator, ReportsWhatTheSimulatorSays) {
    const std::string build = DURVA_BUILD_DIR;
    if (!std::filesystem::exists(build + "/durvadrv.exe")) GTEST_SKIP() << "the simulator is not built";
    test::TempFolder folder;
    test::CurrentFolder here(folder.path());
    std::filesystem::create_directory(folder.path() / "durva");
    test::SearchPath path(build);
    MenuValues m;

    std::vector<std::string> departments;
    for (int d = 1; d <= 7; ++d)
        departments.push_back("H;1;0" + std::to_string(d) + ";Dzial " + std::to_string(d) + ";0;" +
                              std::string(1, "ABCDEFZ"[d - 1]) + ";1000;00;");
    HeadlessSession ok;
    write_input_file(ok.session, "S;D;1;1;7;", departments);
    ASSERT_TRUE(run_driver(ok.session, m, DriverCommand::Departments));
    ERROR_DURVA(ok.session);
    EXPECT_NE(ok.text(17, 0, 80).find("Wszystko dobrze"), std::string::npos) << ok.text(17, 0, 80);

    departments[2] = "H;1;03;Dzial 3;0;Q;1000;00;";  // no such tax letter
    HeadlessSession bad({ScriptStep::silence(1000), 'x'});
    write_input_file(bad.session, "S;D;1;1;7;", departments);
    ASSERT_TRUE(run_driver(bad.session, m, DriverCommand::Departments));
    ERROR_DURVA(bad.session);
    EXPECT_EQ(bad.text(24, 0, 28), "H;1;03;Dzial 3;0;Q;1000;00; ");
}

}  // namespace durva::testing
