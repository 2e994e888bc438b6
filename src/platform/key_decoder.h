#pragma once
// Turning what the terminal library reports into xBase key codes. Kept apart
// from the terminal itself so that the mapping can be checked without one.
#include <span>
#include <string_view>

#include "platform/terminal.h"

namespace durva::platform {

// A key code of the terminal library (KEY_UP, KEY_F(4)...); 0 when the key
// means nothing to the program.
int xbase_from_curses_key(int curses_key);

// A key the terminal database knows only by an extended name ("kLFT5" is
// Ctrl-Left); 0 for names the program does not use.
int xbase_from_key_name(std::string_view name);

// A character as read: control bytes become their key codes (Ctrl-C is PgDn,
// DEL is Backspace), anything else is a typed character. Both fields are 0
// for bytes that stand for no key.
InputKey key_from_char(char32_t ch);

// The key an Esc makes together with the key that came right after it: Alt
// with that letter, digit or function key; 0 when the Esc stands alone.
int alt_with_char(char32_t ch);
int alt_with_key(int xbase_code);

// Escape sequences of the usual terminals, for keys the terminal database
// may lack (Ctrl with the cursor keys above all).
struct KeySequence {
    std::string_view sequence;
    int code;
};
std::span<const KeySequence> known_sequences();
int xbase_from_sequence(std::string_view sequence);  // 0 when unknown

// How far the characters read after an Esc go towards a control sequence of
// a key: "[" opens one that ends with a byte from @ to ~ ("[[" takes one
// more character, the Linux console's F1 to F5), "O" one of a single further
// character. Any other start is no sequence (Alt with that key); a sequence
// broken by a character that cannot belong to it, or running on for ever, is
// taken as whole so that all of it is read and none of it is typed.
enum class SequenceState { NotASequence, Partial, Complete };
SequenceState sequence_state(std::u32string_view after_esc);

}  // namespace durva::platform
