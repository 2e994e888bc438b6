#include "receive/booking.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <unordered_set>
#include <utility>

#include "common/_fun1.h"
#include "common/dbf/field_codec.h"
#include "common/dbf/xbase_values.h"
#include "common/locks.h"
#include "common/newround.h"
#include "platform/errors.h"
#include "platform/file.h"
#include "receive/document_totals.h"
#include "receive/stock_change.h"

namespace durva {

namespace {

constexpr double kCounterWait = 30;
constexpr double kRecordWait = 15;
// Rows written, or stock changes made, under one taking of a table's file
// lock: few enough that the other workstations' record locks wait only a
// moment for it.
constexpr std::size_t kBatchRows = 500;

// The file lock of a table, which the caller has just taken, given up when
// the object goes whatever happens; release() gives it up on the way where a
// failure to write what it covered must reach the caller.
class FileLockHold {
public:
    explicit FileLockHold(dbf::Table& t) : t_(t) {}
    ~FileLockHold() {
        if (!held_) return;
        try {
            t_.unlock();
        } catch (...) {
            // The failure that brought us here is the one to report; the lock is gone.
        }
    }
    FileLockHold(const FileLockHold&) = delete;
    FileLockHold& operator=(const FileLockHold&) = delete;
    void release() {
        held_ = false;
        t_.unlock();
    }

private:
    dbf::Table& t_;
    bool held_ = true;
};

// A work-table row as the plan keeps it: its bytes read through the work
// table's layout.
class PlanRow {
public:
    PlanRow(const dbf::Table& dd, std::string_view record) : dd_(dd), rec_(record) {}
    bool has(std::string_view name) const { return dd_.field_pos(name) != 0; }
    std::string text(std::string_view name) const {
        const dbf::FieldDesc* f = desc(name);
        return f ? std::string(dbf::field_bytes(rec_, *f)) : std::string();
    }
    double number(std::string_view name) const {
        const dbf::FieldDesc* f = desc(name);
        return f ? dbf::decode_number(dbf::field_bytes(rec_, *f)) : 0.0;
    }

private:
    const dbf::FieldDesc* desc(std::string_view name) const {
        int pos = dd_.field_pos(name);
        if (pos == 0) return nullptr;
        const dbf::FieldDesc& f = dd_.fields()[static_cast<size_t>(pos - 1)];
        // A record shorter than the layout (a damaged journal) reads as blank.
        return static_cast<std::size_t>(f.offset + f.length) <= rec_.size() ? &f : nullptr;
    }
    const dbf::Table& dd_;
    std::string_view rec_;
};

std::string trim(std::string_view t) {
    std::size_t b = t.find_first_not_of(' ');
    if (b == std::string_view::npos) return {};
    std::size_t e = t.find_last_not_of(' ');
    return std::string(t.substr(b, e - b + 1));
}

dbf::Table& select(Session& s, const char* alias) {
    s.areas.select(std::string_view(alias));
    return s.areas.table();
}

// An unattended run does not wait without end for another program: past the
// first `wait` seconds it ends, and the journal keeps what was done for the
// next import of the station to finish, as after a power cut.
void give_up_unattended(Session& s, const std::string& what) {
    if (s.unattended) throw DbError(platform::kLockedByAnotherProgram, what, EAGAIN);
}

// Locks the current record of the current area. Past the first `wait`
// seconds the operator is told what the booking waits for, and it goes on
// trying: giving up would lose a row's totals or stock change.
void lock_until_done(Session& s, const std::string& what, double wait) {
    if (REC_LOCK(s, wait)) return;
    give_up_unattended(s, what);
    _OKNO_(s, "Czekam na " + what, "...");
    while (!REC_LOCK(s, wait)) {}
}

// Appends a record to the current area, waiting as lock_until_done does.
void append_until_done(Session& s, const std::string& what, double wait) {
    if (ADD_REC(s, wait)) return;
    give_up_unattended(s, what);
    _OKNO_(s, "Czekam na " + what, "...");
    while (!ADD_REC(s, wait)) {}
}

std::string nrd_text(double n) { return dbf::str_number(n, 8, 0); }

bool header_exists(dbf::Table& dowod, const std::string& rd, const std::string& nrd) {
    return dowod.seek(rd + nrd, false);
}

// The first number from `n` on that no header of the type uses.
double first_free_number(dbf::Table& dowod, const std::string& rd, double n) {
    while (n <= 99999999 && header_exists(dowod, rd, nrd_text(n))) n += 1;
    return n;
}

std::string take_number(Session& s, const BookingPlan& plan, BookingJournal& journal) {
    dbf::Table& dowod = select(s, "dowod");
    dowod.set_order(1);
    dbf::Table& slow = select(s, "slow");
    slow.set_order(1);
    std::string nrd;
    if (slow.seek(plan.rd, false)) {
        lock_until_done(s, "licznik dokumentow " + trim(plan.rd), kCounterWait);
        // When the counter lags behind the headers of its type, the next
        // number no header uses; the counter catches up with it.
        double n = first_free_number(dowod, plan.rd, slow.number("NRD") + 1);
        nrd = nrd_text(n);
        slow.put("NRD", n);
        slow.commit();
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

// Every open index of the table holds the record under its key; an entry
// missing because an update was cut short is put in.
void repair_keys(dbf::Table& t, std::uint32_t recno) {
    t.go_to(recno);
    const std::string rec(t.record());
    for (int i = 1; i <= t.index_count(); ++i) {
        dbf::NtxIndex& ix = t.index(i);
        const std::string key = ix.key_of(rec);
        bool present = false;
        for (auto e = ix.seek(key); e && e->key == key; e = ix.next(*e))
            if (e->recno == recno) {
                present = true;
                break;
            }
        if (!present) ix.insert(key, recno);
    }
}

// What an earlier attempt left after `before` records: the records holding
// this document (their index entries made whole), and a blank record nobody
// holds (an append cut short), which is taken over locked.
struct Leftovers {
    std::vector<std::uint32_t> ours;
    std::uint32_t blank = 0;
};

Leftovers find_leftovers(Session& s, dbf::Table& t, std::uint32_t before, const std::string& rd,
                         const std::string& nrd) {
    Leftovers out;
    const std::uint32_t count = t.record_count();
    for (std::uint32_t r = before + 1; r <= count; ++r) {
        t.go_to(r);
        if (t.eof()) break;
        if (!t.deleted() && t.text("RD") == rd && t.text("NRD") == nrd) {
            repair_keys(t, r);
            out.ours.push_back(r);
        } else if (out.blank == 0 && is_blank_record(t.record()) && t.lock_record(r)) {
            out.blank = r;
        }
    }
    (void)s;
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
    int field_pos(std::string_view name) const { return t_.field_pos(name); }
    void put(std::string_view name, const dbf::FieldValue& value) {
        const int pos = t_.field_pos(name);
        if (pos == 0) throw DbError("Brak pola " + std::string(name) + " w tabeli", t_.path());
        dbf::encode_field(t_.fields()[static_cast<size_t>(pos - 1)], value, rec_.data());
    }
    const std::string& bytes() const { return rec_; }
    void clear() { std::fill(rec_.begin(), rec_.end(), ' '); }

private:
    const dbf::Table& t_;
    std::string rec_;
};

template <class Record>
void put_row(Record& w, const PlanRow& row, const BookingPlan& p, const std::string& nrd, int n) {
    w.put("R_P", std::string("R"));
    w.put("S_Z", std::string("S"));
    w.put("RD", p.rd);
    w.put("NRD", nrd);
    w.put("DATA", p.data);
    w.put("MAG", row.text("MAG"));
    w.put("LP", dbf::str_number(n, 3, 0));
    w.put("KTO", std::string("O"));
    for (const char* f : {"INDEKS", "NAZWA", "JM", "NB", "PODATEK0", "SWW"})
        if (w.field_pos(f) != 0) w.put(f, row.text(f));
    for (const char* f : {"CENA0", "CENA", "ILOSC", "WARTOSC", "PODATEK"})
        if (w.field_pos(f) != 0) w.put(f, row.number(f));
    if (w.field_pos("PKWIU") != 0 && row.has("PKWIU")) w.put("PKWIU", row.text("PKWIU"));
}

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

std::string goods_name(const std::string& mag, const std::string& indeks) { return mag + "/" + trim(indeks); }

std::string not_applied_text(const std::string& mag, const std::string& indeks, double q, const std::string& why) {
    char qty[64];
    std::snprintf(qty, sizeof qty, "%.3f", q);
    return "Stan nie zmieniony: towar " + goods_name(mag, indeks) + ", ilosc " + qty + " (" + why + ")";
}

bool is_good(const dbf::Table& as, const std::string& mag, const std::string& indeks) {
    return !as.eof() && !as.deleted() && as.text("MAG") == mag && as.text("INDEKS") == indeks;
}

// Puts the goods table (in its first order) on the record of row n: the one
// the line was matched to while it still has the row's warehouse and index,
// otherwise the one the first order finds for them; never another good.
// False when there is none.
bool find_goods_record(dbf::Table& as, const BookingPlan& p, int n, const std::string& mag,
                       const std::string& indeks) {
    const std::uint32_t matched = n - 1 < static_cast<int>(p.goods.size()) ? p.goods[static_cast<size_t>(n - 1)] : 0;
    if (matched != 0) {
        as.go_to(matched);
        if (is_good(as, mag, indeks)) return true;
    }
    return as.seek(mag + indeks, false) && is_good(as, mag, indeks);
}

// The stock change of row n under the goods record's own lock.
void change_stock(Session& s, const BookingPlan& p, const PlanRow& row, int n, const BookingProgress& done,
                  BookingJournal& journal, BookingOutcome& out) {
    if (done.stock_done.count(n)) return;
    const std::string mag = row.text("MAG"), indeks = row.text("INDEKS");
    const double q = row.number("ILOSC");
    dbf::Table& as = select(s, "as");
    as.set_order(1);
    auto report = [&](const std::string& why) { out.not_applied.push_back(not_applied_text(mag, indeks, q, why)); };
    if (!find_goods_record(as, p, n, mag, indeks)) return report("brak towaru");
    lock_until_done(s, "towar " + goods_name(mag, indeks), kRecordWait);
    if (!is_good(as, mag, indeks)) {
        as.unlock();
        return report("brak towaru");
    }
    const StockFields now = read_stock(as, as.record());
    auto before = done.stock_before.find(n);
    if (before != done.stock_before.end()) {
        // The change was under way when the booking stopped: the record
        // shows whether it was made.
        const StockFields then = read_stock(as, before->second);
        const StockFields after = sell(as, then, q, p.data);
        if (now == after) {
            as.unlock();
            journal.stock_done(n);
            return;
        }
        if (!(now == then)) {
            as.unlock();
            return report("przerwane ksiegowanie, stan zmieniony od tego czasu - sprawdz");
        }
    }
    const StockFields after = sell(as, now, q, p.data);
    if (!stock_fits(as, after)) {
        as.unlock();
        return report("stan poza zakresem pola");
    }
    journal.stock_before(n, as.record());
    put_stock(as, after);
    as.unlock();
    journal.stock_done(n);
}

// The end of the batch of stock changes that starts at row `first`: at most
// kBatchRows rows, each of a goods record no other row of the batch names, so
// that the journal's record of each change tells on its own whether it was made.
std::size_t stock_batch_end(const BookingPlan& p, std::size_t first) {
    std::unordered_set<std::uint32_t> goods;
    std::size_t end = first;
    while (end < p.rows.size() && end - first < kBatchRows) {
        const std::uint32_t g = end < p.goods.size() ? p.goods[end] : 0;
        if (g == 0 || !goods.insert(g).second) break;
        ++end;
    }
    return std::max(end, first + 1);
}

// The stock changes of rows [first, end) under the goods table's file lock,
// which the caller has taken and which is given up here whatever happens:
// the records are read under it, the journal gets their bytes before any of
// them is written, then every change is made, then the journal marks them done.
// A row whose record another row of the batch changes already (its own
// record gone, and another one found for its good) ends the batch early;
// returns where it ended.
std::size_t change_stock_batch(Session& s, const BookingPlan& p, const dbf::Table& dd, std::size_t first,
                               std::size_t end, BookingJournal& journal, BookingOutcome& out) {
    dbf::Table& as = s.areas.table("as");
    FileLockHold hold(as);
    as.set_order(1);
    struct Change {
        int n;
        std::uint32_t recno;
        std::string before;
        StockFields after;
    };
    std::vector<Change> changes;
    std::unordered_set<std::uint32_t> records;
    std::size_t r = first;
    for (; r < end; ++r) {
        const int n = static_cast<int>(r) + 1;
        const PlanRow row(dd, p.rows[r]);
        const std::string mag = row.text("MAG"), indeks = row.text("INDEKS");
        const double q = row.number("ILOSC");
        const bool found = find_goods_record(as, p, n, mag, indeks);
        if (found && records.count(as.recno())) break;
        if (!found) {
            out.not_applied.push_back(not_applied_text(mag, indeks, q, "brak towaru"));
            continue;
        }
        const StockFields after = sell(as, read_stock(as, as.record()), q, p.data);
        if (!stock_fits(as, after)) {
            out.not_applied.push_back(not_applied_text(mag, indeks, q, "stan poza zakresem pola"));
            continue;
        }
        records.insert(as.recno());
        changes.push_back(Change{n, as.recno(), std::string(as.record()), after});
    }
    std::vector<std::pair<int, std::string_view>> before;
    for (const Change& c : changes) before.emplace_back(c.n, c.before);
    journal.stock_before(before);
    std::vector<int> made;
    for (const Change& c : changes) {
        as.go_to(c.recno);
        put_stock(as, c.after);
        made.push_back(c.n);
    }
    hold.release();
    journal.stock_done(made);
    return r;
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

BookingOutcome apply_booking(Session& s, const BookingPlan& p, const BookingProgress& done, BookingJournal& journal) {
    BookingOutcome out;
    dbf::Table& dd = s.areas.table("dd");
    s.areas.table("as").set_order(1);
    s.areas.table("dowod").set_order(1);
    s.areas.table("dow").set_order(1);

    const std::string nrd = done.number.empty() ? take_number(s, p, journal) : done.number;
    out.number = nrd;

    // Header.
    dbf::Table& h = select(s, "dowod");
    bool have_header = false;
    if (done.headers_before) {
        Leftovers left = find_leftovers(s, h, *done.headers_before, p.rd, nrd);
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
        journal.headers_before(h.record_count());
        append_until_done(s, "dopisanie naglowka dokumentu", kRecordWait);
        put_header(s, h, p, nrd);
        h.unlock();
    }

    // Rows already in the rows table from an earlier attempt.
    dbf::Table& w = select(s, "dow");
    std::size_t present = 0;
    std::uint32_t blank = 0;
    if (done.rows_before) {
        Leftovers left = find_leftovers(s, w, *done.rows_before, p.rd, nrd);
        present = left.ours.size();
        blank = left.blank;
    } else {
        journal.rows_before(w.record_count());
    }

    // Rows not yet there: as many at a time as the file lock of the rows
    // table allows (one write, one update of each index); one by one, each
    // under its own lock, when another workstation holds a row locked.
    std::size_t i = present;
    if (blank != 0 && i < p.rows.size()) {
        select(s, "dow");
        w.go_to(blank);
        w.lock_record(blank);
        put_row(w, PlanRow(dd, p.rows[i]), p, nrd, static_cast<int>(i) + 1);
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
                put_row(rec, PlanRow(dd, p.rows[k]), p, nrd, static_cast<int>(k) + 1);
                bytes += rec.bytes();
            }
            w.append_records(bytes);
            hold.release();
        } else {
            for (std::size_t k = i; k < end; ++k) {
                append_until_done(s, "dopisanie pozycji dokumentu", kRecordWait);
                put_row(w, PlanRow(dd, p.rows[k]), p, nrd, static_cast<int>(k) + 1);
                w.unlock();
            }
        }
        i = end;
    }

    // The header's totals, set once to what all the rows add up to.
    const TotalsLayout layout = TotalsLayout::of(&h);
    DocumentTotals totals;
    for (const std::string& r : p.rows) {
        const PlanRow row(dd, r);
        totals.add(layout, row.number("ILOSC"), row.number("CENA0"), row.number("WARTOSC"), row.number("PODATEK"),
                   row.number("BRUTTO"));
    }
    set_totals(s, p, nrd, totals, true);

    // Stock changes.
    const bool resumed_stock = !done.stock_before.empty() || !done.stock_done.empty();
    for (std::size_t k = 0; k < p.rows.size();) {
        std::size_t end = resumed_stock ? p.rows.size() : stock_batch_end(p, k);
        select(s, "as");
        if (!resumed_stock && s.areas.table().lock_file()) {
            end = change_stock_batch(s, p, dd, k, end, journal, out);
        } else {
            for (std::size_t r = k; r < end; ++r)
                change_stock(s, p, PlanRow(dd, p.rows[r]), static_cast<int>(r) + 1, done, journal, out);
        }
        k = end;
    }

    dbf::Table& hh = select(s, "dowod");
    out.total = header_exists(hh, p.rd, nrd) ? hh.number("NETTO") + hh.number("VAT")
                                             : NEWROUND(totals.NETTO, 2) + NEWROUND(totals.VAT, 2);
    s.areas.commit_all();
    journal.finish();
    return out;
}

}  // namespace durva
