#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <random>

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

// Around the points where the short way gives the decision to the long one:
// within 0.01 of a half in the last kept place, at 10^13 units, above 15
// decimals, and for halves that a double holds exactly or only nearly.
TEST(StrNumber, RoundingNearHalvesAndAtTheLimitsOfTheShortWay) {
    EXPECT_EQ(str_number(2.4849, 8, 2), "    2.48");
    EXPECT_EQ(str_number(2.4851, 8, 2), "    2.49");
    EXPECT_EQ(str_number(2.4889, 8, 2), "    2.49");
    EXPECT_EQ(str_number(2.4811, 8, 2), "    2.48");
    EXPECT_EQ(str_number(0.125, 5, 2), " 0.13");
    EXPECT_EQ(str_number(0.375, 5, 2), " 0.38");
    EXPECT_EQ(str_number(2.5, 3, 0), "  3");
    EXPECT_EQ(str_number(-2.5, 3, 0), " -3");
    EXPECT_EQ(str_number(1.115, 6, 2), "  1.12");
    EXPECT_EQ(str_number(2.675, 6, 2), "  2.68");
    EXPECT_EQ(str_number(8.345, 6, 2), "  8.35");
    EXPECT_EQ(str_number(0.285, 6, 2), "  0.29");
    EXPECT_EQ(str_number(1.45, 3, 1), "1.5");
    EXPECT_EQ(str_number(1.65, 3, 1), "1.7");
    EXPECT_EQ(str_number(1.0049999999, 6, 2), "  1.00");
    EXPECT_EQ(str_number(-0.004, 6, 2), "  0.00");
    EXPECT_EQ(str_number(-0.005, 6, 2), " -0.01");
    EXPECT_EQ(str_number(-0.0, 6, 2), "  0.00");
    EXPECT_EQ(str_number(1e-300, 6, 2), "  0.00");
    EXPECT_EQ(str_number(0.49, 1, 0), "0");
    EXPECT_EQ(str_number(0.51, 1, 0), "1");
    // The carry reaches a new digit, and then the width.
    EXPECT_EQ(str_number(999.49, 3, 0), "999");
    EXPECT_EQ(str_number(999.5, 3, 0), "***");
    EXPECT_EQ(str_number(-999.49, 4, 0), "-999");
    EXPECT_EQ(str_number(-999.5, 4, 0), "****");
    // Just below and at 10^13 units of the last kept place.
    EXPECT_EQ(str_number(99999999999.99, 15, 2), " 99999999999.99");
    EXPECT_EQ(str_number(99999999999.994, 15, 2), " 99999999999.99");
    EXPECT_EQ(str_number(99999999999.996, 15, 2), "100000000000.00");
    EXPECT_EQ(str_number(100000000000.0, 15, 2), "100000000000.00");
    EXPECT_EQ(str_number(-99999999999.99, 15, 2), "-99999999999.99");
    EXPECT_EQ(str_number(9999999999999.4, 16, 0), "   9999999999999");
    EXPECT_EQ(str_number(9999999999999.6, 16, 0), "  10000000000000");
    // Beyond 15 significant digits only 15 count.
    EXPECT_EQ(str_number(4503599627370495.5, 20, 0), "    4503599627370500");
    EXPECT_EQ(str_number(0.001234567890123, 20, 15), "   0.001234567890123");
    EXPECT_EQ(str_number(0.123456789012345, 20, 15), "   0.123456789012345");
    EXPECT_EQ(str_number(0.0012345678901235, 20, 16), "  0.0012345678901235");
    EXPECT_EQ(str_number(1e300, 10, 2), "**********");
    EXPECT_EQ(str_number(std::nan(""), 6, 2), "  0.00");
    EXPECT_EQ(str_number(INFINITY, 6, 2), "  0.00");
}

