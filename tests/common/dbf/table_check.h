#pragma once
// Checks shared by the table tests: every index of a table complete and
// ordered against the table, and key texts in the office code page.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/dbf/table.h"

namespace durva::dbf::test {

// DESCEND() of a text: every byte b becomes (256 - b) mod 256.
inline std::string descend(std::string s) {
    for (char& c : s) c = static_cast<char>((256 - static_cast<unsigned char>(c)) % 256);
    return s;
}

// Walks every order of `t` (its settings must show deleted records): each
// record appears exactly once, keys never go down, the index's own check
// passes, and every record is found by a seek of its own key.
inline void expect_indexes_complete(Table& t) {
    const std::uint32_t n = t.record_count();
    const int saved_order = t.order();
    for (int o = 1; o <= t.index_count(); ++o) {
        NtxIndex& ix = t.index(o);
        SCOPED_TRACE(ix.path());
        EXPECT_EQ(ix.verify(n), "");
        EXPECT_EQ(ix.key_count(), n);
        ASSERT_TRUE(t.set_order(o));
        std::vector<int> seen(n + 1, 0);
        std::string prev;
        std::uint32_t walked = 0;
        for (t.go_top(); !t.eof(); t.skip(1)) {
            std::string key = ix.key_of(t.record());
            EXPECT_LE(prev, key) << "record " << t.recno();
            prev = key;
            ASSERT_LE(t.recno(), n);
            ++seen[t.recno()];
            ++walked;
        }
        EXPECT_EQ(walked, n);
        for (std::uint32_t r = 1; r <= n; ++r) EXPECT_EQ(seen[r], 1) << "record " << r;
        for (std::uint32_t r = 1; r <= n; ++r) {
            t.go_to(r);
            std::string key = ix.key_of(t.record());
            ASSERT_TRUE(t.seek(key, false)) << "record " << r;
            while (!t.eof() && t.recno() != r && ix.key_of(t.record()) == key) t.skip(1);
            EXPECT_EQ(t.recno(), r) << "record " << r << " not among the entries of its key";
        }
    }
    t.set_order(saved_order);
}

}  // namespace durva::dbf::test
