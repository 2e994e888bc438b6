#include "registers/par_durva.h"

#include <algorithm>
#include <array>
#include <optional>
#include <string>

#include "common/_fun1.h"
#include "common/locks.h"
#include "common/screen/browse.h"
#include "common/screen/keys.h"
#include "common/vat_groups.h"
#include "registers/register_table.h"

namespace durva {

namespace {

using screen::Key;

// The keys after which the bar follows the browse to its new place.
constexpr std::array<int, 12> MOVE_CHRS = {Key::Down,     Key::Up,    Key::PgDn,  Key::PgUp,
                                           Key::CtrlPgUp, Key::CtrlPgDn, Key::Left, Key::Right,
                                           Key::Home,     Key::End,   Key::CtrlHome, Key::CtrlEnd};

// F4 as VIEW_PS puts it back: the key code taken modulo 256.
constexpr int kEditKey = 256 + Key::F4;

constexpr int kTop = 2, kLeft = 0, kBottom = 21, kRight = 45;
constexpr int kLegendCol = 60;

// The columns of a stand row as the browse and the bar show them.
struct StandColumn {
    const char* field;
    const char* picture;
    const char* heading;
    int col;
};
const std::array<StandColumn, 5> kColumns = {{
    {"Pkasa", "!!", "Nr", 0},
    {"Popis", "XXXXXXXXXXXXXXXXXXXXXXXXXX", "Opis stoiska kasowego", 3},
    {"PPort", "999", "COM", 30},
    {"PPredkosc", "99999999", "Predkosc", 34},
    {"Pmag", "!", "Mag", 43},
}};
// The description's entry picture: the first letter in upper case.
constexpr const char* kDescriptionPicture = "!XXXXXXXXXXXXXXXXXXXXXXXXX";

bool is_move_key(int key) { return std::find(MOVE_CHRS.begin(), MOVE_CHRS.end(), key) != MOVE_CHRS.end(); }

dbf::Table& register_table(Session& s) { return s.areas.table(kRegisterArea); }

bool blank(const std::string& text) { return text.find_first_not_of(' ') == std::string::npos; }

// A rate of the legend: two characters, however the parameter file had it.
std::string legend_text(std::string rate) {
    if (rate.size() < 2) rate.resize(2, ' ');
    return rate;
}

void draw_key_line(screen::Screen& scr) {
    std::string line(80, ' ');
    line.replace(0, 11, "F4 - Edycja");
    line.replace(31, 32, "Enter - Wybor kasy do transmisji");
    line.replace(67, 13, "Esc - Wyjscie");
    scr.say(24, 0, line);
    scr.say(24, 0, "F4", "W+");
    scr.say(24, 67, "Esc", "W+");
}

void draw_department_legend(Session& s) {
    auto& scr = s.screen;
    scr.say(9, kLegendCol, "DZIALY");
    scr.say(10, kLegendCol, "-------");
    // The rates a send files goods by, absent settings included, so that the
    // legend never promises a department the send does not fill.
    std::vector<std::optional<std::string>> rates;
    for (int group = 0; group < kVatGroupCount; ++group) rates.push_back(vat_group_rate(s.vars, group));
    int row = 11;
    for (int dept : listed_departments(rates))
        scr.say(row++, kLegendCol, legend_text(*rates[static_cast<std::size_t>(dept - 1)]) + " - 0" + std::to_string(dept));
}

void draw_receipt_type(Session& s) {
    auto& scr = s.screen;
    scr.say(18, kLegendCol, "Paragony z kasy: " + s.values.M_SD);
    scr.say(19, kLegendCol, std::string(20, '-'));
    scr.say(20, kLegendCol, "(sd_durva.txt)");
}

}  // namespace

std::vector<int> listed_departments(const std::vector<std::optional<std::string>>& rates) {
    std::vector<int> listed;
    bool zero_seen = false;
    for (std::size_t i = 0; i < rates.size(); ++i) {
        if (!rates[i]) continue;  // a group without a rate takes no goods
        if (i == 0) {
            listed.push_back(1);
            continue;
        }
        // A rate that begins with " 0" is a zero rate, as the office's
        // programs compare texts.
        const bool zero = rates[i]->starts_with(" 0");
        if (!zero || !zero_seen) listed.push_back(static_cast<int>(i) + 1);
        zero_seen = zero_seen || zero;
    }
    return listed;
}

void LINIA_PS(StandBrowser& b, int row, int col) {
    auto& scr = b.s.screen;
    dbf::Table& t = register_table(b.s);
    if (scr.is_colour())
        scr.set_colour("W+/B");
    else
        MONITOR(b.s, true);
    scr.show_cursor(false);
    for (const StandColumn& c : kColumns) {
        if (t.field_pos(c.field) == 0) continue;  // a table from before the warehouse field
        scr.say(row, c.col, screen::picture_text(t.get(c.field), c.picture));
    }
    PS_READ(b.s, b.m);
    MONITOR(b.s, true);
    scr.set_cursor(row, col);
}

void VIEW_PS(StandBrowser& b) { VIEW_PS(b, b.s.screen.row(), b.s.screen.col()); }

void VIEW_PS(StandBrowser& b, int row, int col) {
    auto& scr = b.s.screen;
    if (register_table(b.s).eof()) {
        scr.show_cursor(true);
        scr.set_colour("");
        scr.put_key(Key::Enter);
        return;
    }
    for (;;) {
        scr.show_cursor(false);
        LINIA_PS(b, row, col);
        scr.set_colour("");
        const int key = scr.inkey(0);
        if (key == Key::AltK) continue;
        // One byte goes back: function keys, whose codes are negative,
        // come back as 256 plus their code.
        const int code = ((key % 256) + 256) % 256;
        if (code == 0) continue;
        // Put in front of whatever the terminal still holds, so keys typed
        // ahead keep their order.
        scr.put_key(code);
        return;
    }
}

void PS_EDYCJA(StandBrowser& b, screen::Entry& entry, std::string_view colours) {
    auto& scr = b.s.screen;
    MenuValues& m = b.m;
    dbf::Table& t = register_table(b.s);
    const std::string previous = scr.set_colour(colours);
    const bool first_stand = t.recno() == 1;
    entry.field(b.ROW, 3, m.OPIS, kDescriptionPicture).valid([&m, first_stand] {
        return !first_stand || !blank(m.OPIS.substr(0, 26));
    });
    entry.field(b.ROW, 30, m.PORT, "999").valid([&m] { return m.PORT > 0 && m.PORT < 18; });
    // The speed field is wider than the table's five digits; a speed that
    // could not be stored is refused here rather than lost.
    entry.field(b.ROW, 34, m.PREDKOSC, "99999999").valid([&m] { return m.PREDKOSC > 0 && m.PREDKOSC <= 99999; });
    if (t.field_pos("PMAG") != 0) entry.field(b.ROW, 43, m.PS_MAG, "!");
    scr.set_colour(previous);
}

void EDIT_PS(StandBrowser& b) {
    auto& scr = b.s.screen;
    scr.show_cursor(true);
    screen::Entry entry(scr);
    PS_EDYCJA(b, entry, "W/N,N/W,,,W+/N");
    entry.read();
    if (!entry.abandoned()) PS_REP(b.s, b.m);
}

int FUN_PS(StandBrowser& b, int mode, int /*column*/) {
    auto& scr = b.s.screen;
    dbf::Table& t = register_table(b.s);
    int result = screen::kBrowseGoOn;
    const int key = scr.last_key();
    if (b.ZERO) {
        b.ZERO = false;
        // A key typed ahead is already here to be handled: the bar is only
        // drawn, since waiting would take the next key, which this one may
        // leave for the menu to find.
        if (mode == screen::kBrowseKey) {
            LINIA_PS(b, scr.row(), scr.col());
            scr.set_colour("");
        } else {
            VIEW_PS(b);
        }
    }
    switch (mode) {
        case screen::kBrowseIdle:
            if (is_move_key(key)) VIEW_PS(b);
            break;
        case screen::kBrowseHitTop:
            if (!t.eof()) VIEW_PS(b);
            break;
        case screen::kBrowseHitEnd:
            if (t.eof()) {
                t.go_bottom();
                result = screen::kBrowseRefresh;
                b.ZERO = true;
            } else {
                VIEW_PS(b);
            }
            break;
        case screen::kBrowseKey:
            b.ROW = scr.row();
            b.COL = scr.col();
            if (key == Key::Enter || key == Key::Esc) {
                result = screen::kBrowseLeave;
                scr.show_cursor(false);
                scr.set_colour("");
                if (key == Key::Esc)
                    t.go_to(b.REK);
                else if (t.bof() || t.eof())
                    t.go_top();
                PS_READ(b.s, b.m);
            } else if (key == kEditKey || key == Key::F4) {
                // F4 typed ahead reaches the browse as itself, not through
                // VIEW_PS; it edits all the same.
                LINIA_PS(b, b.ROW, b.COL);
                scr.say(24, 5, "Edycja", "N/W");
                EDIT_PS(b);
                scr.say(24, 5, "Edycja", "");
                VIEW_PS(b, b.ROW, b.COL);
            } else {
                VIEW_PS(b);
            }
            break;
        default:
            break;
    }
    return result;
}

bool PAR_DURVA(Session& s, MenuValues& m) {
    auto& scr = s.screen;
    scr.set_insert_mode(true);
    s.areas.select(kRegisterArea);
    dbf::Table& t = s.areas.table();

    scr.set_colour("");
    scr.clear();
    std::string title = " Wybor kasy, parametry";
    title.resize(80, ' ');
    scr.say(0, 0, title, scr.is_colour() ? "W+/R" : "N/W");
    draw_key_line(scr);

    if (t.bof() || t.eof()) t.go_top();
    if (t.eof()) ADD_REC(s, 15);

    // The browse starts on its second column, the description.
    scr.put_key(Key::Right);

    scr.say(22, 0, "01 Domyslne ustawienie kasy     1     9600");
    draw_department_legend(s);
    draw_receipt_type(s);

    StandBrowser b{s, m};
    b.REK = t.recno();
    screen::Browse browse(scr, t, kTop, kLeft, kBottom, kRight);
    for (const StandColumn& c : kColumns)
        browse.add_column(screen::field_column(c.field, c.picture, c.heading));
    browse.set_separators("\xC2\xC4", "\xB3", "\xC1\xC4");
    browse.run([&b](int mode, int column) { return FUN_PS(b, mode, column); });

    scr.show_cursor(false);
    scr.set_colour("");
    return true;
}

}  // namespace durva
