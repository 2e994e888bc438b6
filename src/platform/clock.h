#pragma once
// Every wait of the program (message windows, lock and opening retries) goes
// through a Clock, so that tests run on a clock that advances without sleeping.
#include <cstdint>

namespace durva::platform {

struct LocalTime {
    int year = 2000, month = 1, day = 1;
    int hour = 0, minute = 0, second = 0;
};

class Clock {
public:
    virtual ~Clock() = default;
    // Milliseconds on a monotonic scale; only differences mean anything.
    virtual std::int64_t now_ms() const = 0;
    // Today's date and the time of day on the workstation.
    virtual LocalTime local_time() const = 0;
    virtual void sleep_ms(std::int64_t ms) = 0;
};

class RealClock final : public Clock {
public:
    std::int64_t now_ms() const override;
    LocalTime local_time() const override;
    void sleep_ms(std::int64_t ms) override;
};

// A clock for tests: sleeping advances it at once; the date and time of day
// follow the start value plus the time advanced.
class TestClock final : public Clock {
public:
    explicit TestClock(LocalTime start = {2016, 3, 15, 10, 0, 0}) : start_(start) {}
    std::int64_t now_ms() const override { return now_; }
    LocalTime local_time() const override;
    void sleep_ms(std::int64_t ms) override { if (ms > 0) now_ += ms; }
    void advance_ms(std::int64_t ms) { sleep_ms(ms); }
    void set_local_time(LocalTime t) { start_ = t; now_ = 0; }

private:
    LocalTime start_;
    std::int64_t now_ = 0;
};

}  // namespace durva::platform
