#pragma once
// The steps of a sales document booking, written so that each can be taken
// again after a crash without doing twice what was done once: the number is
// taken once, the header and each row are appended only when the tables do
// not already hold them, the header totals are set to what all the rows add
// up to rather than added to, and each stock change is made only when the
// journal does not show it made.
//
// The rows go to the rows table, and the stock changes to the goods table,
// many at a time under the table's file lock (the lock every program of the
// office honours: no record of the table can be locked, nor a record
// appended, while it is held); while another workstation holds a record of
// the table locked, they go one at a time under record locks instead.
#include <functional>
#include <string>
#include <vector>

#include "common/session.h"
#include "receive/booking_journal.h"

namespace durva {

struct BookingOutcome {
    std::string number;                    // final document number, 8 characters
    double total = 0;                      // the header's NETTO + VAT
    std::vector<std::string> not_applied;  // stock changes left for the operator, one text each
};

// Books the plan into the shared tables (areas as, dow, dowod, slow), going
// on from where `done` says a previous attempt stopped. The work table's
// layout (area dd) reads the plan's rows. Waits that outlast their limit are
// shown and tried again; they never drop a row, a total or a stock change.
// The driver's sales file the plan names is taken away first (see the
// journal). `shown` hears how far the booking has come, in hundredths.
BookingOutcome apply_booking(Session& s, const BookingPlan& plan, const BookingProgress& done,
                             BookingJournal& journal, const std::function<void(int)>& shown = {});

// The picture "999 999 999.99" of the booking's message, trimmed.
std::string amount_picture(double x);

}  // namespace durva
