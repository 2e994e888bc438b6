#include "receive/booking.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <map>
#include <set>

#include "common/dbf/field_codec.h"
#include "common/dbf/xbase_values.h"
#include "common/newround.h"
#include "platform/disk_sync.h"
#include "platform/errors.h"
#include "receive/booking_steps.h"
#include "receive/booking_stock.h"
#include "receive/document_totals.h"
#include "receive/sales_backup.h"

namespace durva {

namespace {

using booking::append_until_done;
using booking::FileLockHold;
using booking::kBatchRows;
using booking::kRecordWait;
using booking::lock_until_done;
using booking::PlanRow;
using booking::select;
using booking::trim;

constexpr double kCounterWait = 30;

std::string nrd_text(double n) { return dbf::str_number(n, 8, 0); }

bool header_exists(dbf::Table& dowod, const std::string& rd, const std::string& nrd) {
    return dowod.seek(rd + nrd, false);
}

// The first number from `n` on that no header of the type uses.
double first_free_number(dbf::Table& dowod, const std::string& rd, double n) {
    while (n <= 99999999 && header_exists(dowod, rd, nrd_text(n))) n += 1;
    return n;
}

// The number of the document. The journal says what the counter stood at
// and which number it is about to give before the counter is raised, and
// names the number only once the raised counter is on the disk: a booking
// cut short in between finds out from the counter itself whether the raise
// was made, so that no number is given twice nor skipped.
std::string take_number(Session& s, const BookingPlan& plan, const BookingProgress& done, BookingJournal& journal) {
    dbf::Table& dowod = select(s, "dowod");
    dowod.set_order(1);
    dbf::Table& slow = select(s, "slow");
    slow.set_order(1);
    std::string nrd;
    if (slow.seek(plan.rd, false)) {
        lock_until_done(s, "licznik dokumentow " + trim(plan.rd), kCounterWait);
        const double now = slow.number("NRD");
        double n = 0;
        if (done.counter && now >= done.counter->second && !header_exists(dowod, plan.rd, nrd_text(done.counter->second))) {
            // Raised for this booking before it was cut short (and perhaps
            // past it since by another program): the number is this booking's.
            n = done.counter->second;
        } else {
            // When the counter lags behind the headers of its type, the next
            // number no header uses; the counter catches up with it.
            n = first_free_number(dowod, plan.rd, now + 1);
            journal.counter(now, n);
            slow.put("NRD", n);
            slow.sync_to_disk();
        }
        nrd = nrd_text(n);
        journal.number(nrd);
        slow.unlock();
    } else {
        // The counter record went since the run began: the provisional
        // number, or the next free one if it has been taken meanwhile.
        double n = first_free_number(dowod, plan.rd, dbf::val_number(plan.provisional));
        nrd = nrd_text(n);
        journal.number(nrd);
    }
    return nrd;
}

bool is_blank_record(std::string_view rec) { return rec.find_first_not_of(' ') == std::string_view::npos; }

// How far a booking has come, in hundredths, told to `shown` whenever that
// changes (a booking cut short is finished under a window that says so).
class Progress {
public:
    Progress(const std::function<void(int)>& shown, std::size_t total) : shown_(shown), total_(total) {}
    void step() { reach(at_ + 1); }
    void reach(std::size_t at) {
        at_ = std::min(at, total_);
        if (!shown_) return;
        const int percent = total_ == 0 ? 100 : static_cast<int>(at_ * 100 / total_);
        if (percent == last_) return;
        last_ = percent;
        shown_(percent);
    }

private:
    const std::function<void(int)>& shown_;
    std::size_t total_;
    std::size_t at_ = 0;
    int last_ = -1;
};

// What an earlier attempt left after `before` records: the records holding
// this document, and a blank record nobody holds (an append cut short),
// which is taken over locked. Every open index is made to hold each of the
// records found under its key: an update cut short may have missed them.
struct Leftovers {
    std::vector<std::uint32_t> ours;
    std::uint32_t blank = 0;
};

// The records each open index must hold, by key: index i's at [i - 1].
using KeysWanted = std::vector<std::map<std::string, std::set<std::uint32_t>>>;

// Puts in the index entries of records `wanted` that an update cut short
// left out. The entries of each key are walked once for all records of that
// key (the rows of one document share the key of a document order), so this
// costs what inserting them would.
void repair_keys(dbf::Table& t, KeysWanted& keys) {
    for (int i = 1; i <= t.index_count(); ++i) {
        dbf::NtxIndex& ix = t.index(i);
        auto& wanted = keys[static_cast<std::size_t>(i - 1)];
        if (wanted.empty()) continue;
        std::vector<dbf::NtxEntry> missing;
        {
            // One taking of the index's read lock for the whole walk, not one a step.
            dbf::IndexReadHold hold(&ix);
            for (auto& [key, recnos] : wanted) {
                for (auto e = ix.seek(key); e && e->key == key && !recnos.empty(); e = ix.next(*e))
                    recnos.erase(e->recno);
                for (std::uint32_t r : recnos) missing.push_back({key, r});
            }
        }
        if (!missing.empty()) ix.insert_many(missing);
    }
}

Leftovers find_leftovers(dbf::Table& t, std::uint32_t before, const std::string& rd, const std::string& nrd,
                         Progress& progress) {
    Leftovers out;
    const std::uint32_t count = t.record_count();
    dbf::DbfFile& file = t.dbf();
    const int rd_pos = t.field_pos("RD"), nrd_pos = t.field_pos("NRD");
    if (rd_pos == 0 || nrd_pos == 0) throw DbError("Brak pola RD lub NRD w tabeli", t.path());
    const dbf::FieldDesc& rd_field = t.fields()[static_cast<size_t>(rd_pos - 1)];
    const dbf::FieldDesc& nrd_field = t.fields()[static_cast<size_t>(nrd_pos - 1)];
    // The records after `before` a run at a time, not one read each.
    const std::size_t rl = static_cast<std::size_t>(file.record_length());
    const std::uint32_t per_read = static_cast<std::uint32_t>(std::max<std::size_t>(1, (256 * 1024) / rl));
    std::string run;
    KeysWanted keys(static_cast<std::size_t>(t.index_count()));
    for (std::uint32_t first = before + 1; first <= count;) {
        run.resize(static_cast<std::size_t>(per_read) * rl);
        const std::uint32_t got = file.read_records(first, std::min(per_read, count - first + 1), run.data());
        if (got == 0) break;
        for (std::uint32_t i = 0; i < got; ++i) {
            const std::uint32_t r = first + i;
            const std::string_view rec = std::string_view(run).substr(static_cast<std::size_t>(i) * rl, rl);
            progress.step();
            if (!dbf::DbfFile::is_deleted(rec) && dbf::field_bytes(rec, rd_field) == rd &&
                dbf::field_bytes(rec, nrd_field) == nrd) {
                out.ours.push_back(r);
                for (int k = 1; k <= t.index_count(); ++k)
                    keys[static_cast<std::size_t>(k - 1)][t.index(k).key_of(rec)].insert(r);
            } else if (out.blank == 0 && is_blank_record(rec) && t.lock_record(r)) {
                out.blank = r;
            }
        }
        first += got;
    }
    // Held locked, the blank record stays what it was meanwhile.
    repair_keys(t, keys);
    return out;
}

void put_header(Session& s, dbf::Table& h, const BookingPlan& p, const std::string& nrd) {
    h.put("R_P", std::string("R"));
    h.put("S_Z", std::string("S"));
    h.put("RD", p.rd);
    h.put("NRD", nrd);
    h.put("DATA", p.data);
    h.put("MAG", p.mag);
    h.put("KTO", std::string("O"));
    h.put("WARTOSC0", 0.0);
    h.put("NETTO", 0.0);
    h.put("VAT", 0.0);
    h.put("SPZ", std::string("G"));
    h.put("KWOTA", p.wplata);
    h.put("OPERATOR", s.values.M_NR);
    h.put("NODB", p.label);
    if (h.field_pos("R_DATA") != 0) h.put("R_DATA", p.today);
    if (h.field_pos("R_CZAS") != 0) h.put("R_CZAS", p.time);
}

// A record of a table being filled in memory, as a batch of rows is.
class RecordBytes {
public:
    explicit RecordBytes(const dbf::Table& t) : t_(t), rec_(t.record().size(), ' ') {}
    void put(int pos, const dbf::FieldValue& value) {
        dbf::encode_field(t_.fields()[static_cast<size_t>(pos - 1)], value, rec_.data());
    }
    const std::string& bytes() const { return rec_; }
    void clear() { std::fill(rec_.begin(), rec_.end(), ' '); }

private:
    const dbf::Table& t_;
    std::string rec_;
};

// Where the fields of a document row are in the rows table, and where those
// copied from the work table's row are in it: found once for all the rows.
class RowPlaces {
public:
    RowPlaces(const dbf::Table& w, const dbf::Table& dd) : mag_desc_(dd.field_desc("MAG")) {
        for (const char* f : {"R_P", "S_Z", "RD", "NRD", "DATA", "MAG", "LP", "KTO"}) fixed_.push_back(required(w, f));
        auto copy = [&](const char* f, bool number) {
            if (const int to = w.field_pos(f); to != 0) copied_.push_back({to, dd.field_desc(f), number});
        };
        for (const char* f : {"INDEKS", "NAZWA", "JM", "NB", "PODATEK0", "SWW"}) copy(f, false);
        for (const char* f : {"CENA0", "CENA", "ILOSC", "WARTOSC", "PODATEK"}) copy(f, true);
        // Written only when the work table has it too.
        if (w.field_pos("PKWIU") != 0 && dd.field_pos("PKWIU") != 0) copy("PKWIU", false);
    }

