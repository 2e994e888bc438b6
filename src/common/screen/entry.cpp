#include "common/screen/entry.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <vector>

#include "common/dbf/xbase_values.h"
#include "common/screen/codepage.h"
#include "common/screen/keys.h"

namespace durva::screen {

namespace {

bool is_symbol(char p) { return p == '9' || p == '#' || p == 'A' || p == 'N' || p == 'X' || p == '!'; }

bool is_digit(std::uint8_t c) { return c >= '0' && c <= '9'; }

bool is_letter(std::uint8_t c) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) return true;
    // The Polish letters of the code page, both cases.
    switch (c) {
        case 0x86: case 0x8D: case 0x91: case 0x92: case 0xA4: case 0xA2: case 0x9E: case 0xA6: case 0xA7:
        case 0x8F: case 0x95: case 0x90: case 0x9C: case 0xA5: case 0xA3: case 0x98: case 0xA0: case 0xA1:
            return true;
        default:
            return false;
    }
}

// The byte a picture symbol takes for a typed byte, or 0 when it refuses it.
// Signs in numeric fields are the editor's to place.
std::uint8_t accept(char symbol, std::uint8_t c) {
    switch (symbol) {
        case '9': return is_digit(c) ? c : 0;
        case '#': return is_digit(c) || c == ' ' || c == '-' || c == '+' ? c : 0;
        case 'A': return is_letter(c) ? c : 0;
        case 'N': return is_letter(c) || is_digit(c) ? c : 0;
        case '!': return upper(c);
        default: return c;
    }
}

bool is_sign(std::uint8_t c) { return c == '-' || c == '+'; }
bool is_point(std::uint8_t c) { return c == '.' || c == ','; }  // the keypad's point is a comma on Polish keyboards

enum class Exit { Next, Previous, Write, Abandon };

// Editing one field's text buffer.
class FieldEditor {
public:
    FieldEditor(Screen& screen, const std::string& picture, bool numeric, std::string text)
        : screen_(screen), picture_(picture), numeric_(numeric), buffer_(std::move(text)) {
        for (std::size_t i = 0; i < picture_.size(); ++i)
            if (is_symbol(picture_[i])) slots_.push_back(static_cast<int>(i));
        pos_ = slots_.empty() ? width() : slots_.front();
        const auto point = numeric_ ? picture_.find('.') : std::string::npos;
        point_ = point == std::string::npos ? -1 : static_cast<int>(point);
    }

    const std::string& buffer() const { return buffer_; }
    bool changed() const { return changed_; }
    int cursor() const { return std::min(pos_, slots_.empty() ? 0 : slots_.back()); }

