#pragma once
// Bookings cut short, whichever station they were booked at. Station numbers
// are handed out anew at every sign-in, so a booking cut short at station 5
// cannot wait for a later station 5 to import again: every import, and every
// start of the program, looks at the journals of all stations and finishes
// the bookings cut short there. The journal's lock tells a booking cut short
// (lock free) from one still under way in another workstation (lock held),
// and makes sure only one process finishes a journal.
#include <string>
#include <string_view>
#include <vector>

#include "common/session.h"
#include "receive/booking_journal.h"

namespace durva {

// A booking under way in another workstation, as its journal shows it.
struct StationBooking {
    int station = 0;
    std::string source;  // the driver's sales file it books, while not yet taken away
    SourceStamp stamp;
};

struct CutShortBookings {
    std::vector<std::string> finished;     // the message of each booking finished here
    std::vector<std::string> not_applied;  // stock changes those bookings could not make
    std::vector<std::string> unmatched;    // the lines of their files that matched no goods
    std::vector<StationBooking> under_way; // bookings other workstations are making now
    // Journals that cannot be read, left where they are for the operator
    // (unattended, nothing may be booked until someone has looked): why.
    std::vector<std::string> damaged;
};

// The stations whose journals are looked at: every position of the station string.
inline constexpr int kJournalStations = 10;

// Finishes every booking cut short that no other process is finishing,
// each with a window naming the station and showing how far it has come,
// and, when done, the document (it waits for a key unless unattended), and
// learns the bookings under way elsewhere. Says nothing when nothing was cut
// short. A journal that cannot be read is shown to the operator and set
// aside, and the sales file it booked, if still in its place, is booked
// again only when the operator says so; unattended it stays, and is named
// in `damaged`. Needs the company tables and the work table open; without
// them it does nothing.
CutShortBookings finish_cut_short_bookings(Session& s);

// A journal this process holds locked: its booking is finished when it was
// cut short; a journal that cannot be read is dealt with as above. The lock
// is given up either way.
void finish_if_cut_short(Session& s, BookingJournal& journal, CutShortBookings& out);

// The booking under way elsewhere of the driver's sales file `source` as
// `stamp` describes it; nullptr when none.
const StationBooking* booked_elsewhere(const CutShortBookings& bookings, std::string_view source,
                                       const SourceStamp& stamp);

// Takes the lock of the station's own journal for a new booking. While
// another workstation is finishing a booking cut short there, it waits, the
// operator told what for; unattended it waits as long as for a record lock
// and then ends with the lock refusal.
void lock_for_new_booking(Session& s, BookingJournal& journal);

}  // namespace durva
