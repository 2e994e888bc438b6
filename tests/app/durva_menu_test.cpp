#include "app/durva_menu.h"

#include "app/durva.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "common/_fun3.h"
#include "common/dbf/dbf_file.h"
#include "common/error_handler.h"
#include "platform/file.h"
#include "platform/path_resolver.h"
#include "registers/register_table.h"
#include "support/current_folder.h"
#include "support/fixture_folder.h"
#include "support/headless_session.h"

namespace durva::testing {
namespace {

namespace fs = std::filesystem;

constexpr std::uint8_t kDefault = 0x07, kBrightWhite = 0x0F, kBlackOnWhite = 0x70;

std::string padded(std::string text, std::size_t width = 80) {
    text.resize(width, ' ');
    return text;
}

std::string read_file(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void write_file(const fs::path& p, std::string_view bytes) {
    fs::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << bytes;
}

// A stand-in for the driver: notes its arguments and reports success.
void write_recording_driver(const fs::path& folder) {
    const fs::path p = folder / "durvadrv.exe";
    write_file(p, "#!/bin/sh\necho \"$@\" > driver_args.txt\nprintf '0;0;Wszystko' > durva/error.txt\n");
    ::chmod(p.c_str(), 0755);
}

class MainMenu : public ::testing::Test {
protected:
    test::TempFolder folder;
    test::CurrentFolder here{folder.path()};
    HeadlessSession h;
    MenuValues m;

    // Runs the menu with the keys; nullopt when it was still waiting for a key
    // when they ran out.
    std::optional<bool> run(std::initializer_list<platform::ScriptStep> keys = {}) {
        h.terminal.push_keys(keys);
        try {
            return DURVA_(h.session, m);
        } catch (const platform::ScriptExhausted&) {
            return std::nullopt;
        }
    }
    bool row_holds(int row, std::string_view text) const {
        return h.text(row, 0, 80).find(text) != std::string::npos;
    }
    bool window_holds(std::string_view text) const {
        for (int r = 15; r <= 19; ++r)
            if (row_holds(r, text)) return true;
        return false;
    }
    dbf::Table& registers() { return h.session.areas.table(kRegisterArea); }
};

TEST_F(MainMenu, ScreenRowByRow) {
    ASSERT_FALSE(run().has_value());  // looked at while it waits for a choice

    EXPECT_EQ(h.text(0, 0, 80), padded(std::string(kBannerLines[0])));
    EXPECT_EQ(h.text(1, 0, 80), padded(std::string(kBannerLines[1])));
    EXPECT_TRUE(h.all_attr(0, 0, 80, kDefault));
    EXPECT_TRUE(h.all_attr(1, 0, 80, kDefault));
    EXPECT_EQ(h.text(2, 0, 80), padded(""));

    // The frame over rows 3 to 14, columns 9 to 61, in bright white.
    EXPECT_EQ(h.utf8(3, 9, 53), "│    KASA DURVA" + std::string(37, ' ') + "│");
    EXPECT_EQ(h.attr(3, 10), kDefault);
    EXPECT_EQ(h.attr(3, 9), kBrightWhite);
    std::string band, line;
    for (int i = 0; i < 51; ++i) band += "▀", line += "─";
    EXPECT_EQ(h.utf8(4, 9, 53), "│" + band + "│");
    for (int row : {6, 9, 12}) EXPECT_EQ(h.utf8(row, 9, 53), "│" + line + "│") << row;
    EXPECT_EQ(h.utf8(14, 9, 53), "└" + line + "┘");
    EXPECT_TRUE(h.all_attr(14, 9, 53, kBrightWhite));
    EXPECT_TRUE(h.all_attr(4, 10, 51, kBrightWhite));

    // The items at column 10, 51 wide; the send item highlighted.
    const int rows[] = {5, 7, 8, 10, 11, 13};
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(h.text(rows[i], 10, 51), padded(std::string(kMenuItems[i]), 51)) << rows[i];
        EXPECT_TRUE(h.all_attr(rows[i], 10, 51, i == 1 ? kBlackOnWhite : kDefault)) << rows[i];
    }
    EXPECT_EQ(h.text(7, 10, 30), "*1. Przes\x9C" "anie danych do kasy ");

    // The status line in bright white, the line under it, the key line.
    std::string status = padded("01 Stoisko 1");
    status[31] = '1';
    EXPECT_EQ(h.text(22, 0, 80), status);
    EXPECT_TRUE(h.all_attr(22, 0, 80, kBrightWhite));
    EXPECT_EQ(h.utf8(23, 0, 3), "───");
    EXPECT_EQ(h.utf8(23, 79, 1), "─");
    EXPECT_TRUE(h.all_attr(23, 0, 80, kDefault));
    EXPECT_EQ(h.text(24, 0, 80), "Enter - Wybor" + std::string(16, ' ') + "F3 - Dziennik odczytow" +
                                     std::string(16, ' ') + "Esc - Wyjscie");
    EXPECT_TRUE(h.all_attr(24, 0, 80, kDefault));
    EXPECT_EQ(h.terminal.cursor_row(), 7);
    EXPECT_EQ(h.terminal.cursor_col(), 10);
}

TEST_F(MainMenu, NewInstallationThenEscClosesTheRegisterTable) {
    h.session.areas.select(7);
    EXPECT_EQ(run({Key::Esc}), true);
    EXPECT_TRUE(FILE_X("durva\\durva.DBF"));
    EXPECT_EQ(h.session.areas.find(kRegisterArea), nullptr);
    EXPECT_EQ(h.session.areas.current(), 7);
    EXPECT_EQ(m.NR_KASY, "01");
    EXPECT_EQ(m.OPIS.substr(0, 9), "Stoisko 1");
    EXPECT_EQ(m.PORT, 1);
    EXPECT_EQ(m.PREDKOSC, 9600);
    // Another station can have the table now.
    HeadlessSession other;
    ASSERT_TRUE(prepare_register_table(other.session));
    EXPECT_EQ(other.session.areas.table(kRegisterArea).record_count(), 17u);
}

TEST_F(MainMenu, ASecondStationIsRefusedWhileTheFirstIsInTheMenu) {
    HeadlessSession first;
    ASSERT_TRUE(prepare_register_table(first.session));
    EXPECT_EQ(run(), true);  // no key needed: it never reaches the menu
    EXPECT_EQ(h.text(3, 10, 14), std::string(14, ' '));
    EXPECT_EQ(h.clock.now_ms(), 2000);  // a second of retries, a second of message
}

TEST_F(MainMenu, DamagedRegisterTableGoesToTheErrorHandler) {
    write_file(folder.path() / "durva" / "durva.dbf", std::string(40, '\xFF'));
    EXPECT_THROW(run({'N'}), ProgramEnd);
    bool shown = false;
    for (int r = 8; r <= 15; ++r) shown = shown || row_holds(r, "BLAD");
    EXPECT_TRUE(shown);
}

TEST_F(MainMenu, DigitsChooseOnlyTheUnmarkedItems) {
    // "1" and "5" choose nothing; "*" the first marked item, the send, whose
    // options screen then waits; "0" the stand browser.
    ASSERT_FALSE(run({'1', '5', '*'}).has_value());
    EXPECT_EQ(h.text(5, 10, 3), "Rd:");
    EXPECT_EQ(m.WYBOR, 2);
    h.session.areas.close(kRegisterArea);
    ASSERT_FALSE(run({'0'}).has_value());
    EXPECT_EQ(h.text(0, 0, 22), " Wybor kasy, parametry");
}

TEST_F(MainMenu, ChoiceIsRememberedForTheNextScreen) {
    // The PLU deletion, abandoned in its mode menu.
    write_recording_driver(folder.path());
    ASSERT_FALSE(run({Key::Down, Key::Down, Key::Down, Key::Down, Key::Enter, Key::Enter, Key::Esc}).has_value());
    EXPECT_EQ(m.WYBOR, 6);
    EXPECT_TRUE(h.all_attr(13, 10, 51, kBlackOnWhite));  // "*5." highlighted again
    EXPECT_TRUE(h.all_attr(7, 10, 51, kDefault));
}

TEST_F(MainMenu, StandChosenUnderItemZeroIsOnTheStatusLine) {
    ASSERT_FALSE(run({'0', Key::Down, Key::Down, Key::Down, Key::Down, Key::F4, Key::Enter, '5', Key::Enter,
                      Key::Enter, 'k', Key::Enter, Key::Enter})
                     .has_value());
    EXPECT_EQ(m.NR_KASY, "05");
    EXPECT_EQ(m.PORT, 5);
    EXPECT_EQ(m.PS_MAG, "K");
    std::string status = padded("05");
    status[31] = '5';
    status.replace(43, 11, "K - magazyn");
    EXPECT_EQ(h.text(22, 0, 80), status);
    EXPECT_EQ(m.WYBOR, 1);
}

TEST_F(MainMenu, KeysTypedAheadForTheStandBrowserStayThere) {
    // "0", Down and Enter typed in one go choose stand 02, and the menu
    // stands again waiting for a key of its own.
    h.terminal.set_keys_typed_ahead(true);
    ASSERT_FALSE(run({'0', Key::Down, Key::Enter}).has_value());
    EXPECT_EQ(m.NR_KASY, "02");
    EXPECT_EQ(h.text(3, 10, 14), "    KASA DURVA");
    EXPECT_EQ(h.text(22, 0, 3), "02 ");
}

TEST_F(MainMenu, F3ShowsTheLastRunsNewestFirstAndTheMenuGoesOn) {
    h.session.values.STACJA = 3;
    // No log yet: said (the Enter takes the notice, not an item), and the menu waits on.
    EXPECT_EQ(run({Key::F3, Key::Enter, Key::Esc}), true);
    EXPECT_EQ(h.terminal.steps_left(), 0u);
    write_file(folder.path() / "durva" / "odczyt.log",
               "2026-12-06 22:00:01 kasa 01: pierwszy (kod 0)\r\n2026-12-07 06:00:02 kasa 02: drugi (kod 10)\r\n");
    // The editor over the menu, left with Esc; then the menu's own Esc.
    EXPECT_EQ(run({Key::F3, Key::Esc, Key::Esc}), true);
    EXPECT_EQ(read_file(folder.path() / "rob" / "odczyt03.prn"),
              "2026-12-07 06:00:02 kasa 02: drugi (kod 10)\r\n2026-12-06 22:00:01 kasa 01: pierwszy (kod 0)\r\n");
    EXPECT_EQ(h.terminal.steps_left(), 0u);
}

TEST_F(MainMenu, ItemFourDeletesTheSentRecordTableOnEnter) {
    struct Case {
        platform::ScriptStep answer;
        bool deleted;
    };
    for (const Case& c : {Case{Key::Enter, true}, Case{'t', true}, Case{'N', false}}) {
        write_file(folder.path() / "durva" / "as2000.dbf", "x");
        write_file(folder.path() / "durva" / "as2000.ntx", "x");
        EXPECT_EQ(run({'4', c.answer, Key::Esc}), true);
        EXPECT_EQ(FILE_X("durva\\as2000.dbf"), !c.deleted);
        EXPECT_EQ(FILE_X("durva\\as2000.ntx"), !c.deleted);
        EXPECT_EQ(h.terminal.steps_left(), 0u);
    }
    // Nothing to delete is no failure.
    EXPECT_EQ(run({'4', Key::Enter, Key::Esc}), true);
    EXPECT_FALSE(window_holds("Nie moge"));
}

TEST_F(MainMenu, ItemFourDeletesTheTableAndItsIndexOrNeither) {
    write_file(folder.path() / "durva" / "as2000.dbf", "x");
    write_file(folder.path() / "durva" / "as2000.ntx", "x");
    for (const char* held : {"durva\\as2000.dbf", "durva\\as2000.ntx"}) {
        SCOPED_TRACE(held);
        // Another program has the file open: neither goes, and the operator is told.
        auto other = platform::File::open(platform::resolve_path(held), platform::Share::Shared);
        EXPECT_FALSE(run({'4', Key::Enter}).has_value());  // the message waits for a key
        EXPECT_TRUE(window_holds("Nie moge skasowac"));
        h.session.areas.close(kRegisterArea);
        EXPECT_TRUE(FILE_X("durva\\as2000.dbf"));
        EXPECT_TRUE(FILE_X("durva\\as2000.ntx"));
    }
    EXPECT_EQ(run({'4', Key::Enter, Key::Esc}), true);
    EXPECT_FALSE(FILE_X("durva\\as2000.dbf"));
    EXPECT_FALSE(FILE_X("durva\\as2000.ntx"));
}

class MenuWithDriver : public MainMenu {
protected:
    void SetUp() override { write_recording_driver(folder.path()); }
    std::string driver_args() { return read_file(folder.path() / "driver_args.txt"); }
    // The company table in area 1 with its three name lines.
    void make_company_table() {
        dbf::FieldList fields;
        for (const char* name : {"NODB", "NODB1", "NODB2"}) {
            dbf::FieldDesc f;
            f.name = name;
            f.type = 'C';
            f.length = 30;
            fields.push_back(f);
        }
        auto file = dbf::DbfFile::create("firma.dbf", fields);
        std::string rec = file->blank_record();
        rec.replace(1, 11, "Hurtownia A");
        rec.replace(31, 8, "Warszawa");
        file->append_record(rec.data());
        file->close();
        h.session.areas.select(1);
        h.session.areas.use("firma", "firma");
    }
};

TEST_F(MenuWithDriver, DepartmentsAreWrittenShownAndSent) {
    ASSERT_EQ(run({'3', 't', Key::Enter, Key::Esc}), true);
    EXPECT_EQ(read_file(folder.path() / "durva" / "data_in.txt"),
              "S;D;1;1;7;\r\nH;1;01;Dzial 1;0;A;1000;00;\r\nH;1;02;Dzial 2;0;B;1000;00;\r\n"
              "H;1;03;Dzial 3;0;C;1000;00;\r\nH;1;04;Dzial 4;0;D;1000;00;\r\nH;1;05;Dzial 5;0;E;1000;00;\r\n"
              "H;1;06;Dzial 6;0;F;1000;00;\r\nH;1;07;Dzial 7;0;Z;1000;00;\r\n");
    EXPECT_EQ(m.AAA, "durvadrv.exe dp=durva if=data_in.txt cp=1 cs=9600");
    EXPECT_EQ(driver_args(), "dp=durva if=data_in.txt cp=1 cs=9600\n");
}

TEST_F(MenuWithDriver, PluDeletionTakesNoListThisReadOutDidNotWrite) {
    // Left by an earlier read-out, maybe of another register; this driver
    // run writes no list.
    write_file(folder.path() / "durva" / "data_out.txt", "P;1;5901234123457;CUKIER;370;C;03;\r\n");
    // Item 5; the read-out's report; mode 1; yes; the notice; Esc.
    ASSERT_EQ(run({Key::End, Key::Enter, Key::Enter, Key::Enter, 't', Key::Enter, Key::Esc}), true);
    EXPECT_EQ(read_file(folder.path() / "durva" / "data_in.txt"), "S;I;0; ; ;\r\n");
    EXPECT_EQ(h.terminal.steps_left(), 0u);
}

TEST_F(MenuWithDriver, DepartmentsWithTheWindowsMarkerStartAndWait) {
    write_file(folder.path() / "DURVAWIN.TXT", "");
    ASSERT_EQ(run({'3', 't', Key::Enter, Key::Esc}), true);
    EXPECT_EQ(m.AAA, "start /WAIT durvadrv.exe dp=durva if=data_in.txt cp=1 cs=9600");
    EXPECT_EQ(driver_args(), "dp=durva if=data_in.txt cp=1 cs=9600\n");
}

TEST_F(MenuWithDriver, DepartmentsEchoOnTheScreenUntilTheReport) {
    // The report's three seconds are cut short, so the echo is looked at.
    h.terminal.set_idle_limit_ms(2000);
    EXPECT_FALSE(run({'3', 't'}).has_value());
    // Written over what the rows held, as console output is.
    EXPECT_EQ(h.text(16, 0, 10), "S;D;1;1;7;");
    EXPECT_EQ(h.text(17, 0, 27), "H;1;01;Dzial 1;0;A;1000;00;");
    EXPECT_EQ(h.text(23, 0, 27), "H;1;07;Dzial 7;0;Z;1000;00;");
    EXPECT_EQ(h.text(24, 0, 80), padded(""));
    EXPECT_TRUE(window_holds("Wszystko dobrze"));
}

TEST_F(MenuWithDriver, DepartmentsNotAskedForAreNotSent) {
    ASSERT_EQ(run({'3', 'n', Key::Esc}), true);
    EXPECT_FALSE(fs::exists(folder.path() / "durva" / "data_in.txt"));
    EXPECT_FALSE(fs::exists(folder.path() / "driver_args.txt"));
}

TEST_F(MenuWithDriver, NonsensePortInTheTableIsNotSent) {
    // A damaged stand: port 0, the speed unreadable.
    {
        HeadlessSession prep;
        ASSERT_TRUE(prepare_register_table(prep.session));
        dbf::Table& t = prep.session.areas.table(kRegisterArea);
        t.put("PPORT", 0.0);
        prep.session.areas.close_all();
    }
    ASSERT_FALSE(run({'3'}).has_value());
    EXPECT_TRUE(window_holds("Bledny port lub predkosc kasy 01"));
    EXPECT_FALSE(fs::exists(folder.path() / "driver_args.txt"));
}

TEST_F(MenuWithDriver, SalesReadOutAsksForTheDateAndRunsTheDriver) {
    h.session.values.HH = "26\\12";
    h.clock.set_local_time({2026, 12, 7, 10, 0, 0});
    make_company_table();
    // At the question: the company banner and the date.
    ASSERT_FALSE(run({Key::Down, Key::Enter}).has_value());
    EXPECT_EQ(h.text(0, 19, 26), "Jestes w programie firmy :");
    EXPECT_TRUE(h.all_attr(0, 19, 26, 0x0C));
    EXPECT_EQ(h.text(1, 19, 26), std::string(26, '\xCD'));
    EXPECT_TRUE(h.all_attr(1, 19, 26, 0x0C));
    EXPECT_EQ(h.attr(0, 50), 0x8C);  // the company lines blink in bright red
    EXPECT_TRUE(window_holds("Odebrac sprzedaz z data 07.12.2026 ?"));

    h.session.areas.close(kRegisterArea);
    ASSERT_EQ(run({Key::Down, Key::Enter, 't', Key::Enter, Key::Enter, Key::Esc}), true);
    EXPECT_EQ(read_file(folder.path() / "durva" / "data_in.txt"), "S;U;2; ; ;\r\n");
    EXPECT_EQ(m.AAA, "durvadrv.exe dp=durva if=data_in.txt af=T cp=1 ct=20000 cs=9600");
    EXPECT_EQ(driver_args(), "dp=durva if=data_in.txt af=T cp=1 ct=20000 cs=9600\n");
    EXPECT_EQ(h.session.values.M_DATA, Date::from_ymd(2026, 12, 7));
}

TEST_F(MenuWithDriver, SalesFileLeftOverIsImportedWithoutAskingAndKeptWhileItCannotBeBooked) {
    write_file(folder.path() / "durva" / "data_out.xxx", "01;123;Chleb;250;1000;\r\n");
    ASSERT_FALSE(run({Key::Down, Key::Enter}).has_value());
    EXPECT_TRUE(window_holds("Tabele firmy nie sa otwarte"));  // none in this folder: the file is named
    EXPECT_EQ(h.clock.now_ms(), 1000);  // after "Wczytuje: durva\data_out.xxx" for its second
    h.session.areas.close(kRegisterArea);
    ASSERT_EQ(run({Key::Down, Key::Enter, ScriptStep::silence(1000), Key::Enter, Key::Esc}), true);
    // Nothing could book it: it stays for a run that can, and the register
    // is not read out over it.
    EXPECT_EQ(read_file(folder.path() / "durva" / "data_out.xxx"), "01;123;Chleb;250;1000;\r\n");
    EXPECT_FALSE(fs::exists(folder.path() / "driver_args.txt"));
}

TEST_F(MenuWithDriver, SalesDateRefusedSoundsAndSendsNothing) {
    h.session.values.HH = "26\\12";
    ASSERT_EQ(run({Key::Down, Key::Enter, 'n', ' ', Key::Esc}), true);
    ASSERT_EQ(h.terminal.tones().size(), 1u);
    EXPECT_EQ(h.terminal.tones()[0].frequency_hz, 3000);
    EXPECT_EQ(h.terminal.tones()[0].duration_ms, 110);
    EXPECT_FALSE(fs::exists(folder.path() / "durva" / "data_in.txt"));
    EXPECT_FALSE(fs::exists(folder.path() / "driver_args.txt"));
}

TEST_F(MenuWithDriver, WarehousePromptWhenTheProgramNameSaysKod13) {
    h.session.vars.set_text("J_NAZWA", "Obsluga kod13");
    // At the prompt.
    ASSERT_FALSE(run({Key::Down, Key::Enter}).has_value());
    EXPECT_EQ(h.text(24, 0, 52), "Pobrac na magazyn:       albo     Pominac magazyn:  ");
    EXPECT_EQ(h.terminal.cursor_col(), 19);
    EXPECT_TRUE(h.terminal.cursor_visible());

    // A warehouse typed stays for the rest of the menu run.
    h.session.areas.close(kRegisterArea);
    ASSERT_FALSE(run({Key::Down, Key::Enter, 'k', Key::Enter, 'u', Key::Enter, 'n', ' '}).has_value());
    EXPECT_EQ(m.PS_MAG, "K");
    EXPECT_EQ(m.PS_MAG_NO, "U");
    EXPECT_EQ(h.text(22, 43, 11), "K - magazyn");
}

TEST_F(MenuWithDriver, EscAtTheWarehousePromptEndsTheRun) {
    h.session.vars.set_text("J_NAZWA", "KOD13");
    EXPECT_EQ(run({Key::Down, Key::Enter, Key::Esc}), false);
    EXPECT_FALSE(fs::exists(folder.path() / "driver_args.txt"));
}

TEST_F(MainMenu, CtrlCAndHeldKeysEndCleanly) {
    // Three hundred held arrow keys move the bar back to the send; Ctrl-C,
    // the page-down key, chooses it; Esc leaves its options, Esc the menu.
    for (int i = 0; i < 300; ++i) h.terminal.push(i % 2 ? Key::Down : Key::Up);
    ASSERT_EQ(run({3, Key::Esc, Key::Esc}), true);
    EXPECT_EQ(h.terminal.steps_left(), 0u);
}

TEST(SalesDate, TodayThePeriodsLastOrFirstDay) {
    struct Case {
        platform::LocalTime today;
        const char* HH;
        Date want;
    };
    const std::vector<Case> cases = {
        {{2026, 12, 7}, "26\\12", Date::from_ymd(2026, 12, 7)},
        {{2026, 12, 7}, "26\\11", Date::from_ymd(2026, 11, 30)},
        {{2027, 1, 2}, "26\\12", Date::from_ymd(2026, 12, 31)},
        {{2026, 12, 7}, "27\\01", Date::from_ymd(2027, 1, 1)},
        {{2024, 3, 1}, "24\\02", Date::from_ymd(2024, 2, 29)},
        {{1999, 12, 7}, "99\\12", Date::from_ymd(1999, 12, 7)},
        {{2026, 12, 7}, "", Date::from_ymd(2026, 12, 7)},       // no period: today
        {{2026, 12, 7}, "xx\\13", Date::from_ymd(2026, 12, 7)},  // a damaged one likewise
    };
    for (const Case& c : cases) EXPECT_EQ(sales_date(c.today, c.HH), c.want) << c.HH;
}

}  // namespace
}  // namespace durva::testing

