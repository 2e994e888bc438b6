#pragma once
// The main send: every good of the goods table that passes the filters, in
// name order, written when it is new to the register or its record changed
// since the last send there (or, with a date filter, when its last receipt
// is on or after the date).
#include <cstdint>
#include <string>

#include "common/session.h"
#include "send/send_run.h"

namespace durva {

// Writes durva\data_in.txt from the sorted copy of the goods and shows the
// number of records written. The sent-record table must be open. True once
// the file is written; false only when a table failed under the walk.
bool main_send(SendRun& run);

// Draws the progress of the walk at good `recno` of `count` in the sorted
// copy at rows 17 and 18 from column 33, inside the waiting message: the
// percentage and a bar of up to 35 full blocks.
bool RYSUNEK(Session& s, std::uint32_t recno, std::uint32_t count);

// The texts RYSUNEK draws for record `recno` of `count`.
struct ProgressTexts {
    std::string percent;
    std::string bar;
    bool operator==(const ProgressTexts&) const = default;
};
ProgressTexts progress_texts(std::uint32_t recno, std::uint32_t count);

}  // namespace durva
