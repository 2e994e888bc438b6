#pragma once
// The command line of durvademo, checked word by word: a bad option or value
// is refused with a message instead of quietly writing something else.
#include <string>
#include <vector>

#include "office.h"

namespace durva::demo {

inline constexpr std::size_t kMaxGoods = 1'000'000;

struct CommandLine {
    OfficeOptions office;
    bool help = false;
    bool version = false;
    std::string error;  // what is wrong with the command line, "" when nothing
    bool date_given = false;
};

CommandLine parse_command_line(const std::vector<std::string>& args);

// A whole number of decimal digits only, within [min, max].
bool parse_count(const std::string& text, unsigned long long min, unsigned long long max, unsigned long long& out);
// "dd.mm.yyyy" or "yyyy-mm-dd" with a year the period folder can hold (1990-2089).
bool parse_day(const std::string& text, Date& out);

extern const char* const kUsage;

}  // namespace durva::demo
