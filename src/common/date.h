#pragma once
// Dates as the tables and the MEM file hold them: a Julian day number, 0 for
// the empty date. Shown and entered as "dd.mm.yyyy"; stored in tables as
// "YYYYMMDD" (8 blanks when empty).
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace durva {

struct Date {
    std::int32_t julian = 0;  // 2000-01-01 is 2451545; 0 is the empty date

    bool empty() const { return julian == 0; }
    static Date from_ymd(int year, int month, int day);  // empty when not a real date
    void ymd(int& year, int& month, int& day) const;

    std::string dtos() const;  // "YYYYMMDD", or 8 blanks
    std::string dtoc() const;  // "dd.mm.yyyy", or "  .  .    "
    // "YYYYMMDD" as a table stores it; anything not a real date is the empty date.
    static Date from_dtos(std::string_view s);
    // "dd.mm.yyyy"; nullopt when the text is not a date (blank text is the empty date).
    static std::optional<Date> from_dtoc(std::string_view s);

    friend bool operator==(Date a, Date b) { return a.julian == b.julian; }
    friend auto operator<=>(Date a, Date b) { return a.julian <=> b.julian; }
};

bool is_leap_year(int year);
int days_in_month(int year, int month);

}  // namespace durva
