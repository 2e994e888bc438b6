#include "common/newround.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

namespace durva {
namespace {

TEST(MoneyRounding, TwoDecimalsOfTheOfficesAmounts) {
    EXPECT_DOUBLE_EQ(NEWROUND(0.005, 2), 0.01);
    EXPECT_DOUBLE_EQ(NEWROUND(1.2349999, 2), 1.23);
    EXPECT_DOUBLE_EQ(NEWROUND(2.675, 2), 2.68);  // 2.67499999... as a double
    EXPECT_DOUBLE_EQ(NEWROUND(1.005, 2), 1.01);  // 1.00499999... as a double
    EXPECT_DOUBLE_EQ(NEWROUND(2.345, 2), 2.35);
    EXPECT_DOUBLE_EQ(NEWROUND(2.344999, 2), 2.34);
    EXPECT_DOUBLE_EQ(NEWROUND(19.99, 2), 19.99);
    EXPECT_DOUBLE_EQ(NEWROUND(1234567.891, 2), 1234567.89);
}

TEST(MoneyRounding, NegativeHalvesRoundTowardsZero) {
    EXPECT_DOUBLE_EQ(NEWROUND(-2.345, 2), -2.34);
    EXPECT_DOUBLE_EQ(NEWROUND(-2.346, 2), -2.35);
    EXPECT_DOUBLE_EQ(NEWROUND(-12.5), -12);
    EXPECT_DOUBLE_EQ(NEWROUND(-12.51), -13);
}

TEST(MoneyRounding, MinusHalfACentIsAPlainZero) {
    const double r = NEWROUND(-0.005, 2);
    EXPECT_EQ(r, 0);
    EXPECT_FALSE(std::signbit(r));
    char shown[16];
    std::snprintf(shown, sizeof shown, "%.2f", r);
    EXPECT_STREQ(shown, "0.00");
}

TEST(MoneyRounding, ZeroDecimalsByDefault) {
    EXPECT_DOUBLE_EQ(NEWROUND(2.5), 3);
    EXPECT_DOUBLE_EQ(NEWROUND(2.49), 2);
    EXPECT_DOUBLE_EQ(NEWROUND(0), 0);
    // The added 0.00000001 turns this value into an exact zero.
    EXPECT_EQ(NEWROUND(-0.00000001, 2), 0);
}

}  // namespace
}  // namespace durva
