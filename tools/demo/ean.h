#pragma once
// Check digits of the retail bar codes printed on the goods (EAN-13, EAN-8).
#include <string>
#include <string_view>

namespace durva::demo {

// The check digit for the digits before it: weights 3 and 1 from the right.
char ean_check_digit(std::string_view digits);
// The digits followed by their check digit.
std::string with_check_digit(std::string_view digits);
// True for 8 or 13 digits whose last one is the check digit of the others.
bool ean_valid(std::string_view code);

}  // namespace durva::demo
