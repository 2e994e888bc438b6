#pragma once
// The virtual 25 x 80 screen every feature draws on: cells of one code-page
// (Mazovia) byte and one colour attribute, the current colour setting, the
// cursor, and the keyboard with its type-ahead buffer. A Terminal back-end
// shows it; tests read it cell by cell.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

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

class Screen {
public:
    Screen(platform::Terminal& terminal, platform::Clock& clock);

    bool is_colour() const;

    // Colour setting as a colour string; set_colour returns the previous one.
    std::string set_colour(std::string_view spec);
    const std::string& colour() const;

    // Writes code-page text at row, col in the standard colour; the cursor
    // ends after it. Text beyond column 79 is cut.
    void say(int row, int col, std::string_view text);

    void clear();  // whole screen in the default colour, cursor home

    SavedRect save(int top, int left, int bottom, int right) const;
    void restore(const SavedRect& rect);

    // Reading the screen (tests, and save/restore of callers).
    Cell cell(int row, int col) const;
    std::string text(int row, int col, int len) const;

    // Waits up to `seconds` for a key (0: for ever) and returns its xBase code,
    // or 0 when none came. The key is consumed.
    int inkey(double seconds);
    int last_key() const;
};

}  // namespace durva::screen
