#include "common/screen/browse.h"

#include <algorithm>
#include <utility>

#include "common/dbf/xbase_values.h"
#include "common/screen/codepage.h"
#include "common/screen/entry.h"
#include "common/screen/keys.h"

namespace durva::screen {

namespace {

bool is_number(const dbf::FieldValue& v) { return std::holds_alternative<double>(v); }

// Cut or padded to exactly `width` cells; numbers keep their right edge.
std::string fit(std::string text, int width, bool right_aligned) {
    const auto w = static_cast<std::size_t>(std::max(width, 0));
    if (text.size() > w) return right_aligned ? text.substr(text.size() - w) : text.substr(0, w);
    if (right_aligned) return std::string(w - text.size(), ' ') + text;
    text.resize(w, ' ');
    return text;
}

std::string picture_text_of(const std::string& text, std::string_view picture) {
    if (picture.empty()) return text;
    std::string out(picture.size(), ' ');
    for (std::size_t i = 0; i < picture.size(); ++i) {
        const char c = i < text.size() ? text[i] : ' ';
        out[i] = picture[i] == '!' ? static_cast<char>(upper(static_cast<std::uint8_t>(c))) : c;
    }
    return out;
}

}  // namespace

std::string picture_text(const dbf::FieldValue& value, std::string_view picture) {
    if (const auto* d = std::get_if<double>(&value)) {
        return picture.empty() ? dbf::str_number(*d, 10, 0) : format_number(*d, picture);
    }
    if (const auto* s = std::get_if<std::string>(&value)) return picture_text_of(*s, picture);
    if (const auto* date = std::get_if<Date>(&value)) return picture_text_of(date->dtoc(), picture);
    return picture_text_of(std::get<bool>(value) ? "T" : "F", picture);
}

BrowseColumn field_column(std::string field, std::string picture, std::string heading) {
    BrowseColumn c;
    c.heading = std::move(heading);
    c.picture = std::move(picture);
    c.value = [field = std::move(field)](dbf::Table& t) -> dbf::FieldValue {
        if (t.field_pos(field) == 0) return std::string();
        return t.get(field);
    };
    return c;
}

Browse::Browse(Screen& screen, dbf::Table& table, int top, int left, int bottom, int right)
    : screen_(screen), table_(table), top_(std::clamp(top, 0, kRows - 1)), left_(std::clamp(left, 0, kCols - 1)),
      bottom_(std::clamp(bottom, top_, kRows - 1)), right_(std::clamp(right, left_, kCols - 1)) {}

void Browse::add_column(BrowseColumn column) { columns_.push_back(std::move(column)); }

void Browse::set_separators(std::string heading, std::string column, std::string footing) {
    head_sep_ = std::move(heading);
    col_sep_ = std::move(column);
    foot_sep_ = std::move(footing);
}

void Browse::lay_out_columns() {
    widths_.clear();
    for (const BrowseColumn& c : columns_) {
        int width = static_cast<int>(c.heading.size());
        if (!c.picture.empty())
            width = std::max(width, static_cast<int>(c.picture.size()));
        else if (!empty_ && c.value)
            width = std::max(width, static_cast<int>(picture_text(c.value(table_), "").size()));
        widths_.push_back(std::max(width, 1));
    }
    const int sep = static_cast<int>(col_sep_.size());
    auto place_from = [&](int first) {
        placed_.clear();
        int col = left_;
        for (int i = first; i < static_cast<int>(columns_.size()) && col <= right_; ++i) {
            placed_.push_back({col, std::min(widths_[static_cast<std::size_t>(i)], right_ - col + 1)});
            col += widths_[static_cast<std::size_t>(i)] + sep;
        }
    };
    // The current column must be in view, whole when it can be.
    first_col_ = std::clamp(first_col_, 0, std::max(0, current_col_));
    for (;;) {
        place_from(first_col_);
        const int shown = static_cast<int>(placed_.size());
        const int k = current_col_ - first_col_;
        if (k < shown && (placed_[static_cast<std::size_t>(k)].width == widths_[static_cast<std::size_t>(current_col_)] ||
                          k == 0))
            break;
        ++first_col_;
    }
}

void Browse::draw_separator_row(int row, const std::string& sep) {
    if (sep.empty() || placed_.empty()) return;
    const std::string joint = sep.substr(0, sep.size() - 1);
    const char fill = sep.back();
    const int end = std::min(right_, placed_.back().col + placed_.back().width - 1);
    screen_.say_attr(row, left_, std::string(static_cast<std::size_t>(end - left_ + 1), fill), standard_);
    for (std::size_t i = 1; i < placed_.size() && !joint.empty(); ++i) {
        const int at = placed_[i].col - static_cast<int>(col_sep_.size());
        screen_.say_attr(row, at, joint.substr(0, static_cast<std::size_t>(std::max(0, right_ - at + 1))), standard_);
    }
}

void Browse::draw_frame_rows() {
    bool headings = false;
    for (const BrowseColumn& c : columns_) headings = headings || !c.heading.empty();
    int row = top_;
    screen_.say_attr(row, left_, std::string(static_cast<std::size_t>(right_ - left_ + 1), ' '), standard_);
    if (headings) {
        // Separators begin under the headings, so the heading row has blanks there.
        for (std::size_t i = 0; i < placed_.size(); ++i) {
            const auto col = static_cast<std::size_t>(first_col_) + i;
            const bool right_aligned = !columns_[col].picture.empty() && columns_[col].value &&
                                       columns_[col].picture.find_first_not_of("9.,") == std::string::npos;
            screen_.say_attr(row, placed_[i].col, fit(columns_[col].heading, placed_[i].width, right_aligned),
                             standard_);
        }
        ++row;
    }
    if (!head_sep_.empty()) draw_separator_row(row++, head_sep_);
    first_row_ = row;
    last_row_ = bottom_;
    if (!foot_sep_.empty() && bottom_ > first_row_) {
        draw_separator_row(bottom_, foot_sep_);
        last_row_ = bottom_ - 1;
    }
}

void Browse::place_rows() {
    shown_.assign(static_cast<std::size_t>(std::max(rows(), 0)), 0);
    if (table_.eof()) table_.go_bottom();
    if (table_.bof()) table_.go_top();
    empty_ = table_.eof();
    if (empty_ || rows() <= 0) return;

    const std::uint32_t current = table_.recno();
    const int room = rows() - 1;
    std::vector<std::uint32_t> after, before;
    for (table_.skip(1); !table_.eof() && static_cast<int>(after.size()) < room; table_.skip(1))
        after.push_back(table_.recno());
    table_.go_to(current);
    for (table_.skip(-1); !table_.bof() && static_cast<int>(before.size()) < room; table_.skip(-1))
        before.push_back(table_.recno());
    table_.go_to(current);

    // Rows below the current record that the table cannot fill are filled
    // from above, so a short table is shown whole.
    int wanted = std::clamp(row_pos_, 0, room);
    const int below = static_cast<int>(after.size());
    if (below < room - wanted) wanted = room - below;
    row_pos_ = std::min(wanted, static_cast<int>(before.size()));
    for (int i = 0; i < row_pos_; ++i)
        shown_[static_cast<std::size_t>(row_pos_ - 1 - i)] = before[static_cast<std::size_t>(i)];
    shown_[static_cast<std::size_t>(row_pos_)] = current;
    for (int i = 0; i < room - row_pos_ && i < below; ++i)
        shown_[static_cast<std::size_t>(row_pos_ + 1 + i)] = after[static_cast<std::size_t>(i)];
}

void Browse::draw_empty_row(int screen_row) {
    screen_.say_attr(screen_row, left_, std::string(static_cast<std::size_t>(right_ - left_ + 1), ' '), standard_);
    for (std::size_t i = 1; i < placed_.size(); ++i)
        screen_.say_attr(screen_row, placed_[i].col - static_cast<int>(col_sep_.size()), col_sep_, standard_);
}

void Browse::draw_row(int screen_row, bool current) {
    draw_empty_row(screen_row);
    for (std::size_t i = 0; i < placed_.size(); ++i) {
        const BrowseColumn& c = columns_[static_cast<std::size_t>(first_col_) + i];
        if (!c.value) continue;
        const dbf::FieldValue v = c.value(table_);
        const bool here = current && static_cast<int>(i) + first_col_ == current_col_;
        screen_.say_attr(screen_row, placed_[i].col, fit(picture_text(v, c.picture), placed_[i].width, is_number(v)),
                         here ? enhanced_ : standard_);
    }
}

void Browse::draw_rows() {
    place_rows();
    const std::uint32_t current = empty_ ? 0 : table_.recno();
    for (int i = 0; i < rows(); ++i) {
        const std::uint32_t rec = shown_[static_cast<std::size_t>(i)];
        if (rec == 0) {
            draw_empty_row(first_row_ + i);
        } else {
            if (rec != table_.recno()) table_.go_to(rec);
            draw_row(first_row_ + i, rec == current);
        }
    }
    if (!empty_ && table_.recno() != current) table_.go_to(current);
    put_cursor();
}

void Browse::put_cursor() {
    const std::size_t k = static_cast<std::size_t>(std::max(0, current_col_ - first_col_));
    const int col = k < placed_.size() ? placed_[k].col : left_;
    screen_.set_cursor(first_row_ + (empty_ ? 0 : row_pos_), col);
}

void Browse::move_records(int count) {
    if (empty_ || count == 0) return;
    const std::uint32_t from = table_.recno();
    table_.skip(count);
    if (count > 0 && table_.eof()) table_.go_bottom();
    if (count < 0 && table_.bof()) table_.go_top();
    if (table_.recno() == from) {
        (count > 0 ? hit_end_ : hit_top_) = true;
        return;
    }
    // One row at a time walks the bar; a page keeps it where it stands.
    if (count == 1 || count == -1) row_pos_ += count;
}

bool Browse::move(int key) {
    hit_top_ = hit_end_ = false;
    const int last_col = static_cast<int>(columns_.size()) - 1;
    switch (key) {
        case Key::Down: move_records(1); break;
        case Key::Up: move_records(-1); break;
        case Key::PgDn: move_records(rows()); break;
        case Key::PgUp: move_records(-rows()); break;
        case Key::CtrlPgUp:
            if (!empty_) table_.go_top();
            row_pos_ = 0;
            break;
        case Key::CtrlPgDn:
            if (!empty_) table_.go_bottom();
            row_pos_ = rows() - 1;
            break;
        case Key::Left: case Key::CtrlLeft: current_col_ = std::max(0, current_col_ - 1); break;
        case Key::Right: case Key::CtrlRight: current_col_ = std::min(last_col, current_col_ + 1); break;
        case Key::Home: case Key::CtrlHome: current_col_ = 0; break;
        case Key::End: case Key::CtrlEnd: current_col_ = std::max(0, last_col); break;
        default: return false;
    }
    return true;
}

int Browse::call_user(const UserFunction& user, int mode) {
    if (!user) {
        if (mode != kBrowseKey) return kBrowseGoOn;
        const int key = screen_.last_key();
        return key == Key::Enter || key == Key::Esc ? kBrowseLeave : kBrowseGoOn;
    }
    const int action = user(mode, column());
    return action == kBrowseLeave || action == kBrowseRefresh ? action : kBrowseGoOn;
}

void Browse::run(const UserFunction& user) {
    standard_ = screen_.colours().standard;
    enhanced_ = screen_.colours().enhanced;
    if (columns_.empty()) return;
    if (table_.eof() || table_.bof()) table_.go_top();
    empty_ = table_.eof();
    current_col_ = std::clamp(current_col_, 0, static_cast<int>(columns_.size()) - 1);
    row_pos_ = 0;
    lay_out_columns();
    draw_frame_rows();

    bool idle_due = true;  // the user function is called when the browse falls idle
    bool redraw = true;    // the rows must be read again before the next wait
    int layout_col = current_col_;
    for (;;) {
        // Keys typed ahead are handled before anything is drawn again, so
        // that a held key does not wait for every row to be redrawn.
        int key = screen_.poll_key();
        if (key == 0) {
            if (layout_col != current_col_) {
                lay_out_columns();
                draw_frame_rows();
                layout_col = current_col_;
                redraw = true;
            }
            if (redraw) draw_rows();
            else put_cursor();
            redraw = false;
            if (idle_due) {
                const int mode = empty_ ? kBrowseEmpty : hit_end_ ? kBrowseHitEnd : hit_top_ ? kBrowseHitTop : kBrowseIdle;
                hit_top_ = hit_end_ = false;
                const std::uint32_t before = table_.recno();
                const int action = call_user(user, mode);
                if (action == kBrowseLeave) return;
                if (action == kBrowseRefresh) {
                    // Read afresh, and let the user function see the new
                    // rows before the next key.
                    lay_out_columns();
                    draw_frame_rows();
                    redraw = true;
                    continue;
                }
                // What the user function drew stays while the browse waits,
                // unless it moved to another record.
                redraw = table_.recno() != before;
                idle_due = false;
                continue;
            }
            key = screen_.inkey(0);
        }
        idle_due = true;
        if (move(key)) {
            redraw = true;
            continue;
        }
        hit_top_ = hit_end_ = false;
        // The user function finds the cursor on the current cell.
        if (redraw) draw_rows();
        else put_cursor();
        const int action = call_user(user, kBrowseKey);
        if (action == kBrowseLeave) return;
        if (action == kBrowseRefresh) {
            lay_out_columns();
            draw_frame_rows();
        } else {
            idle_due = false;
        }
        redraw = true;  // the key may have changed the record
    }
}

}  // namespace durva::screen
