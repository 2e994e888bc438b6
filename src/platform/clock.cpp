#include "platform/clock.h"

#include <chrono>
#include <ctime>
#include <thread>

namespace durva::platform {

std::int64_t RealClock::now_ms() const {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

static LocalTime from_tm(const std::tm& tm) {
    return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

LocalTime RealClock::local_time() const {
    std::time_t t = std::time(nullptr);
    std::tm tm{};
    localtime_r(&t, &tm);
    return from_tm(tm);
}

void RealClock::sleep_ms(std::int64_t ms) {
    if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

LocalTime TestClock::local_time() const {
    std::tm tm{};
    tm.tm_year = start_.year - 1900;
    tm.tm_mon = start_.month - 1;
    tm.tm_mday = start_.day;
    tm.tm_hour = start_.hour;
    tm.tm_min = start_.minute;
    tm.tm_sec = start_.second + static_cast<int>(now_ / 1000);
    std::time_t t = timegm(&tm);  // normalises the seconds carried over
    std::tm out{};
    gmtime_r(&t, &out);
    return from_tm(out);
}

}  // namespace durva::platform
