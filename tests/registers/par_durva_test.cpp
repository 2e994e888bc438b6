#include "registers/par_durva.h"

#include <gtest/gtest.h>

#include <vector>

#include "common/vat_groups.h"
#include "registers/register_table.h"
#include "support/current_folder.h"
#include "support/fixture_folder.h"
#include "support/headless_session.h"

namespace durva::testing {
namespace {

constexpr std::uint8_t kDefault = 0x07, kBrightWhite = 0x0F, kBrightOnRed = 0x4F, kBar = 0x1F, kBlackOnWhite = 0x70;

std::string padded(std::string text, std::size_t width = 80) {
    text.resize(width, ' ');
    return text;
}

// The register table of a new installation, with the browse run on it.
class StandBrowserTest : public ::testing::Test {
protected:
    explicit StandBrowserTest(bool colour = true) : h({}, colour) {}
    void SetUp() override {
        ASSERT_TRUE(prepare_register_table(h.session));
        dbf::Table& t = table();
        for (std::uint32_t n = 2; n <= 5; ++n) {
            t.go_to(n);
            reset_record(n);
        }
        t.go_to(4);
        t.put("PMAG", std::string("K"));
        t.go_to(1);
        for (const char* name : {"J_PTUA", "J_PTUB", "J_PTUC", "J_PTUD", "J_PTUE", "J_PTUF", "J_PTUZ"})
            h.session.vars.set_text(name, " 0");
        h.session.vars.set_text("J_PTUA", "23");
        h.session.vars.set_text("J_PTUB", " 8");
        h.session.vars.set_text("J_PTUC", " 5");
        PS_READ(h.session, m);
    }
    dbf::Table& table() { return h.session.areas.table(kRegisterArea); }
    // Stands 1 to 5 as the tests expect them: a name, the port of the stand's number.
    void reset_record(std::uint32_t n) {
        static const char* names[] = {"", "Stoisko 1", "Sklep", "Hurtownia", "Magazyn K", "Kasa piata"};
        dbf::Table& t = table();
        t.put("POPIS", std::string(names[n]));
        t.put("PPORT", static_cast<double>(n));
        t.put("PPREDKOSC", 9600.0);
        t.put("PMAG", std::string(" "));
    }

    // Runs the browser with the keys; true when it returned (rather than
    // waiting for a key the script no longer has).
    bool run(std::initializer_list<platform::ScriptStep> keys) {
        h.terminal.push_keys(keys);
        try {
            EXPECT_TRUE(PAR_DURVA(h.session, m));
            return true;
        } catch (const platform::ScriptExhausted&) {
            return false;
        }
    }

