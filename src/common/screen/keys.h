#pragma once
// Key codes as the screen hands them out: the xBase codes of the terminals
// (Key::Enter, Key::F4, alt_key('K')...) and, for a typed character, its
// code-page byte (0 to 255).
#include "platform/key_codes.h"

namespace durva::screen {

using platform::Key;
using platform::alt_function_key;
using platform::alt_key;
using platform::ctrl_function_key;
using platform::ctrl_key;
using platform::function_key;
using platform::shift_function_key;

// A typed character (a code-page byte other than a control byte) rather than
// a navigation, function or Alt key.
constexpr bool is_typed_character(int code) { return code >= 32 && code <= 255 && code != 127; }

}  // namespace durva::screen
