#pragma once
// The light-bar menu: items written at their own rows and columns, the
// current one redrawn in the enhanced colour. Down/Right and Up/Left move
// with wrap-around, Home and End jump to the ends, Enter, PgUp and PgDn
// choose, Esc gives 0, and typing a character chooses at once the first item
// whose text without leading blanks starts with it (letters compared in
// upper case). Afterwards the cursor stands at row 23, column 0.
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "common/screen/screen.h"

namespace durva::screen {

class Menu {
public:
    explicit Menu(Screen& screen) : screen_(screen) {}

    // Adds an item and writes it at once in the standard colour.
    void prompt(int row, int col, std::string_view text);
    // Runs the menu starting on item `start` (1 for the first, clamped to the
    // items there are); returns the chosen item's position, 0 on Esc or when
    // there are no items.
    int run(int start);
    // A key that does something of its own while the menu waits (it leaves
    // the screen as it found it); the menu then goes on where it was.
    void on_key(int key, std::function<void()> action) { keys_[key] = std::move(action); }
    // Drops the items (they stay on the screen).
    void clear() { items_.clear(); }
    std::size_t size() const { return items_.size(); }

private:
    struct Item {
        int row, col;
        std::string text;
    };
    void draw(std::size_t index, bool current);
    int first_starting_with(int key) const;

    Screen& screen_;
    std::vector<Item> items_;
    std::map<int, std::function<void()>> keys_;
};

}  // namespace durva::screen
