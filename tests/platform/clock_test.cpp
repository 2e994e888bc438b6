#include <gtest/gtest.h>

#include "common/date.h"
#include "platform/clock.h"

namespace durva {

TEST(TestClock, SleepingAdvancesTimeOfDayAcrossMidnight) {
    platform::TestClock clock({2016, 2, 29, 23, 59, 30});
    clock.sleep_ms(45'000);
    auto t = clock.local_time();
    EXPECT_EQ(t.year, 2016);
    EXPECT_EQ(t.month, 3);
    EXPECT_EQ(t.day, 1);
    EXPECT_EQ(t.minute, 0);
    EXPECT_EQ(t.second, 15);
    EXPECT_EQ(clock.now_ms(), 45'000);
}

TEST(Dates, JulianDaysAndTexts) {
    EXPECT_EQ(Date::from_ymd(2000, 1, 1).julian, 2451545);
    EXPECT_TRUE(Date::from_ymd(2015, 2, 29).empty());
    Date d = Date::from_ymd(2024, 2, 29);
    EXPECT_EQ(d.dtos(), "20240229");
    EXPECT_EQ(d.dtoc(), "29.02.2024");
    EXPECT_EQ(Date::from_dtos("20240229"), d);
    EXPECT_TRUE(Date::from_dtos("        ").empty());
    EXPECT_TRUE(Date::from_dtos("20241301").empty());
    EXPECT_EQ(Date::from_dtoc("29.02.2024"), d);
    EXPECT_FALSE(Date::from_dtoc("30.02.2024").has_value());
    EXPECT_EQ(Date{}.dtos(), "        ");
}

}  // namespace durva
