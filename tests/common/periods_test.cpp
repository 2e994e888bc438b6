#include "common/periods.h"

#include <gtest/gtest.h>

namespace durva {
namespace {

TEST(PeriodDays, FirstDayOfThePeriod) {
    EXPECT_EQ(P_MIES("95\\07"), "01.07.1995");
    EXPECT_EQ(P_MIES("16\\03"), "01.03.2016");
    EXPECT_EQ(P_MIES("00\\12"), "01.12.2000");
    EXPECT_EQ(P_MIES("89\\01"), "01.01.2089");
    EXPECT_EQ(P_MIES("90\\01"), "01.01.1990");
}

TEST(PeriodDays, LastDayOfTheMonth) {
    EXPECT_EQ(K_MIES_FK("16\\04"), "30.04.2016");
    EXPECT_EQ(K_MIES_FK("16\\12"), "31.12.2016");
    EXPECT_EQ(K_MIES_FK("16\\01"), "31.01.2016");
    EXPECT_EQ(K_MIES_FK("16\\08"), "31.08.2016");
    EXPECT_EQ(K_MIES_FK("16\\09"), "30.09.2016");
    EXPECT_EQ(K_MIES_FK("16\\11"), "30.11.2016");
}

TEST(PeriodDays, FebruaryFollowsTheLeapYearRule) {
    EXPECT_EQ(K_MIES_FK("24\\02"), "29.02.2024");
    EXPECT_EQ(K_MIES_FK("00\\02"), "29.02.2000");  // divisible by 400
    EXPECT_EQ(K_MIES_FK("99\\02"), "28.02.1999");
    EXPECT_EQ(K_MIES_FK("96\\02"), "29.02.1996");
    EXPECT_EQ(K_MIES_FK("23\\02"), "28.02.2023");
    EXPECT_EQ(K_MIES_FK("16"), "29..2016");  // a damaged period text without its month
}

}  // namespace
}  // namespace durva
