#include "common/screen/screen.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "common/screen/codepage.h"

namespace durva::screen {

namespace {

constexpr char kBell = '\x07';

struct FrameChars {
    char top_left, top, top_right, right, bottom_right, bottom, bottom_left, left;
};

constexpr FrameChars kSingleFrame = {'\xDA', '\xC4', '\xBF', '\xB3', '\xD9', '\xC4', '\xC0', '\xB3'};
constexpr FrameChars kDoubleFrame = {'\xC9', '\xCD', '\xBB', '\xBA', '\xBC', '\xCD', '\xC8', '\xBA'};

int clamp_row(int r) { return std::clamp(r, 0, kRows - 1); }
int clamp_col(int c) { return std::clamp(c, 0, kCols - 1); }

}  // namespace

Screen::Screen(platform::Terminal& terminal, platform::Clock& clock)
    : terminal_(terminal), clock_(clock), colour_string_(colour_string(colours_)),
      frame_(static_cast<std::size_t>(kRows * kCols)) {}

bool Screen::is_colour() const { return terminal_.has_colors(); }

std::string Screen::set_colour(std::string_view colours_text) {
    std::string previous = colour_string_;
    colours_ = parse_colour(colours_text, colours_);
    colour_string_ = colour_string(colours_);
    return previous;
}

const std::string& Screen::colour() const { return colour_string_; }

void Screen::put_text(int row, int col, std::string_view text, std::uint8_t attr) {
    int c = col;
    for (char ch : text) {
        if (ch == kBell) continue;  // the bell neither sounds nor takes a cell
        if (row >= 0 && row < kRows && c >= 0 && c < kCols) at(row, c) = Cell{static_cast<std::uint8_t>(ch), attr};
        ++c;
    }
    cursor_row_ = clamp_row(row);
    cursor_col_ = clamp_col(c);
    present();
}

void Screen::say(int row, int col, std::string_view text) { put_text(row, col, text, colours_.standard); }

void Screen::say(int row, int col, std::string_view text, std::string_view colour_spec) {
    put_text(row, col, text, parse_colour(colour_spec, colours_).standard);
}

void Screen::say_attr(int row, int col, std::string_view text, std::uint8_t attr) {
    put_text(row, col, text, attr);
}

void Screen::scroll_up() {
    std::move(cells_.begin() + kCols, cells_.end(), cells_.begin());
    std::fill(cells_.end() - kCols, cells_.end(), Cell{' ', colours_.standard});
}

void Screen::out(std::string_view text) {
    int r = cursor_row_, c = cursor_col_;
    auto next_line = [&] {
        c = 0;
        if (++r >= kRows) {
            scroll_up();
            r = kRows - 1;
        }
    };
    for (char ch : text) {
        switch (ch) {
            case kBell: break;
            case '\r': c = 0; break;
            case '\n': next_line(); break;
            case '\b': c = std::max(0, c - 1); break;
            default:
                at(r, c) = Cell{static_cast<std::uint8_t>(ch), colours_.standard};
                if (++c >= kCols) next_line();
                break;
        }
    }
    cursor_row_ = r;
    cursor_col_ = c;
    present();
}

void Screen::clear() {
    cells_.fill(Cell{' ', kDefaultAttr});
    cursor_row_ = cursor_col_ = 0;
    present();
}

void Screen::clear_rect(int top, int left, int bottom, int right) {
    top = clamp_row(top), bottom = clamp_row(bottom), left = clamp_col(left), right = clamp_col(right);
    for (int r = top; r <= bottom; ++r)
        for (int c = left; c <= right; ++c) at(r, c) = Cell{' ', colours_.standard};
    cursor_row_ = top;
    cursor_col_ = left;
    present();
}

void Screen::frame(int top, int left, int bottom, int right, FrameStyle style) {
    if (top > bottom) std::swap(top, bottom);
    if (left > right) std::swap(left, right);
    const FrameChars& f = style == FrameStyle::Single ? kSingleFrame : kDoubleFrame;
    const std::uint8_t attr = colours_.standard;
    auto put = [&](int r, int c, char ch) {
        if (r >= 0 && r < kRows && c >= 0 && c < kCols) at(r, c) = Cell{static_cast<std::uint8_t>(ch), attr};
    };
    if (top == bottom) {
        for (int c = left; c <= right; ++c) put(top, c, f.top);
    } else if (left == right) {
        for (int r = top; r <= bottom; ++r) put(r, left, f.left);
    } else {
        for (int c = left + 1; c < right; ++c) {
            put(top, c, f.top);
            put(bottom, c, f.bottom);
        }
        for (int r = top + 1; r < bottom; ++r) {
            put(r, left, f.left);
            put(r, right, f.right);
        }
        put(top, left, f.top_left);
        put(top, right, f.top_right);
        put(bottom, right, f.bottom_right);
        put(bottom, left, f.bottom_left);
    }
    present();
}

SavedRect Screen::save(int top, int left, int bottom, int right) const {
    SavedRect rect;
    rect.top = clamp_row(std::min(top, bottom));
    rect.bottom = clamp_row(std::max(top, bottom));
    rect.left = clamp_col(std::min(left, right));
    rect.right = clamp_col(std::max(left, right));
    for (int r = rect.top; r <= rect.bottom; ++r)
        for (int c = rect.left; c <= rect.right; ++c) rect.cells.push_back(at(r, c));
    return rect;
}

void Screen::restore(const SavedRect& rect) {
    if (rect.top < 0 || rect.left < 0 || rect.bottom >= kRows || rect.right >= kCols) return;
    if (rect.bottom < rect.top || rect.right < rect.left) return;
    const auto width = static_cast<std::size_t>(rect.right - rect.left + 1);
    if (rect.cells.size() != width * static_cast<std::size_t>(rect.bottom - rect.top + 1)) return;
    std::size_t i = 0;
    for (int r = rect.top; r <= rect.bottom; ++r)
        for (int c = rect.left; c <= rect.right; ++c) at(r, c) = rect.cells[i++];
    present();
}

Cell Screen::cell(int row, int col) const {
    if (row < 0 || row >= kRows || col < 0 || col >= kCols) return Cell{};
    return at(row, col);
}

std::string Screen::text(int row, int col, int len) const {
    std::string s;
    if (row < 0 || row >= kRows) return s;
    for (int c = std::max(col, 0); c < col + len && c < kCols; ++c) s += static_cast<char>(at(row, c).ch);
    return s;
}

void Screen::set_cursor(int row, int col) {
    cursor_row_ = clamp_row(row);
    cursor_col_ = clamp_col(col);
    present();
}

void Screen::show_cursor(bool visible) {
    cursor_visible_ = visible;
    present();
}

int Screen::translate(const platform::InputKey& key) const {
    if (key.code != 0) return key.code;
    if (key.ch == 0) return 0;
    auto byte = from_unicode(key.ch);
    return byte ? *byte : 0;
}

int Screen::inkey(double seconds) { return wait_key(seconds, seconds > 0); }

int Screen::pause(double seconds) { return wait_key(seconds, true); }

int Screen::wait_key(double seconds, bool any_key_ends) {
    if (!typeahead_.empty()) {
        last_key_ = typeahead_.front();
        typeahead_.pop_front();
        return last_key_;
    }
    present();
    const bool forever = !(seconds > 0);
    const std::int64_t deadline = clock_.now_ms() + (forever ? 0 : std::llround(seconds * 1000.0));
    for (;;) {
        int timeout = -1;
        if (!forever) {
            std::int64_t remaining = deadline - clock_.now_ms();
            if (remaining <= 0) return 0;
            timeout = static_cast<int>(std::min<std::int64_t>(remaining, 1'000'000'000));
        }
        auto key = terminal_.read_key(timeout);
        if (!key) continue;
        const int code = translate(*key);
        if (code == 0 && !any_key_ends) continue;
        if (code != 0) last_key_ = code;
        return code;
    }
}

int Screen::poll_key() {
    if (!typeahead_.empty()) return inkey(0);
    present();
    for (;;) {
        auto key = terminal_.read_key(0);
        if (!key) return 0;
        if (int code = translate(*key); code != 0) {
            last_key_ = code;
            return code;
        }
    }
}

int Screen::last_key() const { return last_key_; }

void Screen::keyboard(std::string_view bytes) {
    clear_keys();
    for (char b : bytes) typeahead_.push_back(static_cast<std::uint8_t>(b));
}

void Screen::put_key(int code) { typeahead_.push_back(code); }

void Screen::clear_keys() {
    typeahead_.clear();
    // Keys the terminal holds were typed ahead too. The bound only guards
    // against a terminal that never runs dry.
    for (int i = 0; i < 4096 && terminal_.read_key(0); ++i) {
    }
}

void Screen::tone(int frequency_hz, double ticks) {
    const std::int64_t ms = ticks > 0 ? std::llround(ticks * 1000.0 / 18.2) : 0;
    present();
    terminal_.tone(frequency_hz, static_cast<int>(ms));
    clock_.sleep_ms(ms);
}

void Screen::refresh() { present(); }

void Screen::present() {
    const bool mono = !terminal_.has_colors();
    // Only the cells changed since the last time are worked out again: a
    // long send hands over the screen for every step of its progress.
    const bool every_cell = !presented_ || mono != presented_mono_;
    for (std::size_t i = 0; i < cells_.size(); ++i) {
        const Cell& c = cells_[i];
        if (!every_cell && c.ch == presented_cells_[i].ch && c.attr == presented_cells_[i].attr) continue;
        // On a monochrome screen blue on black is the underline attribute.
        frame_[i] = platform::TermCell{to_unicode(c.ch), c.attr, mono && (c.attr & 0x77) == 0x01};
        presented_cells_[i] = c;
    }
    presented_ = true;
    presented_mono_ = mono;
    terminal_.present(frame_.data(), kRows, kCols, cursor_row_, cursor_col_, cursor_visible_);
}

}  // namespace durva::screen
