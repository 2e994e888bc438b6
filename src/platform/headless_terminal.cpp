#include "platform/headless_terminal.h"

#include <algorithm>

#include "platform/utf8.h"

namespace durva::platform {

HeadlessTerminal::HeadlessTerminal(TestClock& clock, std::initializer_list<ScriptStep> script, bool colours)
    : clock_(clock), script_(script), colours_(colours), frame_(25 * 80) {}

void HeadlessTerminal::push_keys(std::initializer_list<ScriptStep> steps) {
    for (const auto& s : steps) script_.push_back(s);
}

void HeadlessTerminal::type(std::string_view utf8) {
    for (char32_t ch : decode_utf8(utf8)) script_.push_back(ScriptStep(ch));
}

const TermCell& HeadlessTerminal::shown(int row, int col) const {
    static const TermCell kOutside{};
    if (row < 0 || row >= 25 || col < 0 || col >= 80) return kOutside;
    return frame_[static_cast<std::size_t>(row * 80 + col)];
}

std::string HeadlessTerminal::shown_row_utf8(int row) const {
    std::string out;
    for (int c = 0; c < 80; ++c) append_utf8(out, shown(row, c).ch);
    return out;
}

void HeadlessTerminal::present(const TermCell* cells, int rows, int cols, int cursor_row, int cursor_col,
                               bool cursor_visible) {
    for (int r = 0; r < std::min(rows, 25); ++r)
        for (int c = 0; c < std::min(cols, 80); ++c)
            frame_[static_cast<std::size_t>(r * 80 + c)] = cells[r * cols + c];
    cursor_row_ = cursor_row;
    cursor_col_ = cursor_col;
    cursor_visible_ = cursor_visible;
    ++presents_;
}

void HeadlessTerminal::idle(std::int64_t ms) {
    clock_.advance_ms(ms);
    idle_ms_ += ms;
    if (idle_ms_ > idle_limit_ms_)
        throw ScriptExhausted("the program kept waiting for keys the script does not hold");
}

std::optional<InputKey> HeadlessTerminal::read_key(int timeout_ms) {
    if (timeout_ms == 0 &&
        (!typed_ahead_ || script_.empty() || script_.front().kind == ScriptStep::Kind::Silence))
        return std::nullopt;
    std::int64_t left = timeout_ms;  // negative: for ever
    while (!script_.empty()) {
        ScriptStep& step = script_.front();
        if (step.kind != ScriptStep::Kind::Silence) {
            InputKey key = step.kind == ScriptStep::Kind::Key ? InputKey{step.code, 0} : InputKey{0, step.ch};
            script_.pop_front();
            idle_ms_ = 0;
            return key;
        }
        if (left >= 0 && step.ms > left) {
            step.ms -= left;
            idle(left);
            return std::nullopt;
        }
        idle(step.ms);
        if (left >= 0) left -= step.ms;
        script_.pop_front();
        if (left == 0) return std::nullopt;
    }
    if (left < 0) throw ScriptExhausted("the program waits for a key and the script is used up");
    idle(left);
    return std::nullopt;
}

void HeadlessTerminal::tone(int frequency_hz, int duration_ms) { tones_.push_back({frequency_hz, duration_ms}); }

}  // namespace durva::platform
