#include "common/editor_text.h"

#include <algorithm>

namespace durva {

namespace {

bool is_blank(char c) { return c == ' '; }

void add_line(EditorLines& out, std::string line) {
    if (line.size() <= kEditorLineMax) {
        out.lines.push_back(std::move(line));
        return;
    }
    ++out.split_lines;
    for (std::size_t at = 0; at < line.size(); at += kEditorLineMax)
        out.lines.push_back(line.substr(at, kEditorLineMax));
}

}  // namespace

EditorLines editor_split(std::string_view bytes) {
    EditorLines out;
    std::string line;
    bool open = false;  // some text after the last line end
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const char c = bytes[i];
        if (c == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') continue;  // its LF ends the line
        if (c == '\n') {
            add_line(out, std::move(line));
            line.clear();
            open = false;
            continue;
        }
        open = true;
        if (c == '\t')
            line.append(kEditorTabWidth - line.size() % kEditorTabWidth, ' ');
        else
            line.push_back(c);
    }
    if (open || out.lines.empty()) add_line(out, std::move(line));
    return out;
}

std::string editor_join(const std::vector<std::string>& lines) {
    std::string out;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i > 0) out += "\r\n";
        out += lines[i];
    }
    return out;
}

EditorText::EditorText(std::vector<std::string> lines) : lines_(std::move(lines)) {
    if (lines_.empty()) lines_.emplace_back();
}

void EditorText::place(std::size_t line, std::size_t column) {
    line_ = std::min(line, lines_.size() - 1);
    column_ = std::min(column, kEditorLineMax);
}

void EditorText::left() {
    if (column_ > 0) --column_;
}

void EditorText::right() {
    if (column_ < kEditorLineMax) ++column_;
}

void EditorText::up(std::size_t count) { line_ = count > line_ ? 0 : line_ - count; }

void EditorText::down(std::size_t count) { line_ = std::min(line_ + count, lines_.size() - 1); }

void EditorText::text_end() {
    line_ = lines_.size() - 1;
    column_ = current().size();
}

void EditorText::word_left() {
    const std::string& l = current();
    std::size_t c = std::min(column_, l.size());
    while (c > 0 && is_blank(l[c - 1])) --c;
    while (c > 0 && !is_blank(l[c - 1])) --c;
    column_ = c;
}

void EditorText::word_right() {
    const std::string& l = current();
    std::size_t c = column_;
    while (c < l.size() && !is_blank(l[c])) ++c;
    while (c < l.size() && is_blank(l[c])) ++c;
    column_ = std::min(c, kEditorLineMax);
}

void EditorText::pad_to_cursor() {
    if (current().size() < column_) current().append(column_ - current().size(), ' ');
}

bool EditorText::type(char byte, bool insert) {
    if (column_ >= kEditorLineMax) return false;
    if (insert && std::max(current().size(), column_) >= kEditorLineMax) return false;
    pad_to_cursor();
    if (insert || column_ == current().size())
        current().insert(current().begin() + static_cast<std::ptrdiff_t>(column_), byte);
    else
        current()[column_] = byte;
    ++column_;
    return true;
}

bool EditorText::tab(bool insert) {
    const std::size_t stop = (column_ / kEditorTabWidth + 1) * kEditorTabWidth;
    if (stop > kEditorLineMax) return false;
    if (insert && column_ < current().size()) {
        if (current().size() + (stop - column_) > kEditorLineMax) return false;
        current().insert(column_, stop - column_, ' ');
    }
    column_ = stop;
    return true;
}

bool EditorText::enter() {
    std::string rest;
    if (column_ < current().size()) {
        rest = current().substr(column_);
        current().erase(column_);
    }
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(line_) + 1, std::move(rest));
    ++line_;
    column_ = 0;
    return true;
}

bool EditorText::backspace() {
    if (column_ > 0) {
        if (column_ <= current().size()) current().erase(column_ - 1, 1);
        --column_;
        return true;
    }
    if (line_ == 0) return false;
    const std::string& above = lines_[line_ - 1];
    if (above.size() + current().size() > kEditorLineMax) return false;
    const std::size_t join_at = above.size();
    lines_[line_ - 1] += current();
    lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(line_));
    --line_;
    column_ = join_at;
    return true;
}

bool EditorText::del() {
    if (column_ < current().size()) {
        current().erase(column_, 1);
        return true;
    }
    if (line_ + 1 >= lines_.size()) return false;
    const std::string& below = lines_[line_ + 1];
    if (column_ + below.size() > kEditorLineMax) return false;
    pad_to_cursor();
    current() += below;
    lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(line_) + 1);
    return true;
}

void EditorText::insert_line() { lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(line_), std::string()); }

void EditorText::delete_line() {
    lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(line_));
    if (lines_.empty()) lines_.emplace_back();
    line_ = std::min(line_, lines_.size() - 1);
}

}  // namespace durva
