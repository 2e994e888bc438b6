// The browse list over small tables made for each test: what it draws, how
// it moves, and when it calls its user function with which mode.
#include "common/screen/browse.h"

#include <gtest/gtest.h>

#include <vector>

#include "common/dbf/dbf_file.h"
#include "support/fixture_folder.h"
#include "support/headless_session.h"

namespace durva::testing {
namespace {

using dbf::FieldDesc;
using screen::Browse;

FieldDesc field(std::string name, char type, int len, int dec = 0) {
    FieldDesc f;
    f.name = std::move(name);
    f.type = type;
    f.length = len;
    f.decimals = dec;
    return f;
}

// Records NAZWA "Towar n", ILE n * 1.5, the listed ones deleted.
std::unique_ptr<dbf::Table> make_table(const test::TempFolder& dir, int count,
                                       const std::vector<std::uint32_t>& deleted = {}) {
    const dbf::FieldList fields = {field("NAZWA", 'C', 10), field("ILE", 'N', 7, 2), field("DATA", 'D', 8)};
    auto f = dbf::DbfFile::create(dir.file("t.dbf"), fields);
    const dbf::FieldList laid = f->fields();
    for (int i = 1; i <= count; ++i) {
        std::string rec = f->blank_record();
        dbf::encode_text(laid[0], "Towar " + std::to_string(i), rec.data());
        dbf::encode_number(laid[1], i * 1.5, rec.data());
        dbf::encode_date(laid[2], Date::from_ymd(2026, 12, i % 28 + 1), rec.data());
        for (std::uint32_t d : deleted)
            if (d == static_cast<std::uint32_t>(i)) rec[0] = '*';
        f->append_record(rec.data());
    }
    f->close();
    static dbf::TableSettings settings;
    return dbf::Table::open(dir.file("t"), platform::Share::Exclusive, settings);
}

// A browse over rows 2 to 8 (headings, separator, rows 4 to 7, footing).
struct BrowseRun {
    explicit BrowseRun(int records, const std::vector<std::uint32_t>& deleted = {})
        : table(make_table(dir, records, deleted)), browse(h.screen, *table, 2, 1, 8, 40) {
        browse.add_column(screen::field_column("NAZWA", "!XXXXXXXXX", "Nazwa"));
        browse.add_column(screen::field_column("ILE", "9999.99", "Ilosc towaru"));
        browse.add_column(screen::field_column("DATA", "", "Data"));
        browse.set_separators("\xC2\xC4", "\xB3", "\xC1\xC4");
    }
    // Runs with the keys; every call of the user function is noted. The
    // function leaves on Esc and on the key `leave_on`.
    void run(std::initializer_list<platform::ScriptStep> keys, int refresh_on = 0) {
        h.terminal.push_keys(keys);
        try {
            browse.run([&](int mode, int column) {
                calls.push_back({mode, column, table->recno(), h.screen.last_key()});
                if (mode == screen::kBrowseKey && h.screen.last_key() == Key::Esc) return 0;
                if (mode == screen::kBrowseKey && refresh_on != 0 && h.screen.last_key() == refresh_on) return 2;
                return 1;
            });
            returned = true;
        } catch (const platform::ScriptExhausted&) {
        }
    }
    std::vector<int> modes() const {
        std::vector<int> m;
        for (const auto& c : calls) m.push_back(c.mode);
        return m;
    }
    struct Call {
        int mode, column;
        std::uint32_t recno;
        int key;
    };
    test::TempFolder dir;
    HeadlessSession h;
    std::unique_ptr<dbf::Table> table;
    Browse browse;
    std::vector<Call> calls;
    bool returned = false;
};

TEST(BrowseScreen, HeadingsSeparatorsRowsAndTheCurrentCell) {
    BrowseRun r(3);
    r.run({});
    EXPECT_EQ(r.h.text(2, 1, 40), "Nazwa      Ilosc towaru Data            ");
    EXPECT_EQ(r.h.utf8(3, 1, 35), "──────────┬────────────┬────────── ");
    EXPECT_EQ(r.h.utf8(4, 1, 34), "Towar 1   │        1.50│02.12.2026");  // numbers to the right
    EXPECT_EQ(r.h.utf8(6, 1, 34), "Towar 3   │        4.50│04.12.2026");
    EXPECT_EQ(r.h.utf8(7, 1, 34), "          │            │          ");  // no record for it
    EXPECT_EQ(r.h.utf8(8, 1, 35), "──────────┴────────────┴────────── ");
    EXPECT_EQ(r.h.text(2, 0, 1), " ");  // nothing left of the window
    EXPECT_EQ(r.browse.first_row(), 4);
    EXPECT_EQ(r.browse.last_row(), 7);
    // The current cell in the enhanced colour, the rest in the standard one.
    EXPECT_TRUE(r.h.all_attr(4, 1, 10, 0x70));
    EXPECT_TRUE(r.h.all_attr(4, 11, 25, 0x07));
    EXPECT_EQ(r.h.screen.row(), 4);
    EXPECT_EQ(r.h.screen.col(), 1);
}

TEST(BrowseScreen, ColoursInForceWhenItStartsAreItsOwn) {
    BrowseRun r(2);
    r.h.screen.set_colour("G/B,R/W");
    r.run({Key::Right});
    r.h.screen.set_colour("");
    EXPECT_EQ(r.h.attr(4, 1), 0x12);
    EXPECT_TRUE(r.h.all_attr(4, 12, 12, 0x74));
}

struct MoveCase {
    const char* name;
    int records;
    std::vector<platform::ScriptStep> keys;
    std::uint32_t recno;
    int column;
    std::vector<std::uint32_t> rows;  // the records on rows 4 to 7, 0 for none
};

TEST(BrowseMoves, KeysMoveTheRecordAndTheColumn) {
    const std::vector<MoveCase> cases = {
        {"down walks the bar", 10, {Key::Down, Key::Down}, 3, 1, {1, 2, 3, 4}},
        {"down below the window scrolls", 10, {Key::Down, Key::Down, Key::Down, Key::Down, Key::Down}, 6, 1, {3, 4, 5, 6}},
        {"up at the top stays", 10, {Key::Up}, 1, 1, {1, 2, 3, 4}},
        {"page down keeps the row", 10, {Key::Down, Key::PgDn}, 6, 1, {5, 6, 7, 8}},
        {"page down at the end", 10, {Key::PgDn, Key::PgDn, Key::PgDn}, 10, 1, {7, 8, 9, 10}},
        {"page up to the top", 10, {Key::CtrlPgDn, Key::PgUp, Key::PgUp, Key::PgUp}, 1, 1, {1, 2, 3, 4}},
        {"end of the table, then up", 10, {Key::CtrlPgDn, Key::Up}, 9, 1, {7, 8, 9, 10}},
        {"top of the table", 10, {Key::CtrlPgDn, Key::CtrlPgUp}, 1, 1, {1, 2, 3, 4}},
        {"a short table shows whole", 2, {Key::CtrlPgDn, Key::Down}, 2, 1, {1, 2, 0, 0}},
        {"columns right and left, stopping at the ends", 3, {Key::Right, Key::Right, Key::Right, Key::Left}, 1, 2,
         {1, 2, 3, 0}},
        {"end and home columns", 3, {Key::End}, 1, 3, {1, 2, 3, 0}},
        {"ctrl-home column", 3, {Key::End, Key::CtrlHome}, 1, 1, {1, 2, 3, 0}},
    };
    for (const MoveCase& c : cases) {
        SCOPED_TRACE(c.name);
        BrowseRun r(c.records);
        for (const auto& k : c.keys) r.h.terminal.push(k);
        r.run({});
        EXPECT_EQ(r.table->recno(), c.recno);
        EXPECT_EQ(r.browse.column(), c.column);
        for (int i = 0; i < 4; ++i) {
            const std::uint32_t want = c.rows[static_cast<std::size_t>(i)];
            EXPECT_EQ(r.h.text(4 + i, 1, 10), want ? "Towar " + std::to_string(want) + std::string(want < 10 ? 3 : 2, ' ')
                                                  : std::string(10, ' '))
                << "row " << 4 + i;
        }
        // The current cell is where the cursor stands.
        const int cursor_row = r.h.screen.row();
        EXPECT_EQ(r.h.text(cursor_row, 1, 10).substr(6, 2),
                  std::to_string(c.recno) + std::string(c.recno < 10 ? " " : ""));
    }
}

TEST(BrowseMoves, DeletedRecordsAreNotShown) {
    BrowseRun r(6, {2, 3});
    r.run({Key::Down, Key::Down});
    EXPECT_EQ(r.table->recno(), 5u);
    EXPECT_EQ(r.h.text(5, 1, 7), "Towar 4");
    EXPECT_EQ(r.h.text(6, 1, 7), "Towar 5");
}

TEST(BrowseUserFunction, ModesAsTheBrowseMeetsThem) {
    struct Case {
        const char* name;
        int records;
        std::vector<platform::ScriptStep> keys;
        std::vector<int> modes;
    };
    const std::vector<Case> cases = {
        {"idle once at the start, once after each key", 5, {Key::Down, Key::Right}, {0, 0, 0}},
        {"up past the top", 5, {Key::Up}, {0, 1}},
        {"down past the end", 2, {Key::Down, Key::Down}, {0, 0, 2}},
        {"page down past the end", 3, {Key::CtrlPgDn, Key::PgDn}, {0, 0, 2}},
        {"a key it does not handle, then no idle call", 5, {'x', Key::F4, Key::Down}, {0, 4, 4, 0}},
        {"an empty table", 0, {Key::Down}, {3, 3}},
        {"Esc leaves", 5, {Key::Esc, Key::Down}, {0, 4}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        BrowseRun r(c.records);
        for (const auto& k : c.keys) r.h.terminal.push(k);
        r.run({});
        EXPECT_EQ(r.modes(), c.modes);
    }
}

TEST(BrowseUserFunction, GetsTheColumnTheKeyAndTheRecord) {
    BrowseRun r(5);
    r.run({Key::Down, Key::Right, 'z', Key::Esc});
    ASSERT_TRUE(r.returned);
    ASSERT_EQ(r.calls.size(), 5u);
    EXPECT_EQ(r.calls[3].mode, screen::kBrowseKey);
    EXPECT_EQ(r.calls[3].key, 'z');
    EXPECT_EQ(r.calls[3].column, 2);
    EXPECT_EQ(r.calls[3].recno, 2u);
    EXPECT_EQ(r.h.screen.row(), 5);  // the cursor on the current cell for it
    EXPECT_EQ(r.h.screen.col(), 12);
}

TEST(BrowseUserFunction, RefreshReadsTheRowsAgainAndCallsAtOnce) {
    BrowseRun r(3);
    // Changed behind the browse's back once it shows the rows, then
    // refreshed with 'r'.
    r.h.terminal.push_keys({'c', 'r'});
    r.browse.run([&](int mode, int) {
        r.calls.push_back({mode, 0, 0, 0});
        if (mode == screen::kBrowseKey && r.h.screen.last_key() == 'c') {
            r.table->go_to(1);
            r.table->put("NAZWA", std::string("Nowy"));
        }
        if (mode == screen::kBrowseKey && r.h.screen.last_key() == 'r') return 2;
        return mode == screen::kBrowseIdle && r.calls.size() > 2 ? 0 : 1;
    });
    EXPECT_EQ(r.h.text(4, 1, 10), "Nowy      ");
    EXPECT_EQ(r.modes(), (std::vector<int>{0, 4, 4, 0}));
}

TEST(BrowseUserFunction, KeysWaitingAreTakenBeforeTheNextIdleCall) {
    BrowseRun r(20);
    for (int i = 0; i < 400; ++i) r.h.screen.put_key(Key::Down);
    r.h.screen.put_key(Key::Up);
    r.run({});
    EXPECT_EQ(r.table->recno(), 19u);
    EXPECT_EQ(r.modes(), (std::vector<int>{0}));  // one idle call once they were all taken
}

TEST(BrowseUserFunction, WithoutOneEnterOrEscEnds) {
    for (int key : {Key::Enter, Key::Esc}) {
        BrowseRun r(3);
        r.h.terminal.push_keys({Key::Down, 'x', key});
        r.browse.run();
        EXPECT_EQ(r.table->recno(), 2u);
        EXPECT_EQ(r.h.terminal.steps_left(), 0u);
    }
}

TEST(BrowseScreen, ColumnsBeyondTheWindowComeIntoViewWithTheCursor) {
    test::TempFolder dir;
    HeadlessSession h;
    auto table = make_table(dir, 3);
    Browse b(h.screen, *table, 0, 0, 5, 19);  // room for 20 columns
    b.add_column(screen::field_column("NAZWA", "XXXXXXXXXX", "Nazwa"));
    b.add_column(screen::field_column("ILE", "9999.99", "Ilosc"));
    b.add_column(screen::field_column("DATA", "", "Data"));
    b.set_separators("", "|", "");
    h.terminal.push_keys({Key::Right, Key::Right});
    EXPECT_THROW(b.run([](int, int) { return 1; }), platform::ScriptExhausted);
    // The date column is whole on screen, the name column gone.
    EXPECT_EQ(h.text(1, 0, 20), "   1.50|02.12.2026  ");
    EXPECT_EQ(h.screen.col(), 8);
}

}  // namespace
}  // namespace durva::testing
