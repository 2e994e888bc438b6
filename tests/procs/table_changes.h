#pragma once
// What table_changer writes into record r in round j, shared with the test
// that checks the table afterwards. The keys jump about the key range from
// round to round, so every change moves entries between index pages.
#include <cstdint>
#include <cstdio>
#include <string>

namespace durva::test {

inline std::string changed_kod(std::uint32_t r, int j) {
    char b[32];
    std::snprintf(b, sizeof b, "%c%05u-%02d", 'A' + static_cast<int>((r * 7 + static_cast<unsigned>(j) * 13) % 26),
                  r % 100000, j % 100);
    return b;
}

inline std::string changed_nazwa(std::uint32_t r, int j) {
    char b[48];
    std::snprintf(b, sizeof b, "towar %u zmiana %d", (r * 31 + static_cast<unsigned>(j) * 17) % 1000, j);
    return b;
}

inline bool changed_deleted(std::uint32_t r, int j) { return (r + static_cast<std::uint32_t>(j)) % 5 == 0; }

}  // namespace durva::test
