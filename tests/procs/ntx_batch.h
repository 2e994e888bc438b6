#pragma once
// The index the tests of index updates cut short work on, shared by the test
// and the workstation it starts: one character field, and keys spread over
// the whole tree, so that a batch of them splits most leaves of a built index.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "common/dbf/field.h"
#include "common/dbf/ntx_index.h"

namespace durva::test {

inline constexpr char kBatchExpression[] = "NAZWA";

inline dbf::FieldList batch_fields() { return {{"NAZWA", 'C', 12, 0, 1}}; }

// The key of record r: a scatter of r, then r itself, so that no two are equal.
inline std::string batch_key(std::uint32_t r) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%08u%04u", (r * 2654435761u) % 100000000u, r % 10000u);
    return buf;
}

// The entries of records first .. first + count - 1.
inline std::vector<dbf::NtxEntry> batch_entries(std::uint32_t first, std::uint32_t count) {
    std::vector<dbf::NtxEntry> out;
    for (std::uint32_t r = first; r < first + count; ++r) out.push_back({batch_key(r), r});
    return out;
}

}  // namespace durva::test
