#pragma once
// The station's booking journal, rob\ksieg<NN>.txt: what a sales booking is
// about to do and what it has done, so that a booking cut short (the program
// killed, the power gone, the disk full) is finished later instead of being
// lost, half written or booked twice.
//
// A booking holds its journal locked (an exclusive lock on the open file)
// from before its plan is written until the journal is marked finished; a
// process that dies loses the lock with it. Station numbers are handed out
// anew at every sign-in, so the journal of a station may be another
// workstation's: an unfinished journal whose lock can be taken is a booking
// cut short, which any workstation finishes under that lock; one whose lock
// is held is a booking still under way and is left alone.
//
// Every line ends with a check of its own text and a line feed. A line
// without either was cut short by a power cut or a full disk while it was
// written: it and whatever follows it is a step not taken, and the journal
// is cut back to its last whole line before anything is added. A line that
// fails its check with whole lines after it is damage, never a reason to
// book again.
//
// A booking first writes its whole plan (the rows as the work table holds
// them, each with its goods record, the lines that matched no goods, and the
// sales file it books) and forces it to disk; nothing shared is written
// before that. Then, in order: the driver's sales file is taken away under
// the name of its backup copy, and the journal says so ("F"), so that the
// read-out is booked once however much the next one resembles it; the
// counter's value and the number about to be taken ("K"), then the counter
// raised and forced to disk, then the number ("N"); the count of header
// records before the header is appended; the count of row records before
// the first row is appended; before each stock change the goods record's
// bytes as they were under the lock, and once the change is on the disk a
// mark that it is done. Every line written before a shared table is changed
// is forced to disk first, and every line saying a change is done is
// written only once that change is on the disk, so that after a power cut
// the journal never knows less, nor more, than the tables show. The last
// line, written once the tables are forced to disk, marks the booking finished.
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

// What identifies one writing of the driver's sales file.
struct SourceStamp {
    unsigned long long inode = 0, size = 0;
    long long modified_ns = 0;
    friend bool operator==(const SourceStamp&, const SourceStamp&) = default;
};

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
    // The driver's sales file this booking takes away under the backup's
    // name, and its stamp when read; empty when the file stays where it is.
    std::string source;
    SourceStamp stamp;
    std::vector<std::string> rows;       // work-table records, raw bytes
    std::vector<std::uint32_t> goods;    // the goods record of each row
    std::vector<std::string> unmatched;  // the lines that matched no goods record
};

// What the journal says was done.
struct BookingProgress {
    bool planned = false;                    // the plan is whole
    bool finished = false;
    std::string taken;                       // where the sales file was taken to, once it was
    // The counter's value before it was raised for this booking, and the
    // number it was raised to, once the raise was about to be made.
    std::optional<std::pair<double, double>> counter;
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
    // finish(), set_aside(), release() or the end of this object. Anything
    // but a regular file under the journal's name is refused, and opening it
    // never waits.
    JournalLock try_lock(bool create);
    bool locked() const { return fd_ >= 0; }
    void release();

    // Reads the journal left on disk. False when there is none. Damage
    // before the last whole line is reported through `fault`, with the plan
    // and progress read up to it; a last line cut short is not.
    bool read(BookingPlan& plan, BookingProgress& progress, std::string& fault);

    // Starts a new journal with the plan, forced to disk. The lock must be
    // held (try_lock): the journal is written over only then.
    void begin(const BookingPlan& plan);
    // Goes on with the journal already on disk (a booking being finished),
    // cut back to its last whole line when read() found one cut short; the
    // lock must be held.
    void resume();
    // The file taken and the number given are forced with the next line
    // that is forced: nothing shared changes before that line.
    void taken(std::string_view backup);
    void counter(double before, double number);
    void number(std::string_view nrd);
    // The records of the headers table before the header is added, and with
    // `rows` those of the rows table as well, forced together.
    void headers_before(std::uint32_t count, std::optional<std::uint32_t> rows = std::nullopt);
    void rows_before(std::uint32_t count);
    // The goods record's bytes before row `row`'s change, written with the
    // others of its batch in pieces as they come; stock_before_forced()
    // forces them all to disk, before any of the changes is made.
    void stock_before(int row, std::string_view record);
    void stock_before_forced();
    // Once the changes are on the disk (the goods table forced), in one write.
    void stock_done(const std::vector<int>& rows);
    // Marks the booking finished and gives the lock up.
    void finish();
    // Moves a journal that cannot be read out of the way, keeping it, and
    // gives the lock up; returns the name it now has.
    std::string set_aside();

    // Called after every line the journal writes, with the line's tag: the
    // multi-process tests stop a booking there as a power cut would.
    static std::function<void(char tag)>& checkpoint();

private:
    void write_all(const std::string& text);
    void write(const std::string& line, bool force);
    // Writes lines (each ended by a line feed) in one go, forced to disk when
    // `force`; the checkpoint hears of each of them afterwards.
    void write_lines(const std::string& text, bool force);
    // Adds a line to `pending_`, written once it has grown large.
    void add_line(std::string_view text);
    // Writes what `pending_` holds and forces all lines added to disk.
    void write_pending_forced();

    int station_;
    std::string path_;
    int fd_ = -1;  // open only while the lock is held
    // What read() found: the length of the journal's whole lines, and
    // whether anything after them is to be cut off before writing on.
    long long whole_ = 0;
    bool torn_ = false;
    std::string pending_;  // lines not yet written
    bool unforced_ = false;  // lines written since the last forcing
};

// A journal line as it is written: the text, its check, a line feed.
std::string journal_line(std::string_view text);

std::string to_hex(std::string_view bytes);
// nullopt for text that is not whole pairs of hex digits.
std::optional<std::string> from_hex(std::string_view hex);

}  // namespace durva
