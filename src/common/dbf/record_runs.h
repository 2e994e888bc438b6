#pragma once
// Records of a shared table met in no order (a booking's goods, say), read
// and rewritten under the table's file lock in runs: records near each
// other go in one read, and in one write with the records between them as
// the same lock found them. A few large reads and writes instead of one of each
// for every record, through one buffer of at most a megabyte.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/dbf/dbf_file.h"

namespace durva::dbf {

// Reads records `recnos` (any order; repeats, 0 and numbers past the end
// ignored) of `file`, whose file lock the caller holds, and hands each to
// `seen` with its bytes, valid during the call.
void read_in_runs(DbfFile& file, std::vector<std::uint32_t> recnos,
                  const std::function<void(std::uint32_t recno, std::string_view bytes)>& seen);

// Reads records `recnos` (each once; 0 and numbers past the end refused)
// of `file`, whose file lock the caller holds, lets `change` change each
// one's bytes, and writes them back.
void update_in_runs(DbfFile& file, std::vector<std::uint32_t> recnos,
                    const std::function<void(std::uint32_t recno, std::string& record)>& change);

}  // namespace durva::dbf
