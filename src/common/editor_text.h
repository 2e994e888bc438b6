#pragma once
// The text the editor works on: lines of code-page bytes and the cursor, with
// the editing rules (lines up to 160 characters, tab stops every 4 columns,
// the cursor free to stand past the end of a line, which typing fills with
// blanks). Nothing here touches the screen.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace durva {

inline constexpr std::size_t kEditorLineMax = 160;
inline constexpr std::size_t kEditorTabWidth = 4;

// A file's bytes as lines. A line ends at CR LF or at a lone LF (a file made
// on another system); a final line end ends the last line and starts no new
// one; an empty text is one empty line. Tab bytes become blanks up to the next
// tab stop. A line longer than 160 characters goes on in the next line, in
// pieces of 160, so that no byte is lost; `split_lines` counts them.
struct EditorLines {
    std::vector<std::string> lines;
    std::size_t split_lines = 0;
};
EditorLines editor_split(std::string_view bytes);

// The lines joined by CR LF, without a line end after the last one.
std::string editor_join(const std::vector<std::string>& lines);

class EditorText {
public:
    explicit EditorText(std::vector<std::string> lines);

    const std::vector<std::string>& lines() const { return lines_; }
    std::size_t line() const { return line_; }      // 0-based
    std::size_t column() const { return column_; }  // 0-based, may pass the line's end
    void place(std::size_t line, std::size_t column);

    void left();
    void right();
    void up(std::size_t count = 1);
    void down(std::size_t count = 1);
    void home() { column_ = 0; }
    void end() { column_ = current().size(); }
    void text_start() { place(0, 0); }
    void text_end();
    void word_left();
    void word_right();

    // Each returns false, changing nothing, when the line would pass 160.
    bool type(char byte, bool insert);
    bool tab(bool insert);
    bool enter();
    bool backspace();
    bool del();
    void insert_line();  // Ctrl-N: an empty line where the cursor is, the current one below
    void delete_line();  // Ctrl-Y

private:
    std::string& current() { return lines_[line_]; }
    const std::string& current() const { return lines_[line_]; }
    void pad_to_cursor();

    std::vector<std::string> lines_;
    std::size_t line_ = 0, column_ = 0;
};

}  // namespace durva
