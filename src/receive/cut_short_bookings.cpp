#include "receive/cut_short_bookings.h"

#include <cerrno>

#include "common/_fun1.h"
#include "common/_fun3.h"
#include "platform/errors.h"
#include "platform/file.h"
#include "receive/booking.h"
#include "receive/rep_dow_voka.h"

namespace durva {

namespace {

// As long as a booking waits for a record before it tells the operator.
constexpr double kJournalWait = 15;

bool tables_open(Session& s) {
    for (const char* alias : {"as", "dd", "dow", "dowod", "slow"})
        if (!s.areas.find(std::string_view(alias))) return false;
    return true;
}

std::string station_text(int station) { return "stacji " + STR2(station); }

// The plan's rows are work-table records; they are read through this
// station's work table, which must have the same layout.
bool rows_fit(Session& s, const BookingPlan& plan) {
    const auto length = static_cast<std::size_t>(s.areas.table("dd").dbf().record_length());
    for (const std::string& row : plan.rows)
        if (row.size() != length) return false;
    return true;
}

}  // namespace

void finish_if_cut_short(Session& s, BookingJournal& journal, CutShortBookings& out) {
    BookingPlan plan;
    BookingProgress done;
    std::string fault;
    if (!journal.read(plan, done, fault)) {
        journal.release();
        return;
    }
    if (!fault.empty()) {
        journal.set_aside();
        _OKNO_(s, "Dziennik ksiegowania uszkodzony (" + fault + ") - odlozony jako " + journal.path() + ".bad", 0.0);
        return;
    }
    if (!done.planned) {
        // Cut short before anything shared was written: nothing to finish.
        journal.release();
        return;
    }
    if (!done.finished) {
        const std::string whose = station_text(journal.station());
        if (!rows_fit(s, plan)) {
            // Never book rows read through another layout; the journal stays
            // for a workstation whose work table fits it.
            journal.release();
            _OKNO_(s, "Przerwane ksiegowanie " + whose + " - inny uklad tabeli roboczej, nie dokonczone", 0.0);
            return;
        }
        _OKNO_(s, "Koncze przerwane ksiegowanie sprzedazy " + whose, "...");
        journal.resume();
        const BookingOutcome booked = apply_booking(s, plan, done, journal);
        out.not_applied.insert(out.not_applied.end(), booked.not_applied.begin(), booked.not_applied.end());
        const std::string message =
            "Dokonczone ksiegowanie " + whose + ": " + booking_message(plan.rd, booked.number, booked.total);
        out.finished.push_back(message);
        s.screen.clear_keys();
        _OKNO_(s, message, "...");
        if (!s.unattended) s.screen.inkey(0);
        done.number = booked.number;
    }
    journal.release();
    out.last.push_back({journal.station(), false, plan.fingerprint, plan.rd, done.number});
}

CutShortBookings finish_cut_short_bookings(Session& s) {
    CutShortBookings out;
    if (!tables_open(s)) return out;
    for (int station = 1; station <= kJournalStations; ++station) {
        BookingJournal journal(station);
        switch (journal.try_lock(false)) {
            case JournalLock::Missing:
                break;
            case JournalLock::Taken:
                finish_if_cut_short(s, journal, out);
                break;
            case JournalLock::Held: {
                // Another workstation's booking under way: left alone, but
                // its sales file counts as booked.
                BookingPlan plan;
                BookingProgress done;
                std::string fault;
                if (journal.read(plan, done, fault) && done.planned)
                    out.last.push_back({station, true, plan.fingerprint, plan.rd, done.number});
                break;
            }
        }
    }
    return out;
}

const StationBooking* same_sales(const CutShortBookings& bookings, const std::string& fingerprint) {
    if (fingerprint.empty()) return nullptr;
    for (const StationBooking& b : bookings.last)
        if (b.fingerprint == fingerprint) return &b;
    return nullptr;
}

void lock_for_new_booking(Session& s, BookingJournal& journal) {
    auto attempt = [&] { return journal.try_lock(true) == JournalLock::Taken; };
    if (attempt()) return;
    for (double waited = 0; waited < kJournalWait; waited += 0.5) {
        s.screen.inkey(0.5);
        if (attempt()) return;
    }
    const std::string what = "dziennik ksiegowania " + station_text(journal.station());
    if (s.unattended) throw DbError(platform::kLockedByAnotherProgram, what, EAGAIN);
    _OKNO_(s, "Czekam na " + what + " (konczy je inne stanowisko)", "...");
    while (!attempt()) s.screen.inkey(0.5);
}

}  // namespace durva
