#pragma once
// Records of a shared table met in no order (a booking's goods, say), read
// and written under the table's file lock in runs: records near each other
// go in one read, and in one write with the records between them as the
// same lock found them. A few large reads and writes instead of one of each
// for every record, through one buffer of at most a megabyte.
#include <cstdint>
#include <functional>
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

// Writes `changes` (record number, new bytes of the record's length; each
// number once) to `file`, whose file lock the caller holds.
void write_in_runs(DbfFile& file, std::vector<std::pair<std::uint32_t, std::string_view>> changes);

}  // namespace durva::dbf
