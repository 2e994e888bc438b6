#include "common/date.h"

#include <cstdio>

namespace durva {

bool is_leap_year(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int days_in_month(int y, int m) {
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (m < 1 || m > 12) return 0;
    return m == 2 && is_leap_year(y) ? 29 : days[m - 1];
}

Date Date::from_ymd(int y, int m, int d) {
    if (y < 1 || y > 9999 || m < 1 || m > 12 || d < 1 || d > days_in_month(y, m)) return {};
    // Gregorian calendar to Julian day number.
    int a = (14 - m) / 12;
    int yy = y + 4800 - a;
    int mm = m + 12 * a - 3;
    return {d + (153 * mm + 2) / 5 + 365 * yy + yy / 4 - yy / 100 + yy / 400 - 32045};
}

void Date::ymd(int& y, int& m, int& d) const {
    if (julian <= 0) { y = m = d = 0; return; }
    int a = julian + 32044;
    int b = (4 * a + 3) / 146097;
    int c = a - 146097 * b / 4;
    int dd = (4 * c + 3) / 1461;
    int e = c - 1461 * dd / 4;
    int mm = (5 * e + 2) / 153;
    d = e - (153 * mm + 2) / 5 + 1;
    m = mm + 3 - 12 * (mm / 10);
    y = 100 * b + dd - 4800 + mm / 10;
}

std::string Date::dtos() const {
    if (empty()) return std::string(8, ' ');
    int y, m, d;
    ymd(y, m, d);
    if (y < 0 || y > 9999) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "%04d%02d%02d", y, m, d);
        return buf;
    }
    // Index keys of dated tables are made of this, record by record.
    std::string out(8, '0');
    for (int i = 3; i >= 0; --i, y /= 10) out[static_cast<size_t>(i)] = static_cast<char>('0' + y % 10);
    out[4] = static_cast<char>('0' + m / 10);
    out[5] = static_cast<char>('0' + m % 10);
    out[6] = static_cast<char>('0' + d / 10);
    out[7] = static_cast<char>('0' + d % 10);
    return out;
}

std::string Date::dtoc() const {
    if (empty()) return "  .  .    ";
    int y, m, d;
    ymd(y, m, d);
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d.%02d.%04d", d, m, y);
    return buf;
}

static bool digits(std::string_view s, int& out) {
    out = 0;
    if (s.empty()) return false;
    for (char c : s) {
        if (c < '0' || c > '9') return false;
        out = out * 10 + (c - '0');
    }
    return true;
}

Date Date::from_dtos(std::string_view s) {
    int y, m, d;
    if (s.size() < 8 || !digits(s.substr(0, 4), y) || !digits(s.substr(4, 2), m) || !digits(s.substr(6, 2), d))
        return {};
    return from_ymd(y, m, d);
}

std::optional<Date> Date::from_dtoc(std::string_view s) {
    if (s.find_first_not_of(" .") == std::string_view::npos) return Date{};
    int y, m, d;
    if (s.size() != 10 || s[2] != '.' || s[5] != '.' || !digits(s.substr(0, 2), d) || !digits(s.substr(3, 2), m) ||
        !digits(s.substr(6, 4), y))
        return std::nullopt;
    Date r = from_ymd(y, m, d);
    if (r.empty()) return std::nullopt;
    return r;
}

}  // namespace durva
