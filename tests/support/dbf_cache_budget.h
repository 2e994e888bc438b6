#pragma once
// The record cache's budget of exclusive tables, set for a test's while.
#include <cstddef>

#include "common/dbf/dbf_file.h"

namespace durva::test {

// Openings made while it lives keep at most `bytes` of records in memory.
class DbfCacheBudget {
public:
    explicit DbfCacheBudget(size_t bytes) : old_(dbf::dbf_cache_budget()) { dbf::set_dbf_cache_budget(bytes); }
    ~DbfCacheBudget() { dbf::set_dbf_cache_budget(old_); }
    DbfCacheBudget(const DbfCacheBudget&) = delete;
    DbfCacheBudget& operator=(const DbfCacheBudget&) = delete;

private:
    size_t old_;
};

}  // namespace durva::test
