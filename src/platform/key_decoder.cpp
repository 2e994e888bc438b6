#include "platform/key_decoder.h"

#include <curses.h>

#include <array>

#include "platform/key_codes.h"

namespace durva::platform {

int xbase_from_curses_key(int k) {
    switch (k) {
        case KEY_UP: return Key::Up;
        case KEY_DOWN: return Key::Down;
        case KEY_LEFT: case KEY_SLEFT: return Key::Left;
        case KEY_RIGHT: case KEY_SRIGHT: return Key::Right;
        case KEY_HOME: case KEY_A1: case KEY_SHOME: return Key::Home;
        case KEY_END: case KEY_C1: case KEY_SEND: return Key::End;
        case KEY_PPAGE: case KEY_A3: case KEY_SPREVIOUS: return Key::PgUp;
        case KEY_NPAGE: case KEY_C3: case KEY_SNEXT: return Key::PgDn;
        case KEY_IC: return Key::Ins;
        case KEY_DC: return Key::Del;
        case KEY_BACKSPACE: return Key::Backspace;
        case KEY_BTAB: return Key::ShiftTab;
        case KEY_ENTER: return Key::Enter;
        default: break;
    }
    if (k >= KEY_F(1) && k <= KEY_F(63)) {
        // Terminals number the modified function keys on: 13-24 with Shift,
        // 25-36 with Ctrl, 49-60 with Alt.
        const int n = k - KEY_F0;
        if (n <= 12) return function_key(n);
        if (n >= 13 && n <= 22) return shift_function_key(n - 12);
        if (n >= 25 && n <= 34) return ctrl_function_key(n - 24);
        if (n >= 49 && n <= 58) return alt_function_key(n - 48);
    }
    return 0;
}

int xbase_from_key_name(std::string_view name) {
    static constexpr std::array<KeySequence, 8> kNames = {{
        {"kLFT5", Key::CtrlLeft},
        {"kRIT5", Key::CtrlRight},
        {"kHOM5", Key::CtrlHome},
        {"kEND5", Key::CtrlEnd},
        {"kPRV5", Key::CtrlPgUp},
        {"kNXT5", Key::CtrlPgDn},
        {"kDC5", Key::Del},
        {"kIC5", Key::Ins},
    }};
    for (const auto& n : kNames)
        if (n.sequence == name) return n.code;
    return 0;
}

InputKey key_from_char(char32_t ch) {
    if (ch == 0) return {};
    if (ch <= 26 || ch == 27) return {static_cast<int>(ch), 0};  // Ctrl letters, Tab, Enter, Esc
    if (ch < 32) return {};  // Ctrl with \ ] ^ _ would read as F1 and Ctrl-Home
    if (ch == 127) return {Key::Backspace, 0};
    return {0, ch};
}

int alt_with_char(char32_t ch) { return alt_key(ch); }

int alt_with_key(int code) {
    if (code == Key::F1) return alt_function_key(1);
    if (code <= -1 && code >= -9) return alt_function_key(1 - code);
    return 0;
}

namespace {

constexpr KeySequence kSequences[] = {
    // Ctrl with the cursor keys: xterm and its followers, then rxvt.
    {"\033[1;5D", Key::CtrlLeft},
    {"\033[1;5C", Key::CtrlRight},
    {"\033[1;5H", Key::CtrlHome},
    {"\033[1;5F", Key::CtrlEnd},
    {"\033[5;5~", Key::CtrlPgUp},
    {"\033[6;5~", Key::CtrlPgDn},
    {"\033Od", Key::CtrlLeft},
    {"\033Oc", Key::CtrlRight},
    {"\033[7^", Key::CtrlHome},
    {"\033[8^", Key::CtrlEnd},
    {"\033[5^", Key::CtrlPgUp},
    {"\033[6^", Key::CtrlPgDn},
    // Plain keys in both cursor modes, for databases that list only one.
    {"\033[A", Key::Up},
    {"\033[B", Key::Down},
    {"\033[C", Key::Right},
    {"\033[D", Key::Left},
    {"\033OA", Key::Up},
    {"\033OB", Key::Down},
    {"\033OC", Key::Right},
    {"\033OD", Key::Left},
    {"\033[H", Key::Home},
    {"\033[F", Key::End},
    {"\033OH", Key::Home},
    {"\033OF", Key::End},
    {"\033[1~", Key::Home},
    {"\033[4~", Key::End},
    {"\033[7~", Key::Home},
    {"\033[8~", Key::End},
    {"\033[2~", Key::Ins},
    {"\033[3~", Key::Del},
    {"\033[5~", Key::PgUp},
    {"\033[6~", Key::PgDn},
    {"\033[Z", Key::ShiftTab},
    {"\033OP", Key::F1},
    {"\033OQ", Key::F2},
    {"\033OR", Key::F3},
    {"\033OS", Key::F4},
    {"\033[11~", Key::F1},
    {"\033[12~", Key::F2},
    {"\033[13~", Key::F3},
    {"\033[14~", Key::F4},
    {"\033[15~", Key::F5},
    {"\033[17~", Key::F6},
    {"\033[18~", Key::F7},
    {"\033[19~", Key::F8},
    {"\033[20~", Key::F9},
    {"\033[21~", Key::F10},
    // The Linux console's F1 to F5.
    {"\033[[A", Key::F1},
    {"\033[[B", Key::F2},
    {"\033[[C", Key::F3},
    {"\033[[D", Key::F4},
    {"\033[[E", Key::F5},
};

}  // namespace

std::span<const KeySequence> known_sequences() { return kSequences; }

SequenceState sequence_state(std::u32string_view after_esc) {
    constexpr std::size_t kLongest = 16;
    if (after_esc.empty()) return SequenceState::Partial;
    const char32_t lead = after_esc[0];
    if (lead == U'O') return after_esc.size() >= 2 ? SequenceState::Complete : SequenceState::Partial;
    if (lead != U'[') return SequenceState::NotASequence;
    if (after_esc.size() >= 2 && after_esc[1] == U'[')
        return after_esc.size() >= 3 ? SequenceState::Complete : SequenceState::Partial;
    for (std::size_t i = 1; i < after_esc.size(); ++i) {
        const char32_t c = after_esc[i];
        if (c >= 0x40 && c <= 0x7E) return SequenceState::Complete;  // the final byte
        if (c < 0x20 || c > 0x3F) return SequenceState::Complete;    // broken off: read no further
    }
    return after_esc.size() >= kLongest ? SequenceState::Complete : SequenceState::Partial;
}

int xbase_from_sequence(std::string_view sequence) {
    for (const auto& s : kSequences)
        if (s.sequence == sequence) return s.code;
    return 0;
}

}  // namespace durva::platform
