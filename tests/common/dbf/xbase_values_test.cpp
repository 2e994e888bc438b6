#include <gtest/gtest.h>

#include "common/dbf/xbase_values.h"

namespace durva::dbf {

TEST(StrNumber, WidthDecimalsSignAndRounding) {
    EXPECT_EQ(str_number(12.5, 8, 2), "   12.50");
    EXPECT_EQ(str_number(0, 8, 2), "    0.00");
    EXPECT_EQ(str_number(-12.5, 8, 2), "  -12.50");
    EXPECT_EQ(str_number(-0.5, 8, 2), "   -0.50");
    EXPECT_EQ(str_number(-186.25, 8, 2), " -186.25");
    EXPECT_EQ(str_number(12.345, 8, 2), "   12.35");
    EXPECT_EQ(str_number(-12.345, 8, 2), "  -12.35");
    EXPECT_EQ(str_number(1.005, 8, 2), "    1.01");
    EXPECT_EQ(str_number(12.5, 4, 0), "  13");
    EXPECT_EQ(str_number(-12.5, 4, 0), " -13");
    EXPECT_EQ(str_number(-0.001, 5, 2), " 0.00");
    EXPECT_EQ(str_number(-0.5, 5, 2), "-0.50");
    EXPECT_EQ(str_number(0.5, 7, 2), "   0.50");
    EXPECT_EQ(str_number(-76, 15, 3), "        -76.000");
}

TEST(StrNumber, OverflowFillsWithAsterisks) {
    EXPECT_EQ(str_number(100000, 8, 2), "********");
    EXPECT_EQ(str_number(99999.995, 8, 2), "********");
    EXPECT_EQ(str_number(123456, 5, 0), "*****");
    EXPECT_EQ(str_number(-42, 5, 0), "  -42");
    EXPECT_EQ(str_number(12345, 3, 0), "***");
    EXPECT_EQ(str_number(-9999, 4, 0), "****");
}

TEST(ValNumber, LenientReading) {
    EXPECT_DOUBLE_EQ(val_number("  12.50"), 12.5);
    EXPECT_DOUBLE_EQ(val_number("        "), 0);
    EXPECT_DOUBLE_EQ(val_number("********"), 0);
    EXPECT_DOUBLE_EQ(val_number("1 2"), 1);
    EXPECT_DOUBLE_EQ(val_number("  -"), 0);
    EXPECT_DOUBLE_EQ(val_number(" -186.25"), -186.25);
    EXPECT_DOUBLE_EQ(val_number("1.2.3"), 1.2);
}

TEST(RoundDecimal, HalvesAwayFromZero) {
    EXPECT_DOUBLE_EQ(round_decimal(2.345, 2), 2.35);
    EXPECT_DOUBLE_EQ(round_decimal(-2.345, 2), -2.35);
    EXPECT_DOUBLE_EQ(round_decimal(1.005, 2), 1.01);
    EXPECT_DOUBLE_EQ(round_decimal(0.0049, 2), 0);
}

}  // namespace durva::dbf
