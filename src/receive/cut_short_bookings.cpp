#include "receive/cut_short_bookings.h"

#include <cerrno>
#include <functional>

#include "common/_fun1.h"
#include "common/_fun3.h"
#include "platform/errors.h"
#include "platform/file.h"
#include "receive/booking.h"
#include "receive/rep_dow_voka.h"
#include "receive/sales_backup.h"
#include "platform/path_resolver.h"

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

namespace {

// A journal that cannot be read: how far its booking came is unknown, so
// nothing of it is finished or booked again without the operator.
void journal_damaged(Session& s, BookingJournal& journal, const BookingPlan& plan, const BookingProgress& done,
                     const std::string& fault, CutShortBookings& out) {
    const std::string what = "Dziennik ksiegowania " + station_text(journal.station()) + " uszkodzony (" + fault + ")";
    if (s.unattended) {
        journal.release();
        out.damaged.push_back(what + " - sprawdz w programie na stanowisku");
        return;
    }
    const std::string aside = journal.set_aside();
    const std::string number = done.number.empty() ? std::string() : ", dokument " + plan.rd + without_blanks(done.number);
    _OKNO_(s, what + " - odlozony jako " + aside + "; sprawdz ksiegowanie" + number, 0.0);
    // Its sales file, still where the driver left it, goes again only when
    // the operator says so; otherwise it is put away beside the backups.
    if (plan.source.empty() || !done.taken.empty() || sales_file_stamp(plan.source) != plan.stamp) return;
    if (OKNO(s, "Sprzedaz z tego ksiegowania jest w " + plan.source + ". Ksiegowac ja ponownie ?", "N")) return;
    const std::string wanted = plan.backup.empty() ? free_backup_name(s.clock.local_time()) : plan.backup;
    const std::string put = take_sales_file(plan.source, plan.stamp, wanted);
    _OKNO_(s, put.empty() ? "Nie moge odlozyc pliku " + plan.source : "Sprzedaz odlozona bez ksiegowania jako " + put,
           0.0);
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
    if (!fault.empty()) return journal_damaged(s, journal, plan, done, fault, out);
    if (!done.planned || done.finished) {
        // Cut short before anything shared was written, or done: nothing to finish.
        journal.release();
        return;
    }
    const std::string whose = station_text(journal.station());
    if (!rows_fit(s, plan)) {
        // Never book rows read through another layout; the journal stays
        // for a workstation whose work table fits it.
        journal.release();
        _OKNO_(s, "Przerwane ksiegowanie " + whose + " - inny uklad tabeli roboczej, nie dokonczone", 0.0);
        return;
    }
    const std::string title = "Koncze przerwane ksiegowanie sprzedazy " + whose;
    _OKNO_(s, title, "...");
    journal.resume();
    std::function<void(int)> shown;
    if (!s.unattended) shown = [&](int percent) { _OKNO_(s, title + " - " + std::to_string(percent) + "%", "..."); };
    const BookingOutcome booked = apply_booking(s, plan, done, journal, shown);
    out.not_applied.insert(out.not_applied.end(), booked.not_applied.begin(), booked.not_applied.end());
    out.unmatched.insert(out.unmatched.end(), plan.unmatched.begin(), plan.unmatched.end());
    std::string message = "Dokonczone ksiegowanie " + whose + ": " + booking_message(plan.rd, booked.number, booked.total);
    if (!plan.unmatched.empty()) message += ", bez towaru " + std::to_string(plan.unmatched.size());
    out.finished.push_back(message);
    s.screen.clear_keys();
    _OKNO_(s, message, "...");
    if (!s.unattended) s.screen.inkey(0);
    journal.release();
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
                // Another workstation's booking under way: left alone, and
                // its sales file, until taken away, is its alone.
                BookingPlan plan;
                BookingProgress done;
                std::string fault;
                if (journal.read(plan, done, fault) && done.planned && !done.finished && done.taken.empty() &&
                    !plan.source.empty())
                    out.under_way.push_back({station, plan.source, plan.stamp});
                break;
            }
        }
    }
    return out;
}

const StationBooking* booked_elsewhere(const CutShortBookings& bookings, std::string_view source,
                                       const SourceStamp& stamp) {
    for (const StationBooking& b : bookings.under_way)
        if (b.stamp == stamp && platform::resolve_path(b.source) == platform::resolve_path(source)) return &b;
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
