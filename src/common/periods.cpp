#include "common/periods.h"

#include "common/dbf/xbase_values.h"

namespace durva {

namespace {

// Characters `from` (1-based) on, at most `len`; nothing past the end, as a
// period text from a damaged company record may be short.
std::string_view part(std::string_view s, size_t from, size_t len) {
    if (from - 1 >= s.size()) return {};
    return s.substr(from - 1, len);
}

std::string month_of(std::string_view period) { return std::string(part(period, 4, 2)); }

std::string four_digit_year(std::string_view period) {
    std::string_view yy = part(period, 1, 2);
    return (yy.substr(0, 1) == "9" ? "19" : "20") + std::string(yy);
}

bool contains(std::string_view text, std::string_view what) {
    return !what.empty() && text.find(what) != std::string_view::npos;
}

}  // namespace

std::string P_MIES(std::string_view period) {
    return "01." + month_of(period) + "." + four_digit_year(period);
}

std::string K_MIES_FK(std::string_view period) {
    const std::string m = month_of(period);
    const std::string year = four_digit_year(period);
    std::string day;
    if (contains("01 03 05 07 08 10 12", m)) {
        day = "31";
    } else if (contains("04 06 09 11", m)) {
        day = "30";
    } else {
        const long y = static_cast<long>(dbf::val_number(year));
        day = (y % 4 == 0 && (y % 100 != 0 || y % 400 == 0)) ? "29" : "28";
    }
    return day + "." + m + "." + year;
}

}  // namespace durva
