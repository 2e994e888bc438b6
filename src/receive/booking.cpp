#include "receive/booking.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "common/dbf/field_codec.h"
#include "common/dbf/xbase_values.h"
#include "common/newround.h"
#include "platform/errors.h"
#include "receive/booking_steps.h"
#include "receive/booking_stock.h"
#include "receive/document_totals.h"

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

    booking::change_stocks(s, p, dd, done, journal, out.not_applied);

    dbf::Table& hh = select(s, "dowod");
    out.total = header_exists(hh, p.rd, nrd) ? hh.number("NETTO") + hh.number("VAT")
                                             : NEWROUND(totals.NETTO, 2) + NEWROUND(totals.VAT, 2);
    s.areas.commit_all();
    // The tables on the disk before the journal says the booking is done:
    // a power cut can then never leave a finished journal over lost changes.
    for (const char* alias : {"dow", "dowod", "as", "slow"}) select(s, alias).sync_to_disk();
    journal.finish();
    return out;
}

}  // namespace durva
