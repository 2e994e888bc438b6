#pragma once
// The main send's scratch copies of the goods, per station: rob\as_NN, every
// good that is not deleted with the cleaned name the register will get;
// its index rob\as_NN.ntx by name (or its first 17 characters, all a
// short-form register shows), warehouse and index; and rob\assNN, the same
// records physically in that order, which the walk reads from the top.
//
// However many goods there are, what stays in memory is a run of records
// being sorted, the keys of the index being built and its pages: the goods
// are read straight through the file in runs, the copies written as they are
// made, and the sorted copy merged from sorted runs rather than gathered
// record by record from the copy.
#include <cstddef>

#include "send/send_run.h"

namespace durva {

// The bytes of records sorted at once: a copy larger than this is sorted in
// runs of this size, kept in a temporary file, and merged.
inline constexpr size_t kSortRunBytes = 1024 * 1024;
// The run size sends from now on take; tests make it tiny.
size_t sort_run_bytes();
void set_sort_run_bytes(size_t bytes);

// Makes the three files (replacing those of the station's last send) and
// leaves the sorted copy open in work area 202 under alias ass, at its top.
// A failure goes to the general error handler.
void make_sorted_copy(SendRun& run);

}  // namespace durva
