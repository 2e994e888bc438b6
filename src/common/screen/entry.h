#pragma once
// Entry fields: a list of fields edited in turn, each bound to a variable
// of its caller. A field shows in the unselected colour and, while it is
// edited, in the enhanced colour (both taken from the colour setting in force
// when the field is added). A picture gives one symbol per position: "9" a
// digit, "#" a digit, blank or sign, "A" a letter, "N" a letter or digit, "X"
// any character, "!" any character turned to upper case; other symbols stand
// in the field as they are and the cursor skips them.
//
// Keys: typing goes in at the cursor (insert mode, toggled by Ins, is the
// screen's); a full field is not left by typing. Enter and Down (or Tab) go to
// the next field, Enter on the last ends the entry; Up (or Shift-Tab) goes
// back; PgDn, PgUp and Ctrl-End end the entry keeping what was typed; Esc ends
// it at once, the field being edited keeping its old value. Leaving a field
// other than with Esc stores it in its variable (when it was changed) and
// then tests its validation rule: while the rule is false the cursor stays in
// the field. The key that ended the entry is the screen's last key, so
// callers test for Esc (27).
#include <deque>
#include <functional>
#include <string>
#include <string_view>

#include "common/screen/screen.h"

namespace durva::screen {

class Entry;

class EntryField {
public:
    // A rule tested when the field is left; it reads the bound variable,
    // which already holds what was typed.
    EntryField& valid(std::function<bool()> rule) {
        valid_ = std::move(rule);
        return *this;
    }
    int row() const { return row_; }
    int col() const { return col_; }
    int width() const { return static_cast<int>(picture_.size()); }

private:
    friend class Entry;
    int row_ = 0, col_ = 0;
    std::string picture_;
    bool numeric_ = false;
    std::function<std::string()> load_;  // the variable as field text
    std::function<void(const std::string&)> store_;
    std::function<bool()> valid_;
    std::uint8_t active_attr_ = 0x70, inactive_attr_ = 0x70;
};

class Entry {
public:
    explicit Entry(Screen& screen) : screen_(screen) {}

    // A text field; without a picture the field is as wide as the value and
    // takes any character. A value longer than the picture keeps its tail.
    EntryField& field(int row, int col, std::string& value, std::string_view picture = {});
    // Numeric fields, shown right-aligned in the picture's width ("999",
    // "99999999", "9999.99"); the first character typed clears the field.
    EntryField& field(int row, int col, int& value, std::string_view picture);
    EntryField& field(int row, int col, double& value, std::string_view picture);

    // The prompt at row, col in the standard colour and the field one column
    // after it.
    EntryField& say_field(int row, int col, std::string_view prompt, std::string& value,
                          std::string_view picture = {});
    EntryField& say_field(int row, int col, std::string_view prompt, int& value, std::string_view picture);
    EntryField& say_field(int row, int col, std::string_view prompt, double& value, std::string_view picture);

    // Runs the entry over the fields added so far, then drops them. Returns the
    // key that ended it (Key::Esc when abandoned); 0 when there were no fields.
    int read();
    bool abandoned() const { return abandoned_; }
    // From within a validation rule: end the whole entry once this field is
    // left, as if it were the last one.
    void end_entry() { end_requested_ = true; }
    // Drops the pending fields (they stay on the screen).
    void clear() { fields_.clear(); }
    std::size_t size() const { return fields_.size(); }

private:
    EntryField& add(int row, int col, std::string_view picture, bool numeric, std::function<std::string()> load,
                    std::function<void(const std::string&)> store);
    void display(const EntryField& f, const std::string& text, bool active);

    Screen& screen_;
    std::deque<EntryField> fields_;
    bool abandoned_ = false;
    bool end_requested_ = false;
};

// The field text of a number in a numeric picture: right-aligned, with the
// picture's decimals, all stars when it does not fit.
std::string format_number(double value, std::string_view picture);

}  // namespace durva::screen
