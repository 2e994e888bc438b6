#pragma once
// UTF-8 at the terminal's edge: the terminals speak UTF-8, the program's
// screen speaks code-page bytes; these two routines are all that lies between.
#include <string>
#include <string_view>

namespace durva::platform {

void append_utf8(std::string& out, char32_t ch);

// Decodes UTF-8; a malformed byte becomes U+FFFD and decoding goes on.
std::u32string decode_utf8(std::string_view text);

}  // namespace durva::platform