namespace durva::testing {
namespace {

// The register simulator in the working folder, where the program looks first.
class MenuWithSimulator : public MainMenu {
protected:
    void SetUp() override {
        fs::create_symlink(fs::path(DURVA_BUILD_DIR) / "durvadrv.exe", folder.path() / "durvadrv.exe");
    }
};

TEST_F(MenuWithSimulator, DepartmentsReachTheRegister) {
    ASSERT_EQ(run({'3', 't', Key::Enter, Key::Esc}), true);
    EXPECT_EQ(read_file(folder.path() / "durva" / "error.txt").substr(0, 2), "0;");
    const std::string state = read_file(folder.path() / "durva" / "durvadrv_cp1.dat");
    EXPECT_NE(state.find("Dzial 1"), std::string::npos);
    EXPECT_NE(state.find("Dzial 7"), std::string::npos);
}

TEST_F(MenuWithSimulator, SalesReadOutIsKeptWhenNoCompanyTablesCanBookIt) {
    h.session.values.HH = "16\\03";
    ASSERT_EQ(run({Key::Down, Key::Enter, 't', Key::Enter, Key::Enter, Key::Esc}), true);
    EXPECT_EQ(read_file(folder.path() / "durva" / "error.txt").substr(0, 2), "0;");
    EXPECT_TRUE(fs::exists(folder.path() / "durva" / "data_out.xxx"));
}

}  // namespace
}  // namespace durva::testing

