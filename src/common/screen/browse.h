#pragma once
// A browse list over a table: one screen row per record, columns shown with
// their pictures under their headings, a heading separator under the
// headings, a separator between columns and a footing separator under the
// rows. The record pointer of the table is the browse's current row, so what
// a caller's routine reads from the table while the browse runs is the
// highlighted record.
//
// Keys the browse handles itself: Up, Down, PgUp, PgDn, Ctrl-PgUp and
// Ctrl-PgDn move between records; Left, Right, Home, End, Ctrl-Home,
// Ctrl-End, Ctrl-Left and Ctrl-Right between columns. Every other key goes
// to the user function. The user function is also called when the browse
// has nothing to do (no key waiting), so that it can wait for the key itself
// and put it back through the type-ahead buffer; the browse then takes it
// from there.
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "common/dbf/field_codec.h"
#include "common/dbf/table.h"
#include "common/screen/screen.h"

namespace durva::screen {

// Why the user function is called.
enum BrowseMode {
    kBrowseIdle = 0,     // all keys handled, none waiting
    kBrowseHitTop = 1,   // a move went past the first record
    kBrowseHitEnd = 2,   // a move went past the last record
    kBrowseEmpty = 3,    // the table shows no record
    kBrowseKey = 4,      // a key the browse does not handle: the screen's last key
};

// What the user function asks for.
enum BrowseAction {
    kBrowseLeave = 0,     // end the browse
    kBrowseGoOn = 1,      // carry on
    kBrowseRefresh = 2,   // read every row again, then carry on
};

struct BrowseColumn {
    std::string heading;
    // One symbol per position: "9" digits of a number, "X" any character,
    // "!" upper case. Empty: the value as it stands.
    std::string picture;
    std::function<dbf::FieldValue(dbf::Table&)> value;
};

// A column showing a field of the table; a field the table lacks shows blank.
BrowseColumn field_column(std::string field, std::string picture, std::string heading);

// A value as a column shows it: a number right-aligned in the picture's
// width, a text through its picture, a date as "dd.mm.yyyy", a logical T/F.
std::string picture_text(const dbf::FieldValue& value, std::string_view picture);

class Browse {
public:
    // user(mode, column) with the current column counted from 1; returns a BrowseAction.
    using UserFunction = std::function<int(int mode, int column)>;

    Browse(Screen& screen, dbf::Table& table, int top, int left, int bottom, int right);

    void add_column(BrowseColumn column);
    // The heading separator's last character runs under the columns, the
    // characters before it stand where a column separator meets it; the
    // footing separator likewise. Empty: no such row.
    void set_separators(std::string heading, std::string column, std::string footing);

    // Browses from the table's current record until the user function asks
    // to leave (without one: until Enter or Esc). The colours in force when
    // it starts are the browse's: rows in the standard colour, the current
    // cell in the enhanced one. The record pointer stays where it is then.
    void run(const UserFunction& user = {});

    int column() const { return current_col_ + 1; }
    // The screen rows of the records (tests and callers that draw over them).
    int first_row() const { return first_row_; }
    int last_row() const { return last_row_; }

private:
    struct Placed {
        int col;    // screen column
        int width;  // cells
    };

    void lay_out_columns();
    void draw_frame_rows();
    void draw_separator_row(int row, const std::string& sep);
    // Where the current record stands in the window, the rows above and
    // below it filled when the table has them.
    void place_rows();
    void draw_rows();
    void draw_row(int screen_row, bool current);
    void draw_empty_row(int screen_row);
    void put_cursor();
    // Handles a movement key; false for any other key.
    bool move(int key);
    void move_records(int count);
    int call_user(const UserFunction& user, int mode);

    int rows() const { return last_row_ - first_row_ + 1; }

    Screen& screen_;
    dbf::Table& table_;
    int top_, left_, bottom_, right_;
    std::vector<BrowseColumn> columns_;
    std::string head_sep_, col_sep_, foot_sep_;

    std::vector<Placed> placed_;  // for the visible columns, from first_col_
    std::vector<int> widths_;
    int first_col_ = 0;           // leftmost visible column
    int current_col_ = 0;
    int first_row_ = 0, last_row_ = -1;
    int row_pos_ = 0;             // the current record's row in the window
    std::vector<std::uint32_t> shown_;  // record numbers on the rows, 0 for none
    bool hit_top_ = false, hit_end_ = false;
    bool empty_ = false;
    std::uint8_t standard_ = 0x07, enhanced_ = 0x70;
};

}  // namespace durva::screen