    template <class Record>
    void put(Record& w, std::string_view row, const BookingPlan& p, const std::string& nrd, int n) const {
        const dbf::FieldValue values[] = {std::string("R"), std::string("S"), p.rd,
                                          nrd, p.data, text(row, mag_desc_),
                                          dbf::str_number(n, 3, 0), std::string("O")};
        for (std::size_t i = 0; i < fixed_.size(); ++i) w.put(fixed_[i], values[i]);
        for (const Copied& c : copied_) {
            if (!c.number) w.put(c.to, text(row, c.from));
            else w.put(c.to, c.from && fits(row, *c.from) ? dbf::decode_number(dbf::field_bytes(row, *c.from)) : 0.0);
        }
    }

private:
    struct Copied {
        int to;
        const dbf::FieldDesc* from;  // null when the work table lacks it: blank
        bool number;
    };
    static int required(const dbf::Table& t, const char* f) {
        const int pos = t.field_pos(f);
        if (pos == 0) throw DbError("Brak pola " + std::string(f) + " w tabeli", t.path());
        return pos;
    }
    // A row shorter than the layout (a damaged journal) reads as blank.
    static bool fits(std::string_view row, const dbf::FieldDesc& f) {
        return static_cast<std::size_t>(f.offset + f.length) <= row.size();
    }
    static std::string text(std::string_view row, const dbf::FieldDesc* f) {
        return f && fits(row, *f) ? std::string(dbf::field_bytes(row, *f)) : std::string();
    }
    std::vector<int> fixed_;
    std::vector<Copied> copied_;
    const dbf::FieldDesc* mag_desc_;
};

// Sets the header's totals to `t`; false when the header is not there.
bool set_totals(Session& s, const BookingPlan& p, const std::string& nrd, const DocumentTotals& t, bool round) {
    dbf::Table& h = select(s, "dowod");
    if (!header_exists(h, p.rd, nrd)) return false;
    lock_until_done(s, "naglowek dokumentu " + trim(p.rd) + " " + trim(nrd), kRecordWait);
    h.put("WARTOSC0", t.WARTOSC0);
    h.put("NETTO", round ? NEWROUND(t.NETTO, 2) : t.NETTO);
    h.put("VAT", round ? NEWROUND(t.VAT, 2) : t.VAT);
    h.unlock();
    return true;
}

}  // namespace

std::string amount_picture(double x) {
    // Nine whole digits in groups of three, two decimals; a value that does
    // not fit shows asterisks, as a picture does.
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.2f", std::fabs(dbf::round_decimal(x, 2)));
    std::string digits(buf);
    std::string whole = digits.substr(0, digits.find('.'));
    std::string frac = digits.substr(digits.find('.') + 1);
    const bool negative = dbf::round_decimal(x, 2) < 0;
    if (whole.size() + (negative ? 1 : 0) > 9) return "*** *** ***.**";
    std::string grouped;
    for (std::size_t i = 0; i < whole.size(); ++i) {
        if (i > 0 && (whole.size() - i) % 3 == 0) grouped += ' ';
        grouped += whole[i];
    }
    return (negative ? "-" : "") + grouped + "." + frac;
}

BookingOutcome apply_booking(Session& s, const BookingPlan& p, const BookingProgress& done, BookingJournal& journal,
                             const std::function<void(int)>& shown) {
    BookingOutcome out;
    dbf::Table& dd = s.areas.table("dd");
    s.areas.table("as").set_order(1);
    s.areas.table("dowod").set_order(1);
    s.areas.table("dow").set_order(1);
    Progress progress(shown, 3 * p.rows.size() + 1);

    // The driver's sales file leaves its place before anything shared is
    // written: this read-out is then booked by this journal alone, and the
    // next read-out, however like it, is a file of its own.
    if (!p.source.empty() && done.taken.empty()) {
        const std::string taken = take_sales_file(p.source, p.stamp, p.backup);
        // Left where it is, it would be booked again as a file left over.
        if (taken.empty() && sales_file_stamp(p.source) == p.stamp)
            throw DbError("Nie moge przeniesc pliku sprzedazy do DURVA_SD", p.source, errno);
        journal.taken(taken);
    }

    const std::string nrd = done.number.empty() ? take_number(s, p, done, journal) : done.number;
    out.number = nrd;

    // Header.
    dbf::Table& h = select(s, "dowod");
    dbf::Table& w = s.areas.table("dow");
    bool have_header = false;
    bool rows_counted = false;  // the rows table's count went with the header's
    if (done.headers_before) {
        Leftovers left = find_leftovers(h, *done.headers_before, p.rd, nrd, progress);
        have_header = !left.ours.empty();
        if (!have_header && left.blank != 0) {
            h.go_to(left.blank);
            h.lock_record(left.blank);
            put_header(s, h, p, nrd);
            h.unlock();
            have_header = true;
        } else if (left.blank != 0) {
            h.unlock();
        }
    }
    if (!have_header) {
        rows_counted = !done.rows_before;
        journal.headers_before(h.record_count(), rows_counted ? std::optional(w.record_count()) : std::nullopt);
        append_until_done(s, "dopisanie naglowka dokumentu", kRecordWait);
        put_header(s, h, p, nrd);
        h.unlock();
    }

    // Rows already in the rows table from an earlier attempt.
    select(s, "dow");
    std::size_t present = 0;
    std::uint32_t blank = 0;
    if (done.rows_before) {
        Leftovers left = find_leftovers(w, *done.rows_before, p.rd, nrd, progress);
        present = left.ours.size();
        blank = left.blank;
    } else if (!rows_counted) {
        journal.rows_before(w.record_count());
    }
    progress.reach(p.rows.size() + present);

    // Rows not yet there: as many at a time as the file lock of the rows
    // table allows (one write, one update of each index); one by one, each
    // under its own lock, when another workstation holds a row locked.
    const RowPlaces places(w, dd);
    // The rows' keys fill the page caches of the rows table's indexes with
    // pages the rest of the booking never reads: once the rows are in, each
    // cache is left as large as the booking found it, and the stock changes
    // take the room those pages had.
    std::vector<std::size_t> cached_before;
    for (int k = 1; k <= w.index_count(); ++k) cached_before.push_back(w.index(k).cached_pages());
    std::size_t i = present;
    if (blank != 0 && i < p.rows.size()) {
        select(s, "dow");
        w.go_to(blank);
        w.lock_record(blank);
        places.put(w, p.rows[i], p, nrd, static_cast<int>(i) + 1);
        w.unlock();
        blank = 0;
        ++i;
    }
    if (blank != 0) w.unlock();
    while (i < p.rows.size()) {
        const std::size_t end = std::min(p.rows.size(), i + kBatchRows);
        select(s, "dow");
        if (w.lock_file()) {
            FileLockHold hold(w);
            std::string bytes;
            RecordBytes rec(w);
            for (std::size_t k = i; k < end; ++k) {
                rec.clear();
                places.put(rec, p.rows[k], p, nrd, static_cast<int>(k) + 1);
                bytes += rec.bytes();
            }
            w.append_records(bytes);
            hold.release();
        } else {
            for (std::size_t k = i; k < end; ++k) {
                append_until_done(s, "dopisanie pozycji dokumentu", kRecordWait);
                places.put(w, p.rows[k], p, nrd, static_cast<int>(k) + 1);
                w.unlock();
            }
        }
        i = end;
        progress.reach(p.rows.size() + i);
    }
    for (int k = 1; k <= w.index_count(); ++k) w.index(k).shrink_cache(cached_before[static_cast<std::size_t>(k - 1)]);

    // The header's totals, set once to what all the rows add up to.
    const TotalsLayout layout = TotalsLayout::of(&h);
    DocumentTotals totals;
    for (const std::string& r : p.rows) {
        const PlanRow row(dd, r);
        totals.add(layout, row.number("ILOSC"), row.number("CENA0"), row.number("WARTOSC"), row.number("PODATEK"),
                   row.number("BRUTTO"));
    }
    set_totals(s, p, nrd, totals, true);

    booking::change_stocks(s, p, dd, done, journal, out.not_applied,
                           [&](std::size_t rows) { progress.reach(2 * p.rows.size() + rows); });

    dbf::Table& hh = select(s, "dowod");
    out.total = header_exists(hh, p.rd, nrd) ? hh.number("NETTO") + hh.number("VAT")
                                             : NEWROUND(totals.NETTO, 2) + NEWROUND(totals.VAT, 2);
    s.areas.commit_all();
    // The tables on the disk before the journal says the booking is done:
    // a power cut can then never leave a finished journal over lost changes.
    std::vector<std::function<void()>> files, indexes;
    for (const char* alias : {"dow", "dowod", "as", "slow"}) s.areas.table(alias).add_forcings(files, indexes);
    platform::force_together(files);
    platform::force_together(indexes);
    journal.finish();
    progress.reach(3 * p.rows.size() + 1);
    return out;
}

}  // namespace durva
