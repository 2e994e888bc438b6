#pragma once
// The virtual 25 x 80 screen every feature draws on: cells of one code-page
// (Mazovia) byte and one colour attribute, the current colour setting, the
// cursor, and the keyboard with its type-ahead buffer. A Terminal back-end
// shows it; tests read it cell by cell.
//
// Every change is handed to the terminal at once, so whatever was drawn is on
// view while the program goes on working (a driver run, a long send).
#include <array>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "common/screen/colour.h"
#include "platform/clock.h"
#include "platform/terminal.h"

namespace durva::screen {

inline constexpr int kRows = 25;
inline constexpr int kCols = 80;

struct Cell {
    std::uint8_t ch = ' ';
    std::uint8_t attr = 0x07;
};

struct SavedRect {
    int top = 0, left = 0, bottom = -1, right = -1;
    std::vector<Cell> cells;
};

enum class FrameStyle { Single, Double };

class Screen {
public:
    Screen(platform::Terminal& terminal, platform::Clock& clock);

    bool is_colour() const;

    // Colour setting as a colour string; set_colour returns the previous one.
    // colour() gives the canonical form of all five colours ("W/N,N/W,N/N,N/N,N/W"),
    // so handing it back to set_colour restores exactly what was in force.
    std::string set_colour(std::string_view colours_text);
    const std::string& colour() const;
    const ColourSetting& colours() const { return colours_; }

    // Writes code-page text at row, col in the standard colour; the cursor
    // ends after it. Text beyond column 79 is cut.
    void say(int row, int col, std::string_view text);
    // The same in the standard colour of `colour_spec`, which is not kept.
    void say(int row, int col, std::string_view text, std::string_view colour_spec);
    // The same with an explicit attribute.
    void say_attr(int row, int col, std::string_view text, std::uint8_t attr);

    // Console output from the cursor on: line feed goes to the next row (the
    // screen scrolls up from the bottom row), carriage return to column 0,
    // text runs on to the next row at column 80. Standard colour.
    void out(std::string_view text);

    void clear();  // whole screen in the default colour, cursor home
    // Clears the rectangle in the standard colour; the cursor goes to its top left.
    void clear_rect(int top, int left, int bottom, int right);
    // A frame without filling its inside, in the standard colour. Over one row
    // it is a line of the top character, over one column a line of the side one.
    void frame(int top, int left, int bottom, int right, FrameStyle style);

    SavedRect save(int top, int left, int bottom, int right) const;
    void restore(const SavedRect& rect);
    SavedRect save_all() const { return save(0, 0, kRows - 1, kCols - 1); }

    // Reading the screen (tests, and save/restore of callers).
    Cell cell(int row, int col) const;
    std::string text(int row, int col, int len) const;

    // Cursor position (kept on the screen) and visibility.
    int row() const { return cursor_row_; }
    int col() const { return cursor_col_; }
    void set_cursor(int row, int col);
    bool cursor_visible() const { return cursor_visible_; }
    void show_cursor(bool visible);

    // Waits up to `seconds` for a key (0 or less: for ever) and returns its xBase code,
    // or 0 when none came. The key is consumed. A key that means nothing to the
    // program (a character outside the code page, a sequence of no known key)
    // ends a timed wait all the same and gives 0; a wait for ever passes over
    // it, so that it always returns a key. The last key stays what it was.
    int inkey(double seconds);
    // A pause: up to `seconds` (0 or less: for ever) or until any key at all,
    // one that means nothing included, which is consumed. Returns the key's
    // code, 0 for none or one that means nothing.
    int pause(double seconds);
    // A key already waiting, without waiting; 0 when there is none.
    int poll_key();
    int last_key() const;

    // The type-ahead buffer. keyboard() empties it (keys typed ahead included)
    // and puts the bytes in as keys, as the operators' programs' KEYBOARD did;
    // put_key() adds one key code of any kind after those already waiting;
    // clear_keys() discards everything typed ahead.
    void keyboard(std::string_view bytes);
    void put_key(int code);
    void clear_keys();

    // Entry fields type in insert mode unless the operator switched it off with Ins.
    bool insert_mode() const { return insert_mode_; }
    void set_insert_mode(bool on) { insert_mode_ = on; }

    // A tone of the given frequency for a number of clock ticks (18.2 a second);
    // the program waits for it to end, as it always did.
    void tone(int frequency_hz, double ticks);

    // Hands the screen to the terminal again (after a resize, say).
    void refresh();

    platform::Clock& clock() { return clock_; }

private:
    Cell& at(int row, int col) { return cells_[static_cast<std::size_t>(row * kCols + col)]; }
    const Cell& at(int row, int col) const { return cells_[static_cast<std::size_t>(row * kCols + col)]; }
    void put_text(int row, int col, std::string_view text, std::uint8_t attr);
    void scroll_up();
    int translate(const platform::InputKey& key) const;
    int wait_key(double seconds, bool any_key_ends);
    void present();

    platform::Terminal& terminal_;
    platform::Clock& clock_;
    std::array<Cell, kRows * kCols> cells_{};
    ColourSetting colours_{};
    std::string colour_string_;
    int cursor_row_ = 0, cursor_col_ = 0;
    bool cursor_visible_ = true;
    std::deque<int> typeahead_;
    int last_key_ = 0;
    bool insert_mode_ = true;
    std::vector<platform::TermCell> frame_;
    // The cells as frame_ shows them, once it was first worked out.
    std::array<Cell, kRows * kCols> presented_cells_{};
    bool presented_ = false;
    bool presented_mono_ = false;
};

}  // namespace durva::screen