    test::TempFolder folder;
    test::CurrentFolder here{folder.path()};
    HeadlessSession h;
    MenuValues m;
};

TEST_F(StandBrowserTest, ScreenRowByRow) {
    table().go_to(3);
    PS_READ(h.session, m);
    ASSERT_FALSE(run({}));  // looked at while it waits for the first key

    EXPECT_EQ(h.text(0, 0, 80), padded(" Wybor kasy, parametry"));
    EXPECT_TRUE(h.all_attr(0, 0, 80, kBrightOnRed));
    EXPECT_EQ(h.text(1, 0, 80), padded(""));

    // Headings, with blanks where the column lines begin below them.
    EXPECT_EQ(h.text(2, 0, 46), "Nr Opis stoiska kasowego      COM Predkosc Mag");
    EXPECT_EQ(h.utf8(3, 0, 46), "──┬──────────────────────────┬───┬────────┬───");
    EXPECT_EQ(h.utf8(21, 0, 46), "──┴──────────────────────────┴───┴────────┴───");
    EXPECT_TRUE(h.all_attr(3, 0, 46, kDefault));

    // The stands on rows 4 to 20.
    EXPECT_EQ(h.utf8(4, 0, 46), "01│Stoisko 1                 │  1│    9600│   ");
    EXPECT_EQ(h.utf8(5, 0, 46), "02│Sklep                     │  2│    9600│   ");
    EXPECT_EQ(h.utf8(7, 0, 46), "04│Magazyn K                 │  4│    9600│K  ");
    EXPECT_EQ(h.utf8(20, 0, 46), "17│                          │  1│    9600│   ");
    EXPECT_TRUE(h.all_attr(4, 0, 46, kDefault));

    // The bar on the current stand, record 3, on row 6; the cursor in the
    // description column, hidden.
    EXPECT_EQ(h.utf8(6, 0, 46), "03│Hurtownia                 │  3│    9600│   ");
    for (int col : {0, 1, 3, 28, 30, 32, 34, 41, 43}) EXPECT_EQ(h.attr(6, col), kBar) << col;
    EXPECT_EQ(h.attr(6, 2), kDefault);  // the column lines stay as they were
    EXPECT_EQ(h.terminal.cursor_row(), 6);
    EXPECT_EQ(h.terminal.cursor_col(), 3);
    EXPECT_FALSE(h.terminal.cursor_visible());
    EXPECT_EQ(m.NR_KASY, "03");

    // Row 22: the values of a new stand.
    EXPECT_EQ(h.text(22, 0, 80), padded("01 Domyslne ustawienie kasy     1     9600"));

    // The legend and the receipt type at column 60.
    EXPECT_EQ(h.text(9, 60, 20), padded("DZIALY", 20));
    EXPECT_EQ(h.text(10, 60, 20), padded("-------", 20));
    EXPECT_EQ(h.text(11, 60, 20), padded("23 - 01", 20));
    EXPECT_EQ(h.text(12, 60, 20), padded(" 8 - 02", 20));
    EXPECT_EQ(h.text(13, 60, 20), padded(" 5 - 03", 20));
    EXPECT_EQ(h.text(14, 60, 20), padded(" 0 - 04", 20));
    EXPECT_EQ(h.text(15, 60, 20), padded("", 20));
    EXPECT_EQ(h.text(18, 60, 20), "Paragony z kasy: SD ");
    EXPECT_EQ(h.text(19, 60, 20), std::string(20, '-'));
    EXPECT_EQ(h.text(20, 60, 20), padded("(sd_durva.txt)", 20));

    // The key line, F4 and Esc in bright white.
    EXPECT_EQ(h.text(24, 0, 80), "F4 - Edycja                    Enter - Wybor kasy do transmisji    Esc - Wyjscie");
    EXPECT_TRUE(h.all_attr(24, 0, 2, kBrightWhite));
    EXPECT_TRUE(h.all_attr(24, 2, 65, kDefault));
    EXPECT_TRUE(h.all_attr(24, 67, 3, kBrightWhite));
    EXPECT_TRUE(h.all_attr(24, 70, 10, kDefault));
}

TEST_F(StandBrowserTest, MonochromeTitleAndBar) {
    HeadlessSession mono({}, false);
    h.session.areas.close(kRegisterArea);
    ASSERT_TRUE(prepare_register_table(mono.session));
    MenuValues mm;
    EXPECT_THROW(PAR_DURVA(mono.session, mm), platform::ScriptExhausted);
    EXPECT_TRUE(mono.all_attr(0, 0, 80, kBlackOnWhite));
    EXPECT_EQ(mono.attr(4, 3), screen::parse_colour_pair("U+"));  // the highlight of monochrome screens
}

struct PickCase {
    const char* name;
    std::vector<platform::ScriptStep> keys;
    const char* stand;  // current afterwards
};

TEST_F(StandBrowserTest, EnterChoosesEscKeepsTheStandCurrentOnEntry) {
    const std::vector<PickCase> cases = {
        {"down twice, Enter", {Key::Down, Key::Down, Key::Enter}, "05"},
        {"down twice, Esc", {Key::Down, Key::Down, Key::Esc}, "03"},
        {"up past the top", {Key::Up, Key::Up, Key::Up, Key::Up, Key::Enter}, "01"},
        {"end of the table", {Key::CtrlPgDn, Key::Enter}, "17"},
        {"down past the end", {Key::CtrlPgDn, Key::Down, Key::Down, Key::Enter}, "17"},
        {"page down, page up", {Key::PgDn, Key::PgUp, Key::Enter}, "01"},
        {"top", {Key::Down, Key::CtrlPgUp, Key::Enter}, "01"},
        {"columns do not change the stand", {Key::Left, Key::End, Key::Home, Key::Right, Key::Enter}, "03"},
        {"keys ignored", {'x', Key::F1, Key::AltK, 'q', Key::Down, Key::Enter}, "04"},
    };
    for (const PickCase& c : cases) {
        SCOPED_TRACE(c.name);
        table().go_to(3);
        PS_READ(h.session, m);
        for (const auto& k : c.keys) h.terminal.push(k);
        ASSERT_TRUE(run({}));
        EXPECT_EQ(m.NR_KASY, c.stand);
        EXPECT_EQ(table().text("PKASA"), c.stand);  // the table stands on it
        EXPECT_EQ(h.session.areas.current(), kRegisterArea);
        EXPECT_EQ(h.terminal.steps_left(), 0u);
    }
}

TEST_F(StandBrowserTest, BarFollowsTheHighlightAndLoadsTheStand) {
    ASSERT_FALSE(run({Key::Down, Key::Down, Key::Down}));
    EXPECT_EQ(m.NR_KASY, "04");
    EXPECT_EQ(m.PS_MAG, "K");
    EXPECT_EQ(m.PORT, 4);
    EXPECT_EQ(h.attr(7, 3), kBar);
    EXPECT_EQ(h.attr(4, 3), kDefault);  // the rows left behind are plain again
    EXPECT_EQ(h.attr(6, 3), kDefault);
    EXPECT_EQ(h.terminal.cursor_row(), 7);
}

TEST_F(StandBrowserTest, HeldKeysOfHundredsAreAllTaken) {
    for (int i = 0; i < 300; ++i) h.terminal.push(Key::Down);
    for (int i = 0; i < 5; ++i) h.terminal.push(Key::Up);
    ASSERT_TRUE(run({Key::Enter}));
    EXPECT_EQ(m.NR_KASY, "12");
}

TEST_F(StandBrowserTest, CtrlCAndUnknownKeysNeverEndIt) {
    // Ctrl-C comes as the page-down key; Alt-K is not passed on.
    ASSERT_FALSE(run({3, Key::AltK, Key::F10, Key::Ins, Key::Del, Key::Tab, Key::F12}));
    EXPECT_EQ(m.NR_KASY, "17");
    EXPECT_EQ(h.attr(20, 3), kBar);
}

struct EditCase {
    const char* name;
    std::uint32_t record;
    std::vector<platform::ScriptStep> keys;  // after F4
    const char* description;
    double port, speed;
    const char* warehouse;
};

TEST_F(StandBrowserTest, EditingAStand) {
    const std::string blank26(26, ' ');
    const std::vector<EditCase> cases = {
        {"port 18 refused, 17 accepted", 3,
         {Key::Enter, '1', '8', Key::Enter, '1', '7', Key::Enter, Key::Enter, Key::Enter}, "Hurtownia", 17, 9600, " "},
        {"port 0 refused", 3, {Key::Enter, '0', Key::Enter, '2', Key::Enter, Key::Enter, Key::Enter}, "Hurtownia", 2,
         9600, " "},
        {"speed 0 and one too wide refused", 2,
         {Key::Enter, Key::Enter, '0', Key::Enter, '1', '2', '3', '4', '5', '6', Key::Enter, '1', '9', '2', '0', '0',
          Key::Enter, Key::Enter},
         "Sklep", 2, 19200, " "},
        {"first letter upper case", 2, {Key::CtrlY, 'n', 'o', 'w', 'a', Key::Enter, Key::Enter, Key::Enter, 'k', Key::Enter},
         "Nowa", 2, 9600, "K"},
        {"stand 2 may be left without a description", 2, {Key::CtrlY, Key::Enter, Key::Enter, Key::Enter, Key::Enter}, "",
         2, 9600, " "},
        {"stand 1 may not", 1, {Key::CtrlY, Key::Enter, 'a', Key::Enter, Key::Enter, Key::Enter, Key::Enter}, "A", 1,
         9600, " "},
        {"Esc leaves the record as it was", 3, {Key::Enter, '9', Key::Enter, Key::Esc}, "Hurtownia", 3, 9600, " "},
        {"PgDn ends the entry keeping what was typed", 3, {Key::Enter, '9', Key::PgDn}, "Hurtownia", 9, 9600, " "},
    };
    for (const EditCase& c : cases) {
        SCOPED_TRACE(c.name);
        table().go_to(c.record);
        reset_record(c.record);
        PS_READ(h.session, m);
        h.terminal.push(Key::F4);
        for (const auto& k : c.keys) h.terminal.push(k);
        ASSERT_TRUE(run({Key::Enter}));
        EXPECT_EQ(h.terminal.steps_left(), 0u);
        dbf::Table& t = table();
        ASSERT_EQ(t.recno(), c.record);
        EXPECT_EQ(t.text("PKASA"), stand_number(c.record));
        EXPECT_EQ(t.text("POPIS"), padded(c.description, 26));
        EXPECT_EQ(t.number("PPORT"), c.port);
        EXPECT_EQ(t.number("PPREDKOSC"), c.speed);
        EXPECT_EQ(t.text("PMAG"), c.warehouse);
        // The current stand is what the record holds.
        EXPECT_EQ(m.PORT, c.port);
        EXPECT_EQ(m.OPIS, padded(c.description, 26));
    }
}

TEST_F(StandBrowserTest, EditRowColoursAndTheEditMark) {
    table().go_to(2);
    PS_READ(h.session, m);
    ASSERT_FALSE(run({Key::F4, Key::Enter}));  // waiting in the port field
    EXPECT_EQ(h.text(24, 5, 6), "Edycja");
    EXPECT_TRUE(h.all_attr(24, 5, 6, kBlackOnWhite));
    EXPECT_TRUE(h.all_attr(5, 3, 26, 0x0F));  // the description left: W+/N
    EXPECT_TRUE(h.all_attr(5, 30, 3, kBlackOnWhite));  // the port being edited
    EXPECT_TRUE(h.all_attr(5, 34, 8, 0x0F));
    EXPECT_EQ(h.terminal.cursor_row(), 5);
    EXPECT_TRUE(h.terminal.cursor_visible());
}

TEST_F(StandBrowserTest, AfterTheEditTheMarkGoesAndTheBarComesBack) {
    table().go_to(2);
    PS_READ(h.session, m);
    ASSERT_FALSE(run({Key::F4, Key::Enter, '7', Key::Enter, Key::Enter, Key::Enter}));
    EXPECT_EQ(h.text(24, 5, 6), "Edycja");
    EXPECT_TRUE(h.all_attr(24, 5, 6, kDefault));
    EXPECT_EQ(h.utf8(5, 0, 46), "02│Sklep                     │  7│    9600│   ");
    EXPECT_EQ(h.attr(5, 30), kBar);
}

TEST(DepartmentLegend, FirstZeroRateFromBOnIsListedLaterOnesAreNot) {
    const std::optional<std::string> none;
    struct Case {
        std::vector<std::optional<std::string>> rates;
        std::vector<int> listed;
    };
    const std::vector<Case> cases = {
        {{"23", " 8", " 5", " 0", " 0", " 0", " 0"}, {1, 2, 3, 4}},
        {{"23", " 8", " 5", " 4", "12", " 7", " 0"}, {1, 2, 3, 4, 5, 6, 7}},
        {{" 0", " 0", " 8", " 0", " 5", " 0", " 0"}, {1, 2, 3, 5}},
        {{" 0", "23", " 8", " 5", " 0", "  ", " 0"}, {1, 2, 3, 4, 5, 6}},
        {{"  ", "  ", "  ", "  ", "  ", "  ", "  "}, {1, 2, 3, 4, 5, 6, 7}},
        // Groups without a rate take no goods and are not listed.
        {{"23", " 8", " 5", " 0", none, none, "ZW"}, {1, 2, 3, 4, 7}},
        {{"23", none, " 0", none, " 0", none, " 0"}, {1, 3}},
    };
    for (const Case& c : cases) EXPECT_EQ(listed_departments(c.rates), c.listed);
}

// The legend a browser shows on a session with the given settings, rows 11 to 17.
std::vector<std::string> legend_rows(const std::vector<std::pair<const char*, std::string>>& settings) {
    HeadlessSession fresh;
    for (const auto& [name, rate] : settings) fresh.session.vars.set_text(name, rate);
    EXPECT_TRUE(prepare_register_table(fresh.session));
    MenuValues mm;
    EXPECT_THROW(PAR_DURVA(fresh.session, mm), platform::ScriptExhausted);
    std::vector<std::string> rows;
    for (int row = 11; row <= 17; ++row) rows.push_back(fresh.text(row, 60, 7));
    fresh.session.areas.close(kRegisterArea);
    return rows;
}

// The legend shows the rates a send files goods by (the office's one rule),
// also when the parameter file lacks them: not blanks that would suggest
// every good goes to department 01.
TEST_F(StandBrowserTest, LegendShowsTheRatesTheSendUses) {
    h.session.areas.close(kRegisterArea);
    const std::string blank(7, ' ');
    EXPECT_EQ(legend_rows({}), (std::vector<std::string>{"23 - 01", " 8 - 02", " 5 - 03", " 0 - 04", "ZW - 07", blank, blank}));
    EXPECT_EQ(legend_rows({{"J_PTUA", "22"}, {"J_PTUE", " 7"}, {"J_PTUZ", " 0"}}),
              (std::vector<std::string>{"22 - 01", " 8 - 02", " 5 - 03", " 0 - 04", " 7 - 05", blank, blank}));
    EXPECT_EQ(legend_rows({{"J_PTUB", ""}, {"J_PTUF", "5"}}),
              (std::vector<std::string>{"23 - 01", "   - 02", " 5 - 03", " 0 - 04", "5  - 06", "ZW - 07", blank}));

    // Whatever is stored or not, each listed department shows its group's rate.
    Memvars v;
    v.set_text("J_PTUC", "12");
    v.set_text("J_PTUD", " 3");
    const std::vector<std::string> rows = legend_rows({{"J_PTUC", "12"}, {"J_PTUD", " 3"}});
    for (const std::string& row : rows) {
        if (row == blank) continue;
        const int group = row.back() - '1';
        const std::optional<std::string> rate = vat_group_rate(v, group);
        ASSERT_TRUE(rate) << row;
        EXPECT_EQ(row.substr(0, 2), *rate) << row;
    }
    EXPECT_EQ(rows[2], "12 - 03");
}

TEST_F(StandBrowserTest, NonsenseInTheTableIsShownAndCanBeMended) {
    dbf::Table& t = table();
    t.go_to(2);
    t.put("PPORT", -9.0);
    t.put("PPREDKOSC", -9999.0);
    t.go_to(1);
    ASSERT_TRUE(run({Key::Down, Key::F4, Key::Enter, Key::Enter, '3', Key::Enter, '4', '8', '0', '0', Key::Enter,
                     Key::Enter, Key::Enter}));
    t.go_to(2);
    EXPECT_EQ(t.number("PPORT"), 3);
    EXPECT_EQ(t.number("PPREDKOSC"), 4800);
}

}  // namespace
}  // namespace durva::testing
