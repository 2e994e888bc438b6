#include "receive/sales_line.h"

#include <cmath>

#include "common/dbf/xbase_values.h"

namespace durva {

namespace {

constexpr std::size_t kFirstExamined = 2;  // character 3, counted from 0
constexpr std::size_t kExamined = 120;     // characters 3 to 122

// Widths of the work table's amount fields (their layout is fixed at start-up).
struct Width {
    int width, decimals;
};
constexpr Width kQuantity{15, 3}, kValue{14, 2}, kPrice{14, 4}, kVat{14, 4};

bool fits(double x, Width w) { return dbf::str_number(x, w.width, w.decimals).front() != '*'; }

bool whole(double x) { return std::isfinite(x) && std::trunc(x) == x; }

// A number field: blanks before it are skipped and nothing else, so a tab
// or a line break before the digits leaves a field without digits: 0.
double field_number(std::string_view field) {
    const std::size_t first = field.find_first_not_of(' ');
    if (first == std::string_view::npos) return 0;
    field.remove_prefix(first);
    const char c = field.front();
    const bool number_starts = c == '-' || c == '+' || c == '.' || (c >= '0' && c <= '9');
    return number_starts ? dbf::val_number(field) : 0;
}

}  // namespace

std::optional<SalesLine> parse_sales_line(std::string_view line) {
    if (line.size() <= kFirstExamined) return std::nullopt;
    std::string_view rest = line.substr(kFirstExamined, kExamined);
    std::string_view fields[4];
    for (std::string_view& field : fields) {
        std::size_t sep = rest.find(';');
        if (sep == std::string_view::npos) return std::nullopt;
        field = rest.substr(0, sep);
        rest = rest.substr(sep + 1, kExamined);
    }
    SalesLine out;
    out.code.assign(fields[0]);
    out.name.assign(fields[1]);
    out.value = field_number(fields[2]);
    out.quantity = field_number(fields[3]);
    return out;
}

std::string search_code(std::string_view code, bool short_code_prefix) {
    std::string c(code);
    if (c.size() < 13) c.resize(13, ' ');
    if (short_code_prefix) {
        std::size_t end = c.find_last_not_of(' ');
        if (end != std::string::npos && end + 1 == 5) c = ("28" + c).substr(0, 13);
    }
    if (c.size() < 13) c.resize(13, ' ');
    return c;
}

AmountFault row_amounts(const SalesLine& line, std::string_view rate_text, RowAmounts& out) {
    // The register writes whole hundredths and thousandths; anything finer
    // could only be stored rounded into a figure the register never gave.
    if (!whole(line.value) || !whole(line.quantity)) return AmountFault::NotWhole;
    const double w = line.value / 100.0;
    const double q = line.quantity / 1000.0;
    const double rate = dbf::val_number(rate_text);
    RowAmounts a;
    a.quantity = dbf::round_decimal(q, 3);
    a.value = dbf::round_decimal(w, 2);
    a.price = q == 0 ? 0.0 : dbf::round_decimal(w / q, 4);
    a.vat = rate + 100 == 0 ? 0.0 : dbf::round_decimal(w * rate / (rate + 100), 4);
    if (!fits(a.quantity, kQuantity) || !fits(a.value, kValue) || !fits(a.price, kPrice) || !fits(a.vat, kVat))
        return AmountFault::TooLarge;
    out = a;
    return AmountFault::None;
}

}  // namespace durva
