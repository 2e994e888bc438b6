#pragma once
// The stock changes of a sales booking: each row's quantity taken off its
// goods record. Many at a time under the goods table's file lock, with the
// journal's lines for them written together and each record written once
// with all the changes of its rows; good by good under each record's own
// lock while another workstation holds a goods record locked.
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "common/session.h"
#include "receive/booking_journal.h"

namespace durva::booking {

// Makes the stock change of every row of the plan that `done` does not show
// made; `dd` gives the layout of the plan's rows. A change that cannot be
// made (no such good any more, a field too small) is left for the operator
// as one text in `not_applied`. The journal's marks that changes are done
// are written once the goods table holding them is forced to disk.
// `rows_done` hears how many rows have been gone through.
void change_stocks(Session& s, const BookingPlan& p, const dbf::Table& dd, const BookingProgress& done,
                   BookingJournal& journal, std::vector<std::string>& not_applied,
                   const std::function<void(std::size_t)>& rows_done = {});

}  // namespace durva::booking
