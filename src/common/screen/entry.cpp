#include "common/screen/entry.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <vector>

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
std::uint8_t accept(char symbol, std::uint8_t c, bool numeric) {
    switch (symbol) {
        case '9': return is_digit(c) || (numeric && (c == '-' || c == '+')) ? c : 0;
        case '#': return is_digit(c) || c == ' ' || c == '-' || c == '+' ? c : 0;
        case 'A': return is_letter(c) ? c : 0;
        case 'N': return is_letter(c) || is_digit(c) ? c : 0;
        case '!': return upper(c);
        default: return c;
    }
}

enum class Exit { Next, Previous, Write, Abandon };

// Editing one field's text buffer.
class FieldEditor {
public:
    FieldEditor(Screen& screen, const std::string& picture, bool numeric, std::string text)
        : screen_(screen), picture_(picture), numeric_(numeric), buffer_(std::move(text)) {
        for (std::size_t i = 0; i < picture_.size(); ++i)
            if (is_symbol(picture_[i])) slots_.push_back(static_cast<int>(i));
        pos_ = slots_.empty() ? width() : slots_.front();
    }

    const std::string& buffer() const { return buffer_; }
    bool changed() const { return changed_; }
    int cursor() const { return std::min(pos_, slots_.empty() ? 0 : slots_.back()); }

    // Handles one key; returns how the field is left, or nothing to stay.
    std::optional<Exit> handle(int key) {
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
    void remove_at(int at) {
        for (std::size_t k = slot_index(at); k + 1 < slots_.size(); ++k)
            set(slots_[k], buffer_[static_cast<std::size_t>(slots_[k + 1])]);
        if (!slots_.empty()) set(slots_.back(), ' ');
    }
    void type(std::uint8_t c, bool first) {
        if (pos_ >= width()) return;  // a full field waits for Enter
        const char symbol = picture_[static_cast<std::size_t>(pos_)];
        const std::uint8_t b = accept(symbol, c, numeric_);
        if (b == 0) return;
        if (numeric_ && first) {
            // A number is typed afresh, not edited into the old one.
            for (int s : slots_) set(s, ' ');
            pos_ = slots_.front();
        }
        if (screen_.insert_mode())
            for (std::size_t k = slots_.size() - 1; k > slot_index(pos_); --k)
                set(slots_[k], buffer_[static_cast<std::size_t>(slots_[k - 1])]);
        set(pos_, static_cast<char>(b));
        pos_ = next_slot(pos_ + 1);
    }

    Screen& screen_;
    const std::string& picture_;
    bool numeric_;
    std::string buffer_;
    std::vector<int> slots_;
    int pos_ = 0;
    bool fresh_ = true;
    bool changed_ = false;
};

int decimals_of(std::string_view picture) {
    auto point = picture.find('.');
    return point == std::string_view::npos ? 0 : static_cast<int>(picture.size() - point - 1);
}

double parse_number(const std::string& text) {
    std::string digits;
    for (char c : text)
        if (c != ' ') digits += c;
    if (digits.empty()) return 0;
    char* end = nullptr;
    double v = std::strtod(digits.c_str(), &end);
    return std::isfinite(v) ? v : 0;
}

std::string default_picture(std::size_t width) { return std::string(width, 'X'); }

}  // namespace

std::string format_number(double value, std::string_view picture) {
    const int width = static_cast<int>(picture.size());
    const int decimals = decimals_of(picture);
    char buf[64];
    int n = std::snprintf(buf, sizeof buf, "%*.*f", width, decimals, value);
    if (n < 0 || n > width) return std::string(static_cast<std::size_t>(width), '*');
    return buf;
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
