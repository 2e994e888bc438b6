#pragma once
// The shared dialogs of the dialog rectangle (rows 15 to 20, columns 30 to 72):
// the yes/no question OKNO and the message window _OKNO_, and the colour
// switch MONITOR. A text of up to 41 characters stands centred on row 17; a
// longer one is broken at blanks into centred lines inside the frame, from
// row 16 on, and the window grows upwards for a text it cannot hold.
#include <string_view>

#include "common/session.h"

namespace durva {

// Asks a yes/no question; true means T. Only T, t, N, n answer, and Enter
// when the default answer is not blank; Esc cannot cancel it. With the auto
// flag "T" the question is not asked and the answer is yes. The cursor is left
// shown. In an unattended session (no auto flag) it throws platform::NoOperator.
bool OKNO(Session& s, std::string_view question, std::string_view answer_default,
          std::string_view auto_flag = {});

// In an unattended session the three forms below show nothing and wait for
// nothing; the text is added to the session's messages.
// Shows a message for one second or until a key, which is consumed.
bool _OKNO_(Session& s, std::string_view text);
// Shows a message for up to `seconds` (0: until a key). Any mode but 1 shows
// the warning colours: a red frame, the text yellow for 0 and bright red
// otherwise.
bool _OKNO_(Session& s, std::string_view text, double seconds);
// Shows a notice that stays on screen (the callers pass "...") and returns at
// once; it goes when the caller redraws or another window covers it.
bool _OKNO_(Session& s, std::string_view text, std::string_view stay);

// The normal colours; with the argument, whatever its value, the highlight
// colours. Monochrome screens get the underline colours.
bool MONITOR(Session& s);
bool MONITOR(Session& s, bool highlight);

}  // namespace durva