    // Handles one key; returns how the field is left, or nothing to stay.
    std::optional<Exit> handle(int key) {
        if (key == 0) return std::nullopt;  // a key that means nothing changes nothing
        const bool first = fresh_;
        fresh_ = false;
        switch (key) {
            case Key::Enter: case Key::Down: case Key::Tab: return Exit::Next;
            case Key::Up: case Key::ShiftTab: return Exit::Previous;
            case Key::PgDn: case Key::PgUp: case Key::CtrlEnd: return Exit::Write;
            case Key::Esc: return Exit::Abandon;
            case Key::Left: pos_ = previous_slot(cursor()); break;
            case Key::Right: pos_ = std::min(next_slot(cursor() + 1), slots_.empty() ? 0 : slots_.back()); break;
            case Key::Home: pos_ = slots_.empty() ? 0 : slots_.front(); break;
            case Key::End: pos_ = end_position(); break;
            case Key::Ins: screen_.set_insert_mode(!screen_.insert_mode()); break;
            case Key::Backspace:
                if (int p = previous_slot(pos_); p < pos_) {
                    remove_at(p);
                    pos_ = p;
                }
                break;
            case Key::Del:
                if (pos_ < width()) remove_at(pos_);
                break;
            case Key::CtrlY:
                for (int s : slots_)
                    if (s >= pos_) set(s, ' ');
                break;
            default:
                if (is_typed_character(key)) type(static_cast<std::uint8_t>(key), first);
                break;
        }
        return std::nullopt;
    }

private:
    int width() const { return static_cast<int>(picture_.size()); }
    int next_slot(int from) const {
        for (int s : slots_)
            if (s >= from) return s;
        return width();
    }
    int previous_slot(int from) const {
        int best = from;
        for (int s : slots_)
            if (s < from) best = s;
        return best;
    }
    int end_position() const {
        int last_used = -1;
        for (std::size_t k = 0; k < slots_.size(); ++k)
            if (buffer_[static_cast<std::size_t>(slots_[k])] != ' ') last_used = static_cast<int>(k);
        if (last_used < 0) return slots_.empty() ? 0 : slots_.front();
        const auto next = static_cast<std::size_t>(last_used) + 1;
        return next < slots_.size() ? slots_[next] : slots_.back();
    }
    void set(int at, char c) {
        if (buffer_[static_cast<std::size_t>(at)] != c) changed_ = true;
        buffer_[static_cast<std::size_t>(at)] = c;
    }
    std::size_t slot_index(int at) const {
        return static_cast<std::size_t>(std::find(slots_.begin(), slots_.end(), at) - slots_.begin());
    }
    // The slots a change shifts within: in a number the whole part and the
    // decimals are apart, so a digit never crosses the point; text fields
    // shift over all their slots.
    std::pair<std::size_t, std::size_t> section_of(int at) const {
        std::size_t first = 0, last = slots_.empty() ? 0 : slots_.size() - 1;
        if (point_ >= 0) {
            const std::size_t whole = slot_index(next_slot(point_));  // slots before the point
            if (at < point_) last = whole == 0 ? 0 : whole - 1;
            else first = whole;
        }
        return {first, last};
    }
    char at_slot(std::size_t k) const { return buffer_[static_cast<std::size_t>(slots_[k])]; }
    void remove_at(int at) {
        const std::size_t last = section_of(at).second;
        for (std::size_t k = slot_index(at); k < last; ++k) set(slots_[k], at_slot(k + 1));
        if (!slots_.empty()) set(slots_[last], ' ');
    }
    bool whole_part_blank_before(int at) const {
        for (int s : slots_)
            if (s < at && buffer_[static_cast<std::size_t>(s)] != ' ') return false;
        return true;
    }
    // The point typed into a number: what was typed of the whole part moves
    // to the right against the point, and the cursor goes to the decimals.
    void type_point() {
        if (previous_slot(point_) < point_) {
            const auto [first, last] = section_of(point_ - 1);
            std::string typed;
            for (std::size_t k = first; k <= last; ++k)
                if (at_slot(k) != ' ') typed += at_slot(k);
            const std::size_t blanks = last - first + 1 - typed.size();
            for (std::size_t k = first; k <= last; ++k)
                set(slots_[k], k - first < blanks ? ' ' : typed[k - first - blanks]);
        }
        pos_ = next_slot(point_);
    }
    bool has_decimals() const { return point_ >= 0 && next_slot(point_) < width(); }
    void type(std::uint8_t c, bool first) {
        if (numeric_ && is_point(c) && !has_decimals()) return;
        if (numeric_ && first && (is_digit(c) || is_sign(c) || is_point(c))) {
            // A number is typed afresh, not edited into the old one.
            for (int s : slots_) set(s, ' ');
            pos_ = slots_.empty() ? width() : slots_.front();
        }
        if (numeric_ && is_point(c)) return type_point();
        if (pos_ >= width()) return;  // a full field waits for Enter
        const char symbol = picture_[static_cast<std::size_t>(pos_)];
        std::uint8_t b = 0;
        if (numeric_ && is_sign(c)) {
            // A sign leads the whole part: only where nothing stands before it.
            if ((symbol == '9' || symbol == '#') && (point_ < 0 || pos_ < point_) && whole_part_blank_before(pos_))
                b = c;
        } else {
            b = accept(symbol, c);
        }
        if (b == 0) return;
        if (screen_.insert_mode()) {
            const std::size_t last = section_of(pos_).second;
            // A digit typed on a blank of a number takes it. A whole part
            // that is full takes no more digits; decimals let their last one
            // go, as text fields let their last character go.
            const bool blank = at_slot(slot_index(pos_)) == ' ';
            const bool whole = numeric_ && (point_ < 0 || pos_ < point_);
            if (whole && !blank && at_slot(last) != ' ') return;
            if (!(numeric_ && blank))
                for (std::size_t k = last; k > slot_index(pos_); --k) set(slots_[k], at_slot(k - 1));
        }
        set(pos_, static_cast<char>(b));
        pos_ = next_slot(pos_ + 1);
    }

    Screen& screen_;
    const std::string& picture_;
    bool numeric_;
    std::string buffer_;
    std::vector<int> slots_;
    int pos_ = 0;
    int point_ = -1;  // the decimal point's position in a numeric picture
    bool fresh_ = true;
    bool changed_ = false;
};

int decimals_of(std::string_view picture) {
    auto point = picture.find('.');
    return point == std::string_view::npos ? 0 : static_cast<int>(picture.size() - point - 1);
}

// The typed text as a number: the blanks left between digits while editing
// do not count.
double parse_number(const std::string& text) {
    std::string compact;
    for (char c : text)
        if (c != ' ') compact += c;
    return dbf::val_number(compact);
}

std::string default_picture(std::size_t width) { return std::string(width, 'X'); }

}  // namespace

