#pragma once
// The main send's scratch copies of the goods, per station: rob\as_NN, every
// good that is not deleted with the cleaned name the register will get; and
// rob\assNN, the same records physically in order of name (or its first 17
// characters, all a short-form register shows), warehouse and index, which
// the walk reads from the top. Nothing reads the copy in that order, so it
// gets no index.
//
// However many goods there are, what stays in memory is one run of goods
// being sorted and a piece of each run being merged: the goods are read
// straight through the file in runs of a megabyte, each run sorted and
// written to the copy as it is made, and the sorted copy merged from the
// copy's runs. The copy therefore holds the goods run by run, each run in
// sort order; nothing reads it but this send.
#include <cstddef>

#include "send/send_run.h"

namespace durva {

// The bytes of goods sorted at once: more goods than this are sorted in runs
// of this size and merged.
inline constexpr size_t kSortRunBytes = 1024 * 1024;
// The run size sends from now on take; tests make it tiny.
size_t sort_run_bytes();
void set_sort_run_bytes(size_t bytes);

// Makes the two files (replacing those of the station's last send) and
// leaves the sorted copy open in work area 202 under alias ass, at its top.
// A failure goes to the general error handler.
void make_sorted_copy(SendRun& run);

}  // namespace durva
