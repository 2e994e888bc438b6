#include "driver/error_durva.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "support/current_folder.h"
#include "support/fixture_folder.h"
#include "support/headless_session.h"

namespace durva::testing {

namespace {

void write_file(const std::filesystem::path& path, const std::string& bytes) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string read_file(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The input file of a send: the control line and three PLU records.
const std::string kInput = "S;I;1; ; ;\r\nP;1;CUKIER;250;A;01;\r\nP;2;KAWA;1299;A;01;\r\nP;3;MAKA;349;B;02;\r\n";

struct ReportCase {
    const char* name;
    std::string error_file;
    bool old_marker;
    std::string message;                  // on row 17 of the window
    std::optional<std::string> row24;     // the input line shown, when one is
    std::int64_t waited_ms;               // time the report took with no key pressed early
};

std::string row_text(HeadlessSession& h, int row) { return h.text(row, 0, 80); }

}  // namespace

class ErrorReport : public ::testing::TestWithParam<ReportCase> {};

TEST_P(ErrorReport, ShowsWhatTheErrorFileSays) {
    const ReportCase& c = GetParam();
    test::TempFolder folder;
    test::CurrentFolder here(folder.path());
    write_file(folder.path() / "durva" / "data_in.txt", kInput);
    write_file(folder.path() / "durva" / "error.txt", c.error_file);
    if (c.old_marker) write_file(folder.path() / "DURVA.OLD", "");

    // The script: nothing during the timed waits, then one key for a line
    // shown on row 24 (none is left over when no line is shown).
    HeadlessSession h;
    h.terminal.silence(c.waited_ms);
    if (c.row24) h.terminal.push('x');
    const std::int64_t start = h.clock.now_ms();
    if (c.row24) {
        ERROR_DURVA(h.session);
        EXPECT_EQ(h.terminal.steps_left(), 0u);
        std::string expected = *c.row24;
        expected.resize(79, ' ');
        EXPECT_EQ(h.text(24, 0, 79), expected);
    } else {
        ERROR_DURVA(h.session);
        EXPECT_EQ(h.text(24, 0, 80), std::string(80, ' ')) << "no input line is shown";
    }
    EXPECT_EQ(h.clock.now_ms() - start, c.waited_ms);
    EXPECT_NE(row_text(h, 17).find(c.message), std::string::npos) << row_text(h, 17);
    // The report changes nothing.
    EXPECT_EQ(read_file(folder.path() / "durva" / "error.txt"), c.error_file);
    EXPECT_EQ(read_file(folder.path() / "durva" / "data_in.txt"), kInput);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ErrorReport,
    ::testing::Values(
        ReportCase{"CodeZero", "0;0;OK\r\n", false, "Wszystko dobrze", std::nullopt, 3000},
        ReportCase{"NegativeCode", "-3;2;uwaga\r\n", false, "Wszystko dobrze", std::nullopt, 3000},
        ReportCase{"TextCode", "OK;2;\r\n", false, "Wszystko dobrze", std::nullopt, 3000},
        ReportCase{"NoSemicolon", "5 blad bez pol\r\n", false, "Wszystko dobrze", std::nullopt, 3000},
        ReportCase{"ErrorLineCountedFromFirstRecord", "5;2;Bledna cena\r\n", false, "5;2;Bledna cena",
                   "P;2;KAWA;1299;A;01;", 1000},
        ReportCase{"ErrorLineWithOldMarker", "5;2;Bledna cena\r\n", true, "5;2;Bledna cena",
                   "P;1;CUKIER;250;A;01;", 1000},
        ReportCase{"LeadingBlanks", "  7;  1;x", false, "  7;  1;x", "P;1;CUKIER;250;A;01;", 1000},
        ReportCase{"ControlLineWithOldMarker", "1;1;", true, "1;1;", "S;I;1; ; ;", 1000},
        ReportCase{"EmptySecondField", "5;;brak numeru", false, "5;;brak numeru", std::nullopt, 1000},
        ReportCase{"NoSecondSemicolon", "5;2", false, "5;2", std::nullopt, 1000},
        ReportCase{"LineBeyondTheFile", "5;99;", false, "5;99;", std::nullopt, 1000},
        ReportCase{"LineZeroAfterAdjustment", "5;-1;", false, "5;-1;", std::nullopt, 1000},
        ReportCase{"LineZeroWithOldMarker", "5;0;", true, "5;0;", std::nullopt, 1000},
        ReportCase{"FirstThirtyFiveCharacters",
                   "9;3;Blad transmisji z kasa na porcie COM1 - sprawdz kabel", false,
                   "9;3;Blad transmisji z kasa na porci", "P;3;MAKA;349;B;02;", 1000},
        // The second field is looked for only in the 30 characters after the first ";".
        ReportCase{"SecondSemicolonTooFar", "4;" + std::string(30, '1') + ";", false, "4;1111", std::nullopt, 1000},
        ReportCase{"GarbageWithoutNumber", std::string("\x01\xff\x80;\x1a\x00\xfe;", 8), false, "Wszystko dobrze",
                   std::nullopt, 3000},
        ReportCase{"GarbageAfterErrorCode", std::string("8;\xff\x00\x91\x9c\x01", 7), false, "8;", std::nullopt, 1000},
        ReportCase{"HugeNumbers", "99999999999999999999;99999999999999999999;", false, "99999999999999999999;",
                   std::nullopt, 1000}),
    [](const ::testing::TestParamInfo<ReportCase>& p) { return std::string(p.param.name); });

TEST(ErrorReportMissing, NoErrorFileIsSaidUntilAKey) {
    test::TempFolder folder;
    test::CurrentFolder here(folder.path());
    write_file(folder.path() / "durva" / "data_in.txt", kInput);
    HeadlessSession look;
    EXPECT_THROW(ERROR_DURVA(look.session), platform::ScriptExhausted);  // it waits for a key
    EXPECT_NE(look.text(17, 0, 80).find("Sterownik nie zostawil pliku error.txt"), std::string::npos);

    HeadlessSession h({'x'});
    ERROR_DURVA(h.session);
    EXPECT_EQ(h.terminal.steps_left(), 0u);
    EXPECT_FALSE(std::filesystem::exists(folder.path() / "durva" / "error.txt"));
}

TEST(ErrorReportMissing, EmptyErrorFileIsNoSuccess) {
    test::TempFolder folder;
    test::CurrentFolder here(folder.path());
    write_file(folder.path() / "durva" / "error.txt", "");
    HeadlessSession look;
    EXPECT_THROW(ERROR_DURVA(look.session), platform::ScriptExhausted);
    const std::string row = look.text(17, 0, 80);
    EXPECT_NE(row.find("Pusty plik error.txt"), std::string::npos) << row;
    EXPECT_EQ(row.find("Wszystko dobrze"), std::string::npos);
}

TEST(ErrorReportMissing, UpperCaseErrorFileIsFound) {
    test::TempFolder folder;
    test::CurrentFolder here(folder.path());
    write_file(folder.path() / "DURVA" / "ERROR.TXT", "0;0;");
    HeadlessSession h;
    ERROR_DURVA(h.session);
    EXPECT_NE(h.text(17, 0, 80).find("Wszystko dobrze"), std::string::npos);
}

TEST(ErrorReportKeys, AKeyEndsTheWaitsEarly) {
    test::TempFolder folder;
    test::CurrentFolder here(folder.path());
    write_file(folder.path() / "durva" / "data_in.txt", kInput);
    write_file(folder.path() / "durva" / "error.txt", "0;0;");
    HeadlessSession ok({ScriptStep::silence(500), 'a'});
    ERROR_DURVA(ok.session);
    EXPECT_EQ(ok.clock.now_ms(), 500);

    write_file(folder.path() / "durva" / "error.txt", "3;1;");
    // A key during the one-second message moves on to the line at once; the
    // line then waits for a key of its own.
    HeadlessSession err({'a', ScriptStep::silence(7000), 'b'});
    ERROR_DURVA(err.session);
    EXPECT_EQ(err.clock.now_ms(), 7000);
    EXPECT_EQ(err.text(24, 0, 21), "P;1;CUKIER;250;A;01; ");
}

// Lines of the input file as the line shower meets them.
struct LineCase {
    const char* name;
    std::string file;
    int line;
    std::optional<std::string> shown;
};

class InputLine : public ::testing::TestWithParam<LineCase> {};

TEST_P(InputLine, ShowsTheWantedLineOnRow24) {
    const LineCase& c = GetParam();
    test::TempFolder folder;
    test::CurrentFolder here(folder.path());
    write_file(folder.path() / "in.txt", c.file);
    HeadlessSession h;
    h.screen.say(24, 0, std::string(80, '#'));
    if (c.shown) h.terminal.push('x');
    EXPECT_TRUE(WIERSZ_III(h.session, "IN.TXT", c.line));
    EXPECT_EQ(h.terminal.steps_left(), 0u);
    if (c.shown) {
        std::string expected = *c.shown;
        expected.resize(79, ' ');
        EXPECT_EQ(h.text(24, 0, 79), expected);
        EXPECT_EQ(h.text(24, 79, 1), " ");  // the whole row was cleared
    } else {
        EXPECT_EQ(h.text(24, 0, 80), std::string(80, '#'));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, InputLine,
    ::testing::Values(
        LineCase{"First", "AB\r\nCD\r\n", 1, "AB"}, LineCase{"Second", "AB\r\nCD\r\n", 2, "CD"},
        LineCase{"PastTheEnd", "AB\r\nCD\r\n", 3, std::nullopt},
        LineCase{"Zero", "AB\r\nCD\r\n", 0, std::nullopt},
        LineCase{"Negative", "AB\r\nCD\r\n", -4, std::nullopt},
        LineCase{"EmptyLine", "AB\r\n\r\nCD\r\n", 2, ""},
        LineCase{"CutAt79", "X\r\n" + std::string(79, 'a') + "bcd\r\n", 2, std::string(79, 'a')},
        LineCase{"LastLineWithoutLineEnd", "AB\r\nCD", 2, "CD"},
        LineCase{"LoneLineFeedIsNoLineEnd", "AB\nCD\r\nEF\r\n", 2, "EF"},
        // A line longer than the line reader's 750-byte window counts as one line.
        LineCase{"AfterAVeryLongLine", "S;I;1; ; ;\r\n" + std::string(2000, 'Z') + "\r\nP;2;KAWA\r\n", 3, "P;2;KAWA"},
        LineCase{"VeryLongLineItself", "S\r\n" + std::string(1000, 'Q') + "\r\nT\r\n", 2, std::string(79, 'Q')},
        LineCase{"EmptyFile", "", 1, std::nullopt}),
    [](const ::testing::TestParamInfo<LineCase>& p) { return std::string(p.param.name); });

TEST(InputLineMissing, AMissingFileShowsNothing) {
    test::TempFolder folder;
    test::CurrentFolder here(folder.path());
    HeadlessSession h;
    EXPECT_TRUE(WIERSZ_III(h.session, "DURVA\\DATA_IN.TXT", 1));
    EXPECT_EQ(h.text(24, 0, 80), std::string(80, ' '));
}

}  // namespace durva::testing