// The short way must give the long way's text for every value; most at
// risk are values a hair from a half, so many are built that way.
TEST(StrNumber, ShortWayAgreesWithTheLongWay) {
    std::mt19937_64 rng(20240229);
    int checked = 0;
    auto same = [&](double v, int width, int decimals) {
        ++checked;
        std::string fast = str_number(v, width, decimals);
        std::string sure = str_number_reference(v, width, decimals);
        ASSERT_EQ(fast, sure) << "value " << v << " width " << width << " decimals " << decimals;
    };
    for (int i = 0; i < 60000; ++i) {
        int decimals = static_cast<int>(rng() % 17);
        int width = 1 + static_cast<int>(rng() % 24);
        double scale = std::pow(10.0, decimals);
        double v = 0;
        switch (rng() % 4) {
            case 0:  // any magnitude
                v = std::ldexp(static_cast<double>(rng() >> 11), -static_cast<int>(rng() % 90));
                break;
            case 1:  // a half of the last kept place, as near as a double gets
                v = (static_cast<double>(rng() % 100000000000ULL) + 0.5) / scale;
                break;
            case 2:  // one step beside that
                v = std::nextafter((static_cast<double>(rng() % 10000000) + 0.5) / scale, (rng() & 1) ? 1e300 : -1e300);
                break;
            case 3: {  // at the edges of the short way's margin
                const double offsets[] = {-0.0100001, -0.01, -0.0099999, 0.0099999, 0.01, 0.0100001};
                v = (static_cast<double>(rng() % 10000000) + 0.5 + offsets[rng() % 6]) / scale;
                break;
            }
        }
        same((rng() & 1) ? -v : v, width, decimals);
        if (HasFatalFailure()) return;
    }
    EXPECT_EQ(checked, 60000);
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

TEST(ValNumber, LongDigitRunsAndManyDecimalsReadExactly) {
    EXPECT_EQ(val_number("123456789012345"), 123456789012345.0);
    EXPECT_EQ(val_number("1234567890123456789"), 1234567890123456789.0);
    EXPECT_EQ(val_number("0.1"), 0.1);
    EXPECT_EQ(val_number("   0.30000000000000004"), 0.30000000000000004);
    EXPECT_EQ(val_number("000000000000000000000012.5"), 12.5);
    EXPECT_EQ(val_number("0.0000000000000000000000001"), 1e-25);
    EXPECT_EQ(val_number("-9999999999.9999"), -9999999999.9999);
    EXPECT_EQ(val_number("12."), 12.0);
    EXPECT_EQ(val_number("-.5"), -0.5);
    EXPECT_EQ(val_number("."), 0.0);
    EXPECT_EQ(val_number(" +7."), 7.0);
    EXPECT_EQ(val_number("000.000120"), 0.00012);
    EXPECT_EQ(val_number("0.000000000000000000000000000000000000000000000000000000001"), 1e-57);
    EXPECT_TRUE(std::signbit(val_number("-0")));
    // Every text STR() writes reads back as the value it came from.
    for (double v : {0.01, 12.34, -186.25, 99999.99, 0.0001, 1234.5678, 123456789.0123})
        EXPECT_EQ(val_number(str_number(v, 20, 4)), std::round(v * 1e4) / 1e4) << v;
}

TEST(RoundDecimal, HalvesAwayFromZero) {
    EXPECT_DOUBLE_EQ(round_decimal(2.345, 2), 2.35);
    EXPECT_DOUBLE_EQ(round_decimal(-2.345, 2), -2.35);
    EXPECT_DOUBLE_EQ(round_decimal(1.005, 2), 1.01);
    EXPECT_DOUBLE_EQ(round_decimal(0.0049, 2), 0);
    EXPECT_FALSE(std::signbit(round_decimal(-0.0049, 2)));
}

// Rounded, a value is the double nearest the decimal text STR() makes of it,
// whichever way it is worked out; values a hair from a half most of all.
TEST(RoundDecimal, EqualsTheDecimalItsTextShows) {
    std::mt19937_64 rng(7);
    for (int i = 0; i < 40000; ++i) {
        const int decimals = static_cast<int>(rng() % 5);
        const double scale = std::pow(10.0, decimals);
        double v = 0;
        switch (rng() % 3) {
            case 0: v = static_cast<double>(rng() % 10000000000ULL) / 997.0; break;
            case 1: v = (static_cast<double>(rng() % 100000000ULL) + 0.5) / scale; break;
            case 2:
                v = std::nextafter((static_cast<double>(rng() % 1000000) + 0.5) / scale, (rng() & 1) ? 1e300 : -1e300);
                break;
        }
        if (rng() & 1) v = -v;
        const double want = std::strtod(str_number_reference(v, 40, decimals).c_str(), nullptr);
        ASSERT_EQ(round_decimal(v, decimals), want) << "value " << v << " decimals " << decimals;
    }
}

}  // namespace durva::dbf
