#pragma once
// One line of a register's sales file, split into its fields, and the amounts
// a work-table row gets from it. Only characters 3 to 122 of a line are
// examined; the record kind in characters 1 and 2 is not looked at.
#include <optional>
#include <string>
#include <string_view>

namespace durva {

struct SalesLine {
    std::string code;      // field 1 as written, blanks kept
    std::string name;      // field 2, the register's name of the good (not used)
    double value = 0;      // field 3 read as a number, in hundredths
    double quantity = 0;   // field 4 read as a number, in thousandths
};

// The four fields of a sales line; nullopt when one of the four ";" does not
// lie within characters 3 to 122 (not a sales line, dropped without trace).
std::optional<SalesLine> parse_sales_line(std::string_view line);

// The code searched for: padded with blanks to 13 characters (a longer one
// stays whole); with the short-code prefix, a code of exactly 5 characters
// gets "28" in front, cut to 13.
std::string search_code(std::string_view code, bool short_code_prefix);

// The amounts of one row, each already at its field's decimals.
struct RowAmounts {
    double quantity = 0;  // ILOSC, 3 decimals
    double value = 0;     // WARTOSC and BRUTTO, 2 decimals
    double price = 0;     // CENA: value / quantity, 0 for a zero quantity, 4 decimals
    double vat = 0;       // PODATEK: the VAT the value contains, 4 decimals
};

// Why a line that parsed cannot become a row.
enum class AmountFault {
    None,
    NotWhole,   // a value with parts of a hundredth, or a quantity with parts of a thousandth
    TooLarge,   // an amount that its field cannot hold
};

// The row amounts of a parsed line with the goods' VAT rate text (e.g. "23";
// text without digits counts 0). Refuses amounts the row could not store as
// they were read: the register's figures are never rounded into other ones.
AmountFault row_amounts(const SalesLine& line, std::string_view rate_text, RowAmounts& out);

}  // namespace durva
