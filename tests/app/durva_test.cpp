#include "app/durva.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "app/defaults.h"
#include "common/error_handler.h"
#include "common/mem_file.h"
#include "common/screen/screen.h"
#include "platform/headless_terminal.h"
#include "support/current_folder.h"
#include "support/fixture_folder.h"

namespace durva {
namespace {

namespace fs = std::filesystem;

std::string read_file(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void write_file(const fs::path& p, std::string_view bytes) {
    std::ofstream(p, std::ios::binary) << bytes;
}

bool holds_false(const Memvars& vars, std::string_view name) {
    const MemValue* v = vars.find(name);
    return v && std::holds_alternative<bool>(*v) && !std::get<bool>(*v);
}

std::string fixture_parametr() { return read_file(fs::path(DURVA_FIXTURES) / "kod13" / "PARAMETR.MEM"); }

// One program run on the headless terminal.
struct ProgramRun {
    explicit ProgramRun(std::initializer_list<platform::ScriptStep> keys = {}) : term(clock, keys) {}
    platform::TestClock clock;
    platform::HeadlessTerminal term;
    screen::Screen scr{term, clock};
    Session s{clock, scr};

    int main(const StartupStages& stages = {}, std::string_view argument = {}) {
        return MAIN(s, argument, stages);
    }
    std::string row(int r) const { return scr.text(r, 0, 80); }
};

std::string padded(std::string_view text) {
    std::string row(text);
    row.resize(80, ' ');
    return row;
}

class StartUp : public ::testing::Test {
protected:
    test::TempFolder folder;
    test::CurrentFolder here{folder.path()};
};

TEST_F(StartUp, FreshFolderEndsWithTheClosingLineAndANewParameterFile) {
    ProgramRun run;
    EXPECT_EQ(run.main(), 0);

    EXPECT_EQ(run.row(0), padded(""));
    EXPECT_EQ(run.row(1), padded("Koniec pracy programu DURVA"));
    for (int r = 2; r < screen::kRows; ++r) EXPECT_EQ(run.row(r), padded("")) << r;
    EXPECT_EQ(run.term.shown_row_utf8(1), padded("Koniec pracy programu DURVA"));
    EXPECT_EQ(run.scr.cell(1, 0).attr, 0x07);
    EXPECT_TRUE(run.term.cursor_visible());

    // The file is created under its lower-case name with exactly the settings.
    ASSERT_TRUE(fs::exists(folder.path() / "parametr.mem"));
    EXPECT_FALSE(fs::exists(folder.path() / "PARAMETR.MEM"));
    const std::string bytes = read_file(folder.path() / "parametr.mem");
    Memvars defaults;
    create_settings(defaults);
    EXPECT_EQ(bytes, encode_mem(defaults, "J_"));
    Memvars stored;
    MemFileResult r = decode_mem(bytes, stored);
    EXPECT_TRUE(r.ok()) << r.problem;
    EXPECT_EQ(r.variables, 75);
    EXPECT_TRUE(holds_false(stored, "J_ZAOKRAGL"));
    EXPECT_EQ(bytes.back(), '\x1A');
}

TEST_F(StartUp, ProgramWideValuesAtStart) {
    ProgramRun run;
    run.clock.set_local_time({2024, 2, 29, 8, 30, 0});
    run.main();
    EXPECT_EQ(run.s.values.PLIK, "rob\\wydruk00.prn");  // no station before the sign-in exists
    EXPECT_EQ(run.s.values.M_SD, "SD ");
    EXPECT_EQ(run.s.values.M_NR, " ");
    EXPECT_TRUE(run.s.values.JEST_KOD13);
    EXPECT_EQ(run.s.values.M_DATA, Date::from_ymd(2024, 2, 29));
    for (std::string_view name : kUnassignedWorkingVariables) {
        EXPECT_TRUE(holds_false(run.s.vars, name)) << name;
    }
    // Only the settings go to the parameter file.
    Memvars stored;
    EXPECT_EQ(decode_mem(read_file(folder.path() / "parametr.mem"), stored).variables, 75);
    EXPECT_FALSE(stored.has("M_ODB"));
}

TEST_F(StartUp, WaitingWindowIsOnScreenWhenTheStagesRun) {
    ProgramRun run;
    std::vector<std::string> seen;
    bool cursor_shown = false;
    StartupStages stages;
    stages.IN_NET = [&](Session& s) {
        seen.push_back(s.screen.text(17, 31, 41));
        seen.push_back(s.screen.text(15, 30, 1) + s.screen.text(19, 72, 1));
        seen.push_back(s.screen.text(0, 0, 80));
        cursor_shown = s.screen.cursor_visible();
        return 1;
    };
    run.main(stages);
    ASSERT_EQ(seen.size(), 3u);
    // 41 inner columns, 13 characters: the text starts 14 columns in.
    EXPECT_EQ(seen[0], std::string(14, ' ') + "PROSZE CZEKAC" + std::string(14, ' '));
    EXPECT_EQ(seen[1], "\xC9\xBC");  // the double frame's corners
    EXPECT_EQ(seen[2], padded(""));
    EXPECT_TRUE(cursor_shown);
}

TEST_F(StartUp, SecondRunRestoresTheFileAndLeavesItAsItIs) {
    {
        ProgramRun first;
        first.main();
    }
    // Another program of the office changes the shared file between runs.
    Memvars changed;
    decode_mem(read_file(folder.path() / "parametr.mem"), changed);
    changed.set_number("J_POZIOM", 3);
    changed.set_text("J_PTUA", "23");
    write_file(folder.path() / "parametr.mem", encode_mem(changed, "J_"));
    const std::string before = read_file(folder.path() / "parametr.mem");

    ProgramRun second;
    EXPECT_EQ(second.main(), 0);
    EXPECT_EQ(second.s.vars.number("J_POZIOM"), 3);
    EXPECT_EQ(second.s.vars.text("J_PTUA"), "23");
    EXPECT_EQ(second.s.vars.text("J_NAZWA"), " OBS\x9C" "UGA HURTOWNI ");
    EXPECT_EQ(read_file(folder.path() / "parametr.mem"), before);
    EXPECT_EQ(second.row(1), padded("Koniec pracy programu DURVA"));
}

TEST_F(StartUp, UpperCaseFileOfTheOtherProgramsIsRestoredNotReplaced) {
    write_file(folder.path() / "PARAMETR.MEM", fixture_parametr());
    ProgramRun run;
    run.main();
    EXPECT_FALSE(fs::exists(folder.path() / "parametr.mem"));
    EXPECT_EQ(read_file(folder.path() / "PARAMETR.MEM"), fixture_parametr());
    const Memvars& v = run.s.vars;
    EXPECT_EQ(v.number("J_POZIOM"), 3);
    EXPECT_TRUE(v.logical("J_ZAOKRAGL"));
    EXPECT_EQ(v.number("J_PROC"), 12.5);
    EXPECT_EQ(v.date("J_DATA_Z"), Date::from_ymd(2016, 3, 1));
    EXPECT_EQ(v.text("J_PTUD"), " 0");
    EXPECT_EQ(v.text("J_RD"), "FV ");  // not in the file: the default stays
    int settings = 0;
    for (const auto& e : v.entries()) settings += e.first.starts_with("J_");
    EXPECT_EQ(settings, 75 + 9);  // seven VAT rates, J_PROC and J_DATA_Z come in
}

TEST_F(StartUp, DamagedParameterFileIsShownKeptAndNotOverwritten) {
    const std::string damaged = fixture_parametr().substr(0, 0x1E0);  // cut inside J_PAPIER
    write_file(folder.path() / "PARAMETR.MEM", damaged);
    {
        ProgramRun waiting;  // no key: the message waits for one
        EXPECT_THROW(waiting.main(), platform::ScriptExhausted);
        EXPECT_NE(waiting.row(17).find("PARAMETR.MEM: urwana zmienna nr 14"), std::string::npos)
            << waiting.row(17);
    }
    ProgramRun run({'x'});
    EXPECT_EQ(run.main(), 0);
    EXPECT_EQ(run.s.vars.number("J_POZIOM"), 3);   // read before the cut
    EXPECT_EQ(run.s.vars.number("J_PAPIER"), 10);  // the default
    EXPECT_EQ(run.s.vars.text("J_NAZWA"), " OBS\x9C" "UGA HURTOWNI ");
    EXPECT_FALSE(run.s.vars.has("J_DATA_Z"));
    EXPECT_EQ(read_file(folder.path() / "PARAMETR.MEM"), damaged);
    EXPECT_FALSE(fs::exists(folder.path() / "parametr.mem"));
    EXPECT_EQ(run.row(1), padded("Koniec pracy programu DURVA"));
}

TEST_F(StartUp, ArgumentChangesNothing) {
    ProgramRun plain;
    plain.main();
    const std::string file = read_file(folder.path() / "parametr.mem");
    fs::remove(folder.path() / "parametr.mem");
    ProgramRun with_argument;
    EXPECT_EQ(with_argument.main({}, "16"), 0);
    EXPECT_EQ(read_file(folder.path() / "parametr.mem"), file);
    for (int r = 0; r < screen::kRows; ++r) EXPECT_EQ(with_argument.row(r), plain.row(r)) << r;
    EXPECT_EQ(with_argument.s.values.PLIK, plain.s.values.PLIK);
}

TEST_F(StartUp, StagesRunInOrderAndTheStationNamesThePrintFile) {
    ProgramRun run;
    std::vector<std::string> calls;
    std::string plik_in_menu, sd_in_menu;
    write_file(folder.path() / "SD_DURVA.TXT", "RD ");
    StartupStages stages;
    stages.IN_NET = [&](Session&) { calls.push_back("IN_NET"); return 3; };
    stages.INIT_DBF = [&](Session&) { calls.push_back("INIT_DBF"); return true; };
    stages.DURVA_ = [&](Session& s) {
        calls.push_back("DURVA_");
        plik_in_menu = s.values.PLIK;
        sd_in_menu = s.values.M_SD;
        s.screen.say(5, 5, "MENU");
    };
    stages.OUT_NET = [&](Session&) { calls.push_back("OUT_NET"); };
    EXPECT_EQ(run.main(stages), 0);
    EXPECT_EQ(calls, (std::vector<std::string>{"IN_NET", "INIT_DBF", "DURVA_", "OUT_NET"}));
    EXPECT_EQ(run.s.values.STACJA, 3);
    EXPECT_EQ(plik_in_menu, "rob\\wydruk03.prn");
    EXPECT_EQ(sd_in_menu, "RD ");
    EXPECT_EQ(run.row(5), padded(""));  // the menu is gone, only the closing line stays
    EXPECT_EQ(run.row(1), padded("Koniec pracy programu DURVA"));
}

TEST_F(StartUp, RefusedSignInEndsAtOnceAndLeavesItsMessage) {
    ProgramRun run;
    std::vector<std::string> calls;
    StartupStages stages;
    stages.IN_NET = [&](Session& s) {
        calls.push_back("IN_NET");
        s.screen.say(10, 0, "Brak wolnej stacji");
        return 0;
    };
    stages.INIT_DBF = [&](Session&) { calls.push_back("INIT_DBF"); return true; };
    stages.DURVA_ = [&](Session&) { calls.push_back("DURVA_"); };
    stages.OUT_NET = [&](Session&) { calls.push_back("OUT_NET"); };
    EXPECT_EQ(run.main(stages), 0);
    EXPECT_EQ(calls, std::vector<std::string>{"IN_NET"});
    EXPECT_EQ(run.row(10), padded("Brak wolnej stacji"));
    EXPECT_EQ(run.row(1).find("Koniec"), std::string::npos);
}

TEST_F(StartUp, FailedTableOpeningSignsOutAndEnds) {
    ProgramRun run;
    std::vector<std::string> calls;
    StartupStages stages;
    stages.IN_NET = [&](Session&) { calls.push_back("IN_NET"); return 2; };
    stages.INIT_DBF = [&](Session& s) {
        calls.push_back("INIT_DBF");
        s.screen.say(12, 0, "Brak pliku firma.dbf");
        return false;
    };
    stages.DURVA_ = [&](Session&) { calls.push_back("DURVA_"); };
    stages.OUT_NET = [&](Session&) { calls.push_back("OUT_NET"); };
    EXPECT_EQ(run.main(stages), 0);
    EXPECT_EQ(calls, (std::vector<std::string>{"IN_NET", "INIT_DBF", "OUT_NET"}));
    EXPECT_EQ(run.row(12), padded("Brak pliku firma.dbf"));
}

TEST_F(StartUp, ParameterFileThatCannotBeCreatedGoesToTheErrorHandler) {
    fs::create_directory(folder.path() / "parametr.mem");  // in the way of the new file
    auto shows_the_file = [](const ProgramRun& run) {
        for (int r = 0; r < screen::kRows; ++r)
            if (run.row(r).find("parametr.mem") != std::string::npos) return true;
        return false;
    };
    {
        ProgramRun retrying({'T'});  // try again: the error comes back and waits
        EXPECT_THROW(retrying.main(), platform::ScriptExhausted);
        EXPECT_TRUE(shows_the_file(retrying));
    }
    ProgramRun ending({'N'});
    bool signed_in = false;
    StartupStages stages;
    stages.IN_NET = [&](Session&) { signed_in = true; return 1; };
    EXPECT_EQ(ending.main(stages), 0);
    EXPECT_FALSE(signed_in);
    EXPECT_EQ(ending.term.steps_left(), 0u);
    EXPECT_EQ(ending.row(1).find("Koniec"), std::string::npos);
}

TEST(StartUpEnd, OperatorEndingFromTheErrorHandlerClosesTheTables) {
    test::TempFolder folder("kod13");
    test::CurrentFolder here(folder.path());
    ProgramRun run;
    bool signed_out = false;
    StartupStages stages;
    stages.INIT_DBF = [&](Session& s) {
        s.areas.select(1);
        s.areas.use("firma", "firma");
        return true;
    };
    stages.DURVA_ = [&](Session& s) {
        s.screen.say(3, 0, "Blad w menu");
        throw ProgramEnd();
    };
    stages.OUT_NET = [&](Session&) { signed_out = true; };
    EXPECT_EQ(run.main(stages), 0);
    EXPECT_FALSE(run.s.areas.used(1));
    EXPECT_FALSE(signed_out);
    EXPECT_EQ(run.row(3), padded("Blad w menu"));
}

TEST(SalesDocumentType, ChosenFromTheFilesText) {
    const std::pair<std::string_view, std::string_view> cases[] = {
        {"RD ", "RD "},
        {"  FV", "FV "},
        {"sd", "SD "},
        {"XYZ", "SD "},
        {"", "SD "},
        {" \t\r\n ", "SD "},
        {"FV\r\n", "FV "},      // an editor's line end does not become part of the type
        {"R\t\r\n", "R  "},
        {"\r\n\tRD\r\n\r\n", "RD "},
        {"SDX more text", "SDX"},
        {"F\r\nX", "F\r\n"},    // only the ends are trimmed
        {"\x1A", "SD "},
    };
    for (const auto& [text, type] : cases) EXPECT_EQ(sales_document_type(text), type) << '"' << text << '"';
}

TEST_F(StartUp, SalesDocumentTypeFile) {
    EXPECT_EQ(read_sales_document_type(), "SD ");
    write_file(folder.path() / "sd_durva.txt", "FV\r\n");
    EXPECT_EQ(read_sales_document_type(), "FV ");
    write_file(folder.path() / "sd_durva.txt", "");
    EXPECT_EQ(read_sales_document_type(), "SD ");
    fs::remove(folder.path() / "sd_durva.txt");
    fs::create_directory(folder.path() / "SD_DURVA.TXT");
    EXPECT_EQ(read_sales_document_type(), "SD ");
    fs::remove(folder.path() / "SD_DURVA.TXT");
    write_file(folder.path() / "SD_DURVA.TXT", std::string(200000, ' ') + "RD");
    EXPECT_EQ(read_sales_document_type(), "SD ");  // beyond what a type file can hold
}

}  // namespace
}  // namespace durva
