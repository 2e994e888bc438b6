#pragma once
// The main send's goods in the order it writes them, through its scratch
// copies per station: rob\as_NN, every good that is not deleted with the
// cleaned name the register will get; and rob\assNN, the same records
// physically in order of name (or its first 17 characters, all a short-form
// register shows), warehouse and index. Nothing reads the copy in that
// order, so it gets no index.
//
// However many goods there are, what stays in memory is one run of goods
// being sorted and a piece of each run being merged: the goods are read
// straight through the file in runs of a megabyte, each run sorted and
// written to the copy as it is made. A thread of its own then merges the
// runs and hands the goods in order to the walk a piece at a time, writing
// each piece to the sorted copy as it goes, so the sorted copy is never read
// back; the walk builds the records meanwhile. When one run holds all the
// goods, they come from memory.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

#include "send/send_run.h"

namespace durva {

// The bytes of goods sorted at once: more goods than this are sorted in runs
// of this size and merged.
inline constexpr size_t kSortRunBytes = 1024 * 1024;
// The run size sends from now on take; tests make it tiny.
size_t sort_run_bytes();
void set_sort_run_bytes(size_t bytes);

class SortedGoods {
public:
    // Makes the copy and gets the sorted copy ready (replacing the files of
    // the station's last send). A failure goes to the general error handler.
    explicit SortedGoods(SendRun& run);
    ~SortedGoods();
    SortedGoods(const SortedGoods&) = delete;
    SortedGoods& operator=(const SortedGoods&) = delete;

    // The goods there are to walk.
    std::uint32_t count() const { return count_; }
    // The next good in order, the record's bytes valid until the call after
    // the next (the walk looks one good ahead); empty after the last. A copy
    // that cannot be read or written is a DbError.
    std::string_view next();
    // Which good next() gave last, counted from 1.
    std::uint32_t position() const { return position_; }
    // The sorted copy complete on the disk.
    void close();

    struct Source;

private:
    std::unique_ptr<Source> source_;
    std::uint32_t count_ = 0;
    std::uint32_t position_ = 0;
};

}  // namespace durva
