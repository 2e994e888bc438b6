#pragma once
// Bookings cut short, whichever station they were booked at. Station numbers
// are handed out anew at every sign-in, so a booking cut short at station 5
// cannot wait for a later station 5 to import again: every import, and every
// start of the program, looks at the journals of all stations and finishes
// the bookings cut short there. The journal's lock tells a booking cut short
// (lock free) from one still under way in another workstation (lock held),
// and makes sure only one process finishes a journal.
#include <string>
#include <vector>

#include "common/session.h"
#include "receive/booking_journal.h"

namespace durva {

// The last booking a station's journal holds.
struct StationBooking {
    int station = 0;
    bool under_way = false;   // still being booked by another workstation
    std::string fingerprint;  // size and checksum of its sales file
    std::string rd, number;   // its document type and number (blank while none was taken)
};

struct CutShortBookings {
    std::vector<std::string> finished;     // the message of each booking finished here
    std::vector<std::string> not_applied;  // stock changes those bookings could not make
    std::vector<StationBooking> last;      // every station's last booking, finished or under way
};

// The stations whose journals are looked at: every position of the station string.
inline constexpr int kJournalStations = 10;

// Finishes every booking cut short that no other process is finishing,
// each with a window naming the station and, when done, the document (it
// waits for a key unless unattended), and learns the last booking of every
// station. Says nothing when nothing was cut short. Needs the company tables
// and the work table open; without them it does nothing.
CutShortBookings finish_cut_short_bookings(Session& s);

// A journal this process holds locked: its booking is finished when it was
// cut short, and its last booking added to `out`. A journal that cannot be
// read is set aside with a message. The lock is given up either way.
void finish_if_cut_short(Session& s, BookingJournal& journal, CutShortBookings& out);

// The booking of the same sales file, finished or under way; nullptr when none.
const StationBooking* same_sales(const CutShortBookings& bookings, const std::string& fingerprint);

// Takes the lock of the station's own journal for a new booking. While
// another workstation is finishing a booking cut short there, it waits, the
// operator told what for; unattended it waits as long as for a record lock
// and then ends with the lock refusal.
void lock_for_new_booking(Session& s, BookingJournal& journal);

}  // namespace durva
