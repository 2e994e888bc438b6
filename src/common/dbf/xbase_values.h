#pragma once
// Numbers as the tables and the office's other programs write and read them:
// STR() text (right-aligned, fixed decimals, half away from zero, asterisks on
// overflow) and the lenient reading of a numeric field.
#include <string>
#include <string_view>

namespace durva::dbf {

// Rounds to `decimals` places, halves away from zero, after taking the value
// to 15 significant digits so that 1.005 rounds to 1.01 as written by hand.
double round_decimal(double value, int decimals);

// STR(value, width, decimals): exactly `width` characters; all '*' when the
// integer part and the sign do not fit; a value that rounds to zero has no sign.
std::string str_number(double value, int width, int decimals);
// The same text written into the `width` characters at `out`.
void str_number_to(double value, int width, int decimals, char* out);
// The same text, always the long way: through the value's 15 significant
// decimal digits. str_number takes a short way where the result is sure;
// both must agree on every value.
std::string str_number_reference(double value, int width, int decimals);

// Reads a numeric field: leading blanks, an optional sign, digits with at most
// one point; stops at the first other character. No digits give 0.
double val_number(std::string_view text);

}  // namespace durva::dbf
