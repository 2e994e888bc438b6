#pragma once
// The program-wide variables: a name-to-value store of texts, numbers, dates
// and logicals. The persisted `J_` settings live here beside whatever the
// shared PARAMETR.MEM brings, so that variables this program does not know
// survive a round trip through the file.
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "common/date.h"

namespace durva {

// A number keeps the display width and decimals the MEM file records for it.
struct MemNumber {
    double value = 0;
    int width = 10;
    int decimals = 0;
};

using MemValue = std::variant<std::string, MemNumber, Date, bool>;

class Memvars {
public:
    // Names are upper-cased and cut to ten characters, as the MEM file keeps them.
    static std::string normalise(std::string_view name);

    // Creates the variable or replaces its value; creation order is kept.
    void set(std::string_view name, MemValue value);
    void set_text(std::string_view name, std::string_view text) { set(name, std::string(text)); }
    void set_number(std::string_view name, double value, int width = 10, int decimals = 0) {
        set(name, MemNumber{value, width, decimals});
    }
    void set_date(std::string_view name, Date d) { set(name, d); }
    void set_logical(std::string_view name, bool b) { set(name, b); }

    bool has(std::string_view name) const { return find(name) != nullptr; }
    const MemValue* find(std::string_view name) const;

    // Typed reads: a missing variable or one of another type reads as the
    // type's empty value ("", 0, the empty date, false).
    std::string text(std::string_view name) const;
    double number(std::string_view name) const;
    Date date(std::string_view name) const;
    bool logical(std::string_view name) const;

    const std::vector<std::pair<std::string, MemValue>>& entries() const { return entries_; }

private:
    std::vector<std::pair<std::string, MemValue>> entries_;
};

}  // namespace durva
