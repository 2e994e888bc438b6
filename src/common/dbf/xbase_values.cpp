#include "common/dbf/xbase_values.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

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


// 10^k for k = 0..22, each exact in a double.
constexpr double kPow10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                             1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
constexpr std::uint64_t kPow10Int[] = {1ULL,
                                       10ULL,
                                       100ULL,
                                       1000ULL,
                                       10000ULL,
                                       100000ULL,
                                       1000000ULL,
                                       10000000ULL,
                                       100000000ULL,
                                       1000000000ULL,
                                       10000000000ULL,
                                       100000000000ULL,
                                       1000000000000ULL,
                                       10000000000000ULL,
                                       100000000000000ULL,
                                       1000000000000000ULL};

// The short way for the common case: the magnitude counted in units of the
// last decimal kept, rounded half away from zero, when that is sure to be
// what rounded_digits() gives. False when it is not sure.
//
// With t = |value| * 10^decimals below 10^13, taking the value to 15
// significant digits moves t by at most 0.005, and computing t in a double
// errs by at most 0.0011. So when the computed t lies more than 0.01 from
// the nearest half (n + 0.5), neither can carry it across, and both ways
// round to the same whole number. Closer to a half (1.005 is 1.00499999...
// in a double), the long way decides.
bool rounded_units(double mag, int decimals, std::uint64_t& units) {
    if (decimals > 15) return false;
    double t = mag * kPow10[decimals];
    if (!(t < 1e13)) return false;  // also NaN and infinity
    double whole = std::floor(t);
    double frac = t - whole;
    if (std::fabs(frac - 0.5) <= 0.01) return false;
    units = static_cast<std::uint64_t>(whole) + (frac > 0.5 ? 1 : 0);
    return true;
}

// STR() text of units / 10^decimals (decimals <= 15), right-aligned in the
// `width` characters at `out`.
void format_units(std::uint64_t units, bool negative, int width, int decimals, char* out) {
    char buf[40];
    char* end = buf + sizeof buf;
    char* p = end;
    std::uint64_t whole = units / kPow10Int[decimals];
    std::uint64_t frac = units % kPow10Int[decimals];
    for (int i = 0; i < decimals; ++i) {
        *--p = static_cast<char>('0' + frac % 10);
        frac /= 10;
    }
    if (decimals > 0) *--p = '.';
    do {
        *--p = static_cast<char>('0' + whole % 10);
        whole /= 10;
    } while (whole != 0);
    if (negative && units != 0) *--p = '-';  // a value that rounds to zero has no sign
    auto len = static_cast<int>(end - p);
    if (len > width) {
        std::memset(out, '*', static_cast<size_t>(width));
        return;
    }
    std::memset(out, ' ', static_cast<size_t>(width - len));
    std::memcpy(out + (width - len), p, static_cast<size_t>(len));
}

}  // namespace

double round_decimal(double value, int decimals) {
    std::uint64_t units;
    if (decimals >= 0 && rounded_units(std::fabs(value), decimals, units)) {
        // units and 10^decimals are exact, so the quotient is the double
        // nearest the rounded decimal, as the long way's strtod gives it.
        if (units == 0) return 0;
        const double r = static_cast<double>(units) / kPow10[decimals];
        return std::signbit(value) ? -r : r;
    }
    bool negative;
    std::string d = rounded_digits(value, decimals, negative);
    double r = std::strtod(d.c_str(), nullptr);
    r /= std::pow(10.0, decimals);
    if (r == 0) return 0;
    return negative ? -r : r;
}

std::string str_number(double value, int width, int decimals) {
    if (width <= 0) return {};
    std::string text(static_cast<size_t>(width), ' ');
    str_number_to(value, width, decimals, text.data());
    return text;
}

void str_number_to(double value, int width, int decimals, char* out) {
    if (width <= 0) return;
    if (decimals < 0) decimals = 0;
    std::uint64_t units;
    if (rounded_units(std::fabs(value), decimals, units)) {
        format_units(units, std::signbit(value), width, decimals, out);
        return;
    }
    std::string text = str_number_reference(value, width, decimals);
    std::memcpy(out, text.data(), static_cast<size_t>(width));
}

std::string str_number_reference(double value, int width, int decimals) {
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
    const char* p = t.data();
    const char* end = p + t.size();
    while (p < end && (*p == ' ' || *p == '\t' || *p == '\r' || *p == '\n')) ++p;
    bool negative = false;
    if (p < end && (*p == '-' || *p == '+')) negative = *p++ == '-';
    const char* start = p;
    // Up to 15 significant digits fit a double exactly, and so does 10^k up
    // to 10^22: one division is then the correctly rounded value, the same
    // strtod would give. Leading zeros are not significant.
    std::uint64_t mant = 0;
    int significant = 0, after_point = 0;
    bool any_digit = false;
    while (p < end && *p == '0') ++p;
    any_digit = p != start;
    for (; p < end && *p >= '0' && *p <= '9'; ++p) {
        mant = mant * 10 + static_cast<std::uint64_t>(*p - '0');  // wraps harmlessly past 19 digits
        ++significant;
        any_digit = true;
    }
    if (p < end && *p == '.') {
        ++p;
        if (significant == 0) {
            for (; p < end && *p == '0'; ++p) ++after_point;
            any_digit = any_digit || after_point > 0;
        }
        for (; p < end && *p >= '0' && *p <= '9'; ++p) {
            mant = mant * 10 + static_cast<std::uint64_t>(*p - '0');
            ++significant;
            ++after_point;
            any_digit = true;
        }
    }
    if (!any_digit) return 0;
    double v;
    if (significant <= 15 && after_point <= 22) {
        v = static_cast<double>(mant) / kPow10[after_point];
    } else {
        std::string text(start, static_cast<size_t>(p - start));
        v = std::strtod(text.c_str(), nullptr);
    }
    return negative ? -v : v;
}

}  // namespace durva::dbf
