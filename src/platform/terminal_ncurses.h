#pragma once
// The real terminal: ncursesw on a UTF-8 terminal of at least 80 x 25 (a
// smaller terminal window that takes resize requests is asked to grow first). Keys
// come raw (Ctrl-C is a key like any other, so the operator cannot break the
// program off), Alt is Esc followed quickly by the key, and only the cells that
// changed since the last frame are sent.
#include <map>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/terminal.h"

namespace durva::platform {

// The terminal could not be started (no terminal, unknown type, too small).
// Its text has already been written to stderr with the terminal restored.
class TerminalError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class NcursesTerminal final : public Terminal {
public:
    NcursesTerminal();
    ~NcursesTerminal() override;
    NcursesTerminal(const NcursesTerminal&) = delete;
    NcursesTerminal& operator=(const NcursesTerminal&) = delete;

    int rows() const override { return rows_; }
    int cols() const override { return cols_; }
    bool has_colors() const override { return colours_; }
    void present(const TermCell* cells, int rows, int cols, int cursor_row, int cursor_col,
                 bool cursor_visible) override;
    std::optional<InputKey> read_key(int timeout_ms) override;
    void tone(int frequency_hz, int duration_ms) override;

    // Ends full-screen work and leaves the terminal's ordinary screen cleared
    // and holding these lines from its top (UTF-8), the cursor below them.
    void finish(const std::vector<std::string>& lines);
    // The same with the text of the last frame shown, without trailing blanks
    // and blank rows at the bottom, so what the program left on screen stays
    // readable after it ends.
    void finish_showing_frame();

private:
    void draw_cell(int row, int col, const TermCell& cell);
    void redraw_all();
    int colour_pair(int fore, int back) const;
    int decode_after_esc();
    void ask_for_size();

    void* screen_ = nullptr;  // the library's SCREEN
    bool ended_ = false;
    bool colours_ = false;
    bool wide_pairs_ = false;  // a pair for every one of the 64 combinations
    int rows_ = 0, cols_ = 0;
    std::vector<TermCell> shown_;
    int cursor_state_ = -1;
    std::map<int, int> extra_keys_;  // codes we defined for missing sequences
};

}  // namespace durva::platform