namespace durva::testing {
namespace {

// The whole program on the office's sample tables, the simulator beside them.
class ProgramOnOffice : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_symlink(fs::path(DURVA_BUILD_DIR) / "durvadrv.exe", folder.path() / "durvadrv.exe");
    }
    void run(std::initializer_list<platform::ScriptStep> keys) {
        h.terminal.push_keys(keys);
        EXPECT_EQ(MAIN(h.session, ""), 0);
        EXPECT_EQ(h.text(1, 0, 27), "Koniec pracy programu DURVA");
        EXPECT_EQ(h.terminal.steps_left(), 0u);
    }
    test::TempFolder folder{"kod13"};
    test::CurrentFolder here{folder.path()};
    HeadlessSession h;
};

TEST_F(ProgramOnOffice, PluDeletionReadsTheListSendsTheChosenLinesAndDropsTheSentRecords) {
    write_file(folder.path() / "durva" / "as2000.dbf", "x");
    // Item 5; the read-out's report; mode 1; yes; the deletion's report; Esc.
    run({Key::End, Key::Enter, Key::Enter, Key::Enter, 't', Key::Enter, Key::Esc});
    // The simulated register holds no PLU: the request has no line.
    EXPECT_EQ(read_file(folder.path() / "durva" / "data_in.txt"), "S;I;1; ; ;\r\n");
    EXPECT_EQ(read_file(folder.path() / "durva" / "error.txt").substr(0, 2), "0;");
    EXPECT_FALSE(FILE_X("durva\\as2000.dbf"));
}

TEST_F(ProgramOnOffice, SendAbandonedAtItsOptionsRunsNothing) {
    run({Key::Enter, Key::Esc, Key::Esc});
    EXPECT_FALSE(fs::exists(folder.path() / "durva" / "data_in.txt"));
}

}  // namespace
}  // namespace durva::testing
