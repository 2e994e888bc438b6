#pragma once
// Records of a shared table met in no order (a booking's goods, say), read
// under the table's file lock in runs, records near each other in one read,
// changed in memory, and written back a run at a time: a few large reads and
// writes instead of one of each for every record.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/dbf/dbf_file.h"

namespace durva::dbf {

class RecordRuns {
public:
    // Reads records `recnos` (any order, repeats and 0 ignored) of `file`,
    // whose file lock the caller holds until write() is done.
    RecordRuns(DbfFile& file, std::vector<std::uint32_t> recnos);

    // The bytes of a record read, as changed so far; nullopt for one not read.
    std::optional<std::string_view> find(std::uint32_t recno) const;
    // Gives a record read new bytes (of the table's record length); false
    // for one not read, which stays for the caller to write.
    bool change(std::uint32_t recno, std::string_view bytes);
    // Writes each run from its first changed record to its last.
    void write();

private:
    struct Run {
        std::uint32_t first = 0, count = 0;
        std::string bytes;
        std::uint32_t lo = 0, hi = 0;  // the records changed, 0 when none
    };
    const Run* run_of(std::uint32_t recno) const;

    DbfFile& file_;
    std::vector<Run> runs_;
};

}  // namespace durva::dbf
