#pragma once
// The terminal of the tests: keys come from a script, time passes on a
// TestClock, and the last frame shown can be read back. Nothing waits for
// real.
//
// Script steps are xBase key codes (ints; 0 is a key that means nothing to
// the program, as an unknown sequence), typed characters (char or char32_t)
// and silences ("no key for N ms"). Keys reach the program only
// while it waits for one (a poll that does not wait sees none, so clearing
// the type-ahead never eats the script), unless the keys are said to be
// typed ahead: then a poll sees the keys up to the next silence, as a real
// terminal's poll sees keys typed before the program asked. A timed wait
// that meets a silence or an empty script advances the clock by what it
// waited; a wait for ever with the script used up throws ScriptExhausted
// instead of hanging, and so does a run of waits with no key that adds up to
// more than the idle limit.
#include <cstdint>
#include <deque>
#include <initializer_list>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/clock.h"
#include "platform/terminal.h"

namespace durva::platform {

class ScriptExhausted : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct ScriptStep {
    enum class Kind { Key, Char, Silence };
    Kind kind = Kind::Key;
    int code = 0;
    char32_t ch = 0;
    std::int64_t ms = 0;

    ScriptStep(int key_code) : kind(Kind::Key), code(key_code) {}  // NOLINT: scripts list keys plainly
    ScriptStep(char typed) : kind(Kind::Char), ch(static_cast<unsigned char>(typed)) {}  // NOLINT
    ScriptStep(char32_t typed) : kind(Kind::Char), ch(typed) {}  // NOLINT
    static ScriptStep silence(std::int64_t ms) {
        ScriptStep s(0);
        s.kind = Kind::Silence;
        s.ms = ms;
        return s;
    }
};

struct ToneRecord {
    int frequency_hz;
    int duration_ms;
};

class HeadlessTerminal final : public Terminal {
public:
    explicit HeadlessTerminal(TestClock& clock, std::initializer_list<ScriptStep> script = {},
                              bool colours = true);

    // Script building after construction.
    void push(ScriptStep step) { script_.push_back(step); }
    void push_keys(std::initializer_list<ScriptStep> steps);
    void type(std::string_view utf8);  // each character typed in turn
    void silence(std::int64_t ms) { script_.push_back(ScriptStep::silence(ms)); }
    void set_keys_typed_ahead(bool typed_ahead) { typed_ahead_ = typed_ahead; }
    std::size_t steps_left() const { return script_.size(); }

    void set_has_colors(bool colours) { colours_ = colours; }
    void set_idle_limit_ms(std::int64_t ms) { idle_limit_ms_ = ms; }

    // The last frame shown.
    const TermCell& shown(int row, int col) const;
    std::string shown_row_utf8(int row) const;  // trailing blanks kept
    int cursor_row() const { return cursor_row_; }
    int cursor_col() const { return cursor_col_; }
    bool cursor_visible() const { return cursor_visible_; }
    int presents() const { return presents_; }
    const std::vector<ToneRecord>& tones() const { return tones_; }

    int rows() const override { return 25; }
    int cols() const override { return 80; }
    bool has_colors() const override { return colours_; }
    void present(const TermCell* cells, int rows, int cols, int cursor_row, int cursor_col,
                 bool cursor_visible) override;
    std::optional<InputKey> read_key(int timeout_ms) override;
    void tone(int frequency_hz, int duration_ms) override;

private:
    void idle(std::int64_t ms);

    TestClock& clock_;
    std::deque<ScriptStep> script_;
    bool colours_;
    std::vector<TermCell> frame_;
    int cursor_row_ = 0, cursor_col_ = 0;
    bool cursor_visible_ = true;
    int presents_ = 0;
    std::vector<ToneRecord> tones_;
    std::int64_t idle_ms_ = 0;
    std::int64_t idle_limit_ms_ = 3'600'000;
    bool typed_ahead_ = false;
};

}  // namespace durva::platform
