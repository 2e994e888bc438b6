#include "ean.h"

namespace durva::demo {

char ean_check_digit(std::string_view digits) {
    int sum = 0;
    int weight = 3;
    for (auto it = digits.rbegin(); it != digits.rend(); ++it) {
        sum += (*it - '0') * weight;
        weight = 4 - weight;
    }
    return static_cast<char>('0' + (10 - sum % 10) % 10);
}

std::string with_check_digit(std::string_view digits) {
    std::string code(digits);
    code += ean_check_digit(digits);
    return code;
}

bool ean_valid(std::string_view code) {
    if (code.size() != 13 && code.size() != 8) return false;
    for (char c : code)
        if (c < '0' || c > '9') return false;
    return ean_check_digit(code.substr(0, code.size() - 1)) == code.back();
}

}  // namespace durva::demo
