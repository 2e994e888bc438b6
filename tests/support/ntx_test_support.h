#pragma once
// Helpers for index tests: a table and one of its indexes opened together,
// whole walks, and the index's view of each record.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "common/dbf/dbf_file.h"
#include "common/dbf/ntx_index.h"
#include "common/dbf/ntx_pager.h"

namespace durva::test {

struct IndexedTable {
    std::unique_ptr<dbf::DbfFile> dbf;
    std::unique_ptr<dbf::NtxIndex> ntx;

    IndexedTable(const std::string& dbf_path, const std::string& ntx_path,
                 platform::Share mode = platform::Share::Exclusive) {
        dbf = dbf::DbfFile::open(dbf_path, mode);
        ntx = dbf::NtxIndex::open(ntx_path, mode, dbf->fields());
    }
    std::uint32_t records() { return dbf->record_count(); }
    std::string key_of(std::uint32_t recno) { return ntx->key_of(dbf->record_view(recno)); }
};

inline std::vector<dbf::NtxEntry> walk_forward(dbf::NtxIndex& ntx) {
    std::vector<dbf::NtxEntry> out;
    for (auto e = ntx.first(); e; e = ntx.next(*e)) out.push_back(*e);
    return out;
}

inline std::vector<dbf::NtxEntry> walk_backward(dbf::NtxIndex& ntx) {
    std::vector<dbf::NtxEntry> out;
    for (auto e = ntx.last(); e; e = ntx.prev(*e)) out.push_back(*e);
    return out;
}

inline std::vector<std::uint32_t> recnos(const std::vector<dbf::NtxEntry>& entries) {
    std::vector<std::uint32_t> out;
    for (const auto& e : entries) out.push_back(e.recno);
    return out;
}

// Openings made while it lives keep at most `pages` index pages in memory.
class NtxCacheBudget {
public:
    explicit NtxCacheBudget(size_t pages) : old_(dbf::ntx_cache_budget()) { dbf::set_ntx_cache_budget(pages); }
    ~NtxCacheBudget() { dbf::set_ntx_cache_budget(old_); }
    NtxCacheBudget(const NtxCacheBudget&) = delete;
    NtxCacheBudget& operator=(const NtxCacheBudget&) = delete;

private:
    size_t old_;
};

// DESCEND() of a text: every byte b becomes (256 - b) mod 256.
inline std::string descend(std::string s) {
    for (char& c : s) c = static_cast<char>((256 - static_cast<unsigned char>(c)) & 0xFF);
    return s;
}

// The sequence an index must hold for `keys` (key of record r at r - 1):
// sorted by key, record numbers in order among equals.
inline std::vector<dbf::NtxEntry> expected_entries(const std::vector<std::string>& keys) {
    std::multimap<std::string, std::uint32_t> m;
    for (size_t i = 0; i < keys.size(); ++i) m.emplace(keys[i], static_cast<std::uint32_t>(i + 1));
    std::vector<dbf::NtxEntry> out;
    for (const auto& [k, r] : m) out.push_back({k, r});
    return out;
}

}  // namespace durva::test

namespace durva::dbf {
inline void PrintTo(const NtxEntry& e, std::ostream* os) { *os << "(rec " << e.recno << ", \"" << e.key << "\")"; }
}  // namespace durva::dbf
