#pragma once
// The station's booking journal, rob\ksieg<NN>.txt: what a sales booking is
// about to do and what it has done, so that a booking cut short (the program
// killed, the power gone) is finished later instead of being lost, half
// written or booked twice.
//
// A booking holds its journal locked (an exclusive lock on the open file)
// from before its plan is written until the journal is marked finished; a
// process that dies loses the lock with it. Station numbers are handed out
// anew at every sign-in, so the journal of a station may be another
// workstation's: an unfinished journal whose lock can be taken is a booking
// cut short, which any workstation finishes under that lock; one whose lock
// is held is a booking still under way and is left alone.
//
// A booking first writes its whole plan (the rows as the work table holds
// them, each with its goods record) and forces it to disk; nothing shared is
// written before that. Then, in order: the document number once the counter
// has given it (forced to disk before the counter is unlocked); the count of
// header records before the header is appended; the count of row records
// before the first row is appended; before each stock change the goods
// record's bytes as they were under the lock, and after it a mark that it is
// done. Stock changes made together under the goods table's file lock have
// their records' bytes written before any of them is made and their marks
// after all of them; each of those changes is of another goods record, so
// each record still tells on its own whether its change was made. Every line
// written before a shared table is changed is forced to disk first, so that
// after a power cut the journal never knows less than the tables show. The
// last line, written once the tables are forced to disk, marks the booking
// finished and keeps the size and checksum of its sales file, so the same
// file is not booked twice.
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/date.h"

namespace durva {

struct BookingPlan {
    std::string rd;            // document type
    std::string provisional;   // number the run found free, 8 characters
    Date data;                 // sales date
    std::string mag;           // warehouse of the header
    double wplata = 0;         // paid amount
    std::string label;         // the register's label for the header's NODB
    Date today;                // R_DATA
    std::string time;          // R_CZAS
    std::string backup;        // the backup copy of the sales file
    std::string fingerprint;   // size and checksum of the sales file
    std::vector<std::string> rows;       // work-table records, raw bytes
    std::vector<std::uint32_t> goods;    // the goods record of each row
};

// What the journal says was done.
struct BookingProgress {
    bool planned = false;                    // the plan is whole
    bool finished = false;
    std::string number;                      // the final number, 8 characters, once taken
    std::optional<std::uint32_t> headers_before;
    std::optional<std::uint32_t> rows_before;
    std::map<int, std::string> stock_before; // row (1-based) -> the goods record's bytes before
    std::set<int> stock_done;
};

enum class JournalLock {
    Taken,    // this journal object holds the lock now
    Held,     // another booking holds it
    Missing,  // there is no journal (and none was to be made)
};

class BookingJournal {
public:
    // The journal of the station; nothing is opened yet.
    explicit BookingJournal(int station);
    ~BookingJournal();
    BookingJournal(const BookingJournal&) = delete;
    BookingJournal& operator=(const BookingJournal&) = delete;

    const std::string& path() const { return path_; }
    int station() const { return station_; }

    // Takes the journal's lock without waiting, making an empty journal
    // first when there is none and `create` says so. The lock is held until
    // finish(), set_aside(), release() or the end of this object.
    JournalLock try_lock(bool create);
    bool locked() const { return fd_ >= 0; }
    void release();

    // Reads the journal left on disk. False when there is none; a journal
    // that cannot be read whole is reported through `fault`.
    bool read(BookingPlan& plan, BookingProgress& progress, std::string& fault) const;

    // Starts a new journal with the plan, forced to disk. The lock must be
    // held (try_lock): the journal is written over only then.
    void begin(const BookingPlan& plan);
    // Goes on with the journal already on disk (a booking being finished);
    // the lock must be held.
    void resume();
    void number(std::string_view nrd);
    void headers_before(std::uint32_t count);
    void rows_before(std::uint32_t count);
    void stock_before(int row, std::string_view record);
    void stock_done(int row);
    // The same for several rows in one write: every record's bytes reach the
    // journal before any of the changes is made, every mark after all of them.
    void stock_before(const std::vector<std::pair<int, std::string_view>>& rows);
    void stock_done(const std::vector<int>& rows);
    // Marks the booking finished and gives the lock up.
    void finish();
    // Moves a journal that cannot be read out of the way, keeping it; the
    // lock must be held, and is given up.
    void set_aside();

    // Called after every line the journal writes, with the line's tag: the
    // multi-process tests stop a booking there as a power cut would.
    static std::function<void(char tag)>& checkpoint();

private:
    void write_all(const std::string& text);
    void write(const std::string& line, bool force);
    // Writes lines (each ended by a line feed) in one go, forced to disk when
    // `force`; the checkpoint hears of each of them afterwards.
    void write_lines(const std::string& text, bool force);

    int station_;
    std::string path_;
    int fd_ = -1;  // open only while the lock is held
};

std::string to_hex(std::string_view bytes);
// nullopt for text that is not whole pairs of hex digits.
std::optional<std::string> from_hex(std::string_view hex);

}  // namespace durva