std::string format_number(double value, std::string_view picture) {
    // Shown as the tables store it, so a field never shows another number
    // than the one its record will hold.
    return dbf::str_number(value, static_cast<int>(picture.size()), decimals_of(picture));
}

EntryField& Entry::add(int row, int col, std::string_view picture, bool numeric, std::function<std::string()> load,
                       std::function<void(const std::string&)> store) {
    EntryField& f = fields_.emplace_back();
    f.row_ = row;
    f.col_ = col;
    f.picture_ = std::string(picture);
    f.numeric_ = numeric;
    f.load_ = std::move(load);
    f.store_ = std::move(store);
    f.active_attr_ = screen_.colours().enhanced;
    f.inactive_attr_ = screen_.colours().unselected;
    display(f, f.load_(), false);
    return f;
}

EntryField& Entry::field(int row, int col, std::string& value, std::string_view picture) {
    std::string pic = picture.empty() ? default_picture(value.size()) : std::string(picture);
    auto load = [&value, pic] {
        std::string text = value.substr(0, std::min(value.size(), pic.size()));
        text.resize(pic.size(), ' ');
        for (std::size_t i = 0; i < pic.size(); ++i) {
            if (pic[i] == '!') text[i] = static_cast<char>(upper(static_cast<std::uint8_t>(text[i])));
            else if (!is_symbol(pic[i])) text[i] = pic[i];
        }
        return text;
    };
    auto store = [&value, width = pic.size()](const std::string& text) {
        value = text + (value.size() > width ? value.substr(width) : std::string());
    };
    return add(row, col, pic, false, std::move(load), std::move(store));
}

EntryField& Entry::field(int row, int col, double& value, std::string_view picture) {
    std::string pic = picture.empty() ? std::string(10, '9') : std::string(picture);
    return add(row, col, pic, true, [&value, pic] { return format_number(value, pic); },
               [&value](const std::string& text) { value = parse_number(text); });
}

EntryField& Entry::field(int row, int col, int& value, std::string_view picture) {
    std::string pic = picture.empty() ? std::string(10, '9') : std::string(picture);
    return add(row, col, pic, true, [&value, pic] { return format_number(value, pic); },
               [&value](const std::string& text) { value = static_cast<int>(std::lround(parse_number(text))); });
}

EntryField& Entry::say_field(int row, int col, std::string_view prompt, std::string& value,
                             std::string_view picture) {
    screen_.say(row, col, prompt);
    return field(row, col + static_cast<int>(prompt.size()) + 1, value, picture);
}

EntryField& Entry::say_field(int row, int col, std::string_view prompt, int& value, std::string_view picture) {
    screen_.say(row, col, prompt);
    return field(row, col + static_cast<int>(prompt.size()) + 1, value, picture);
}

EntryField& Entry::say_field(int row, int col, std::string_view prompt, double& value, std::string_view picture) {
    screen_.say(row, col, prompt);
    return field(row, col + static_cast<int>(prompt.size()) + 1, value, picture);
}

void Entry::display(const EntryField& f, const std::string& text, bool active) {
    screen_.say_attr(f.row_, f.col_, text, active ? f.active_attr_ : f.inactive_attr_);
}

int Entry::read() {
    abandoned_ = false;
    end_requested_ = false;
    if (fields_.empty()) return 0;
    const int count = static_cast<int>(fields_.size());
    int index = 0;
    bool done = false;
    while (!done) {
        EntryField& f = fields_[static_cast<std::size_t>(index)];
        if (f.picture_.empty()) {  // nothing to edit: pass over it
            if (++index >= count) break;
            continue;
        }
        FieldEditor editor(screen_, f.picture_, f.numeric_, f.load_());
        std::optional<Exit> exit;
        while (!exit) {
            display(f, editor.buffer(), true);
            screen_.set_cursor(f.row_, f.col_ + editor.cursor());
            exit = editor.handle(screen_.inkey(0));
        }
        if (*exit == Exit::Abandon) {
            display(f, f.load_(), false);
            abandoned_ = true;
            break;
        }
        if (editor.changed()) f.store_(editor.buffer());
        display(f, f.load_(), false);
        if (f.valid_ && !f.valid_()) {
            end_requested_ = false;
            continue;  // the cursor stays in the field
        }
        switch (*exit) {
            case Exit::Next:
                if (end_requested_ || (index == count - 1 && screen_.last_key() == Key::Enter))
                    done = true;
                else if (index < count - 1)
                    ++index;
                break;
            case Exit::Previous:
                if (end_requested_) done = true;
                else if (index > 0) --index;
                break;
            case Exit::Write:
            case Exit::Abandon:
                done = true;
                break;
        }
    }
    fields_.clear();
    return screen_.last_key();
}

}  // namespace durva::screen
