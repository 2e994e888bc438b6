#include "receive/sales_line.h"

#include <gtest/gtest.h>

#include <string>

namespace durva {
namespace {

struct ParseCase {
    std::string line;
    bool sales;
    std::string code;
    double value, quantity;
};

TEST(SalesLine, FieldsAreTakenFromCharactersThreeTo122) {
    const std::string far_code(118, '7');  // its ";" is character 121: all four cannot fit
    const ParseCase cases[] = {
        {"S;5901234123457;MLEKO;349;2000;", true, "5901234123457", 349, 2000},
        {"S;5901234123457;MLEKO;349;2000;reszta;", true, "5901234123457", 349, 2000},
        {"XY 123;A;  -250;-1000", false, "", 0, 0},        // three separators only
        {"S; 12345 ;;0;0;", true, " 12345 ", 0, 0},         // blanks in the code kept
        {"S;1;A;abc;;", true, "1", 0, 0},                    // no digits count 0
        {"S;1;A;12.5x;+7;", true, "1", 12.5, 7},
        {"S;1;A;  349;   2000;", true, "1", 349, 2000},      // blanks before the digits skipped
        {"S;1;A;\t349; \t2000;", true, "1", 0, 0},          // nothing else is: no digits, 0
        {"S;", false, "", 0, 0},
        {"", false, "", 0, 0},
        {"S", false, "", 0, 0},
        {"SS1;A;2;3;", true, "1", 2, 3},                     // characters 1 and 2 never looked at
        {";;1;A;2;3;", true, "1", 2, 3},
        {"S;" + far_code + ";A;1;1;", false, "", 0, 0},
        {"S;" + std::string(100, '1') + ";" + std::string(14, 'N') + ";1;2;", true, std::string(100, '1'), 1, 2},
        {"S;" + std::string(100, '1') + ";" + std::string(15, 'N') + ";1;2;", false, "", 0, 0},
    };
    for (const ParseCase& c : cases) {
        SCOPED_TRACE(c.line);
        auto got = parse_sales_line(c.line);
        ASSERT_EQ(got.has_value(), c.sales);
        if (!c.sales) continue;
        EXPECT_EQ(got->code, c.code);
        EXPECT_DOUBLE_EQ(got->value, c.value);
        EXPECT_DOUBLE_EQ(got->quantity, c.quantity);
    }
}

TEST(SalesLine, ShortCodesGetTheWeighedGoodsPrefixOnlyWhenAsked) {
    EXPECT_EQ(search_code("12345", true), "2812345      ");
    EXPECT_EQ(search_code("12345", false), "12345        ");
    EXPECT_EQ(search_code("1234", true), "1234         ");
    EXPECT_EQ(search_code(" 1234", true), "28 1234      ");  // leading blanks count
    EXPECT_EQ(search_code("5901234123457", true), "5901234123457");
    EXPECT_EQ(search_code("59012341234570", false), "59012341234570");  // a longer code stays whole
    EXPECT_EQ(search_code("", true), std::string(13, ' '));
}

struct AmountCase {
    double value, quantity;
    std::string rate;
    AmountFault fault;
    double w, q, price, vat;
};

TEST(SalesLine, RowAmountsAreTheRegistersFiguresOrRefused) {
    const AmountCase cases[] = {
        {349, 2000, "23", AmountFault::None, 3.49, 2, 1.745, 0.6526},
        {12300, 1000, "23", AmountFault::None, 123, 1, 123, 23},
        {10800, 1000, " 8", AmountFault::None, 108, 1, 108, 8},
        {10800, 1000, "ZW", AmountFault::None, 108, 1, 108, 0},
        {12300, 0, "23", AmountFault::None, 123, 0, 0, 23},             // no quantity: no unit price
        {-250, -1000, "23", AmountFault::None, -2.5, -1, 2.5, -0.4675},  // a return
        {100, 3000, " 5", AmountFault::None, 1, 3, 0.3333, 0.0476},
        {349.5, 1000, "23", AmountFault::NotWhole, 0, 0, 0, 0},
        {349, 1000.5, "23", AmountFault::NotWhole, 0, 0, 0, 0},
        {999999999999999, 1000, "23", AmountFault::TooLarge, 0, 0, 0, 0},  // 15 digits
        {100, 999999999999999, "23", AmountFault::TooLarge, 0, 0, 0, 0},
        {999999999, 1, "23", AmountFault::TooLarge, 0, 0, 0, 0},  // unit price beyond its field
        {9999999999999, 1000000, "0", AmountFault::None, 99999999999.99, 1000, 100000000, 0},
        {-1000000000000, 1000, "0", AmountFault::TooLarge, 0, 0, 0, 0},  // the sign needs its place
    };
    for (const AmountCase& c : cases) {
        SCOPED_TRACE(std::to_string(c.value) + " / " + std::to_string(c.quantity) + " rate " + c.rate);
        SalesLine line{"1", "A", c.value, c.quantity};
        RowAmounts a;
        AmountFault fault = row_amounts(line, c.rate, a);
        ASSERT_EQ(fault, c.fault);
        if (fault != AmountFault::None) continue;
        EXPECT_DOUBLE_EQ(a.value, c.w);
        EXPECT_DOUBLE_EQ(a.quantity, c.q);
        EXPECT_DOUBLE_EQ(a.price, c.price);
        EXPECT_DOUBLE_EQ(a.vat, c.vat);
    }
}

}  // namespace
}  // namespace durva
