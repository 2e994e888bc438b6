#include "common/dbf/xbase_values.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace durva::dbf {

namespace {

// The value as decimal digits rounded half away from zero at `decimals`
// places: returns the magnitude's digits with the point implied `decimals`
// from the right, and the sign separately.
std::string rounded_digits(double value, int decimals, bool& negative) {
    negative = std::signbit(value);
    double mag = std::fabs(value);
    if (!std::isfinite(mag)) mag = 0;
    // 15 significant digits: the representation error of the double is gone.
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.14e", mag);
    // buf: d.dddddddddddddde[+-]xx
    std::string mant;
    mant += buf[0];
    for (int i = 2; i < 16; ++i) mant += buf[i];
    int exp10 = std::atoi(buf + 17);
    // mant holds 15 digits; the value is 0.mant * 10^(exp10 + 1).
    int point = exp10 + 1;  // digits before the decimal point
    // Place the digits in a string of integer part + decimals + 1 guard digit.
    std::string digits;
    if (point > 0) {
        digits = mant;
        if (static_cast<int>(digits.size()) < point) digits.append(point - digits.size(), '0');
    } else {
        digits = std::string(-point, '0') + mant;
        point = 0;
    }
    int want = point + decimals;  // digits kept
    if (static_cast<int>(digits.size()) < want + 1) digits.append(want + 1 - digits.size(), '0');
    bool round_up = digits[want] >= '5';
    digits.resize(want);
    if (round_up) {
        int i = want - 1;
        while (i >= 0 && digits[i] == '9') digits[i--] = '0';
        if (i >= 0) digits[i]++;
        else { digits.insert(digits.begin(), '1'); }
    }
    if (digits.empty()) digits = "0";
    return digits;
}

}  // namespace

double round_decimal(double value, int decimals) {
    bool negative;
    std::string d = rounded_digits(value, decimals, negative);
    double r = std::strtod(d.c_str(), nullptr);
    r /= std::pow(10.0, decimals);
    if (r == 0) return 0;
    return negative ? -r : r;
}

std::string str_number(double value, int width, int decimals) {
    if (width <= 0) return {};
    if (decimals < 0) decimals = 0;
    bool negative;
    std::string d = rounded_digits(value, decimals, negative);
    if (d.find_first_not_of('0') == std::string::npos) negative = false;
    // Split into integer part and decimals.
    while (static_cast<int>(d.size()) < decimals + 1) d.insert(d.begin(), '0');
    std::string int_part = d.substr(0, d.size() - decimals);
    std::string frac = d.substr(d.size() - decimals);
    size_t nz = int_part.find_first_not_of('0');
    int_part = nz == std::string::npos ? "0" : int_part.substr(nz);
    std::string text;
    if (negative) text.push_back('-');
    text.append(int_part);
    if (decimals > 0) {
        text.push_back('.');
        text.append(frac);
    }
    if (static_cast<int>(text.size()) > width) {
        return std::string(width, '*');
    }
    return std::string(width - text.size(), ' ') + text;
}

double val_number(std::string_view t) {
    size_t i = 0;
    while (i < t.size() && (t[i] == ' ' || t[i] == '\t' || t[i] == '\r' || t[i] == '\n')) ++i;
    bool negative = false;
    if (i < t.size() && (t[i] == '-' || t[i] == '+')) negative = t[i++] == '-';
    std::string num;
    bool point = false;
    for (; i < t.size(); ++i) {
        char c = t[i];
        if (c >= '0' && c <= '9') num += c;
        else if (c == '.' && !point) { point = true; num += c; }
        else break;
    }
    if (num.empty() || num == ".") return 0;
    double v = std::strtod(num.c_str(), nullptr);
    return negative ? -v : v;
}

}  // namespace durva::dbf
