#include "receive/booking_stock.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <span>
#include <utility>

#include "common/dbf/record_runs.h"
#include "receive/booking_steps.h"
#include "receive/stock_change.h"

namespace durva::booking {

namespace {

constexpr const char* kChangedSince = "przerwane ksiegowanie, stan zmieniony od tego czasu - sprawdz";

std::string goods_name(std::string_view mag, std::string_view indeks) { return std::string(mag) + "/" + trim(indeks); }

std::string not_applied_text(std::string_view mag, std::string_view indeks, double q, const std::string& why) {
    char qty[64];
    std::snprintf(qty, sizeof qty, "%.3f", q);
    return "Stan nie zmieniony: towar " + goods_name(mag, indeks) + ", ilosc " + qty + " (" + why + ")";
}

bool is_good(const dbf::Table& as, std::string_view mag, std::string_view indeks) {
    return !as.eof() && !as.deleted() && as.text("MAG") == mag && as.text("INDEKS") == indeks;
}

// The same of a goods record's bytes held in memory.
bool holds_good(const dbf::Table& as, std::string_view record, std::string_view mag, std::string_view indeks) {
    const dbf::FieldDesc *m = as.field_desc("MAG"), *i = as.field_desc("INDEKS");
    return m && i && !dbf::DbfFile::is_deleted(record) && dbf::field_bytes(record, *m) == mag &&
           dbf::field_bytes(record, *i) == indeks;
}

// Puts the goods table (in its first order) on the record of row n: the one
// the line was matched to while it still has the row's warehouse and index,
// otherwise the one the first order finds for them; never another good.
// False when there is none.
bool find_goods_record(dbf::Table& as, const BookingPlan& p, int n, std::string_view mag, std::string_view indeks) {
    const std::uint32_t matched = n - 1 < static_cast<int>(p.goods.size()) ? p.goods[static_cast<size_t>(n - 1)] : 0;
    if (matched != 0) {
        as.go_to(matched);
        if (is_good(as, mag, indeks)) return true;
    }
    return as.seek(std::string(mag) + std::string(indeks), false) && is_good(as, mag, indeks);
}

// One row's stock change as the plan gives it. The warehouse and index are
// the bytes of the plan's row itself, which outlives the booking's steps: a
// booking's ten thousand rows are not copied once more for them.
struct RowSale {
    int n;
    double q;
    std::string_view mag, indeks;
    RowSale(const BookingPlan& p, const dbf::Table& dd, int row) : n(row) {
        const PlanRow r(dd, p.rows[static_cast<size_t>(row - 1)]);
        mag = r.bytes("MAG");
        indeks = r.bytes("INDEKS");
        q = r.number("ILOSC");
    }
    std::string not_applied(const std::string& why) const { return not_applied_text(mag, indeks, q, why); }
};

// Rows of one good, in row order.
using Rows = std::span<const RowSale>;

// A goods record as the changes worked out so far leave it.
struct Record {
    explicit Record(std::string_view record) : bytes(record) {}
    std::string bytes;
    StockFields last;  // what the last change writes
    bool changed = false;
};

// The stock values the changes of a batch leave in each record they change,
// by record number. Those made as the runs go by come in the order of the
// file and are listed one after another; the few made afterwards on records
// found by a search (their goods moved meanwhile) are kept aside.
class ChangedRecords {
public:
    explicit ChangedRecords(std::size_t in_runs) { in_order_.reserve(in_runs); }

    const StockFields* find(std::uint32_t recno) const {
        if (const std::size_t at = listed(recno); at < in_order_.size()) return &in_order_[at].second;
        const auto other = aside_.find(recno);
        return other == aside_.end() ? nullptr : &other->second;
    }
    void set(std::uint32_t recno, const StockFields& last) {
        if (const auto other = aside_.find(recno); other != aside_.end()) {
            other->second = last;
        } else if (in_order_.empty() || in_order_.back().first < recno) {
            in_order_.emplace_back(recno, last);
        } else if (const std::size_t at = listed(recno); at < in_order_.size()) {
            in_order_[at].second = last;
        } else {
            aside_.emplace(recno, last);
        }
    }
    std::size_t size() const { return in_order_.size() + aside_.size(); }
    // Each record in the order of the file.
    template <class Each>
    void each(Each each) const {
        auto other = aside_.begin();
        for (const Entry& e : in_order_) {
            for (; other != aside_.end() && other->first < e.first; ++other) each(other->first, other->second);
            each(e.first, e.second);
        }
        for (; other != aside_.end(); ++other) each(other->first, other->second);
    }

private:
    using Entry = std::pair<std::uint32_t, StockFields>;
    // Where the record is in the list; the list's size when it is not there.
    std::size_t listed(std::uint32_t recno) const {
        const auto at = std::lower_bound(in_order_.begin(), in_order_.end(), recno,
                                         [](const Entry& e, std::uint32_t r) { return e.first < r; });
        return at != in_order_.end() && at->first == recno ? static_cast<std::size_t>(at - in_order_.begin())
                                                           : in_order_.size();
    }
    std::vector<Entry> in_order_;
    std::map<std::uint32_t, StockFields> aside_;
};

// What a batch of changes does: each row's image of its record (the state
// the row found it in) goes to the journal; the rows made or found made,
// the rows left undone.
struct Changes {
    BookingJournal& journal;
    std::vector<int> made;
    std::vector<std::string>& not_applied;
};

// Works out the stock changes of `rows`, rows of one good in row order, on
// the record `r`. Rows an earlier attempt began are settled by what the
// record shows: their images in the journal say which states it went
// through (each row's image is the state the row before it left), and the
// last of those states it is in tells how far the changes came. The rest
// go on from there, one after another.
void work_out(const StockLayout& stock, const BookingPlan& p, Rows rows, const BookingProgress& done, Record& r,
              Changes& out) {
    std::size_t from = 0;  // the first row still to be made
    if (const auto first = done.stock_before.find(rows.front().n); first != done.stock_before.end()) {
        // states[0] before the first row, states[i] after row i.
        std::vector<StockFields> states{read_stock(stock, first->second)};
        for (const RowSale& row : rows) {
            const std::string& image = done.stock_before.at(row.n);
            if (!(read_stock(stock, image) == states.back())) {
                // Not one run of changes: each row is judged alone.
                for (const RowSale& alone : rows) work_out(stock, p, Rows(&alone, 1), done, r, out);
                return;
            }
            states.push_back(read_stock(stock, with_stock(stock, image, sell(stock, states.back(), row.q, p.data))));
        }
        const auto at = std::find(states.rbegin(), states.rend(), read_stock(stock, r.bytes));
        if (at == states.rend()) {
            for (const RowSale& row : rows) out.not_applied.push_back(row.not_applied(kChangedSince));
            return;
        }
        from = static_cast<std::size_t>(states.rend() - at) - 1;
        for (std::size_t i = 0; i < from; ++i) out.made.push_back(rows[i].n);
    }
    for (std::size_t i = from; i < rows.size(); ++i) {
        const StockFields after = sell(stock, read_stock(stock, r.bytes), rows[i].q, p.data);
        if (!stock_fits(stock, after)) {
            out.not_applied.push_back(rows[i].not_applied("stan poza zakresem pola"));
            continue;
        }
        out.journal.stock_before(rows[i].n, r.bytes);
        r.bytes = with_stock(stock, r.bytes, after);
        r.last = after;
        r.changed = true;
        out.made.push_back(rows[i].n);
    }
}

// The stock changes of `goods` (each the rows of one good) under the goods
// table's file lock, which the caller has taken and which is given up here
// whatever happens. The records the rows were matched to are read under it
// in runs, in the order of the file, and the changes of each worked out as
// its run goes by, a record named by several rows going from one row's
// change to the next; the journal gets every row's image, forced to disk,
// before anything is written. Only what the changes leave in the stock
// fields is kept: the records are read in runs again and written with it,
// nearby ones in one write (the rest of a record is as the lock found it).
// Where an open index has a stock field in its key, they go through the
// table, which keeps the keys.
void change_under_file_lock(Session& s, const StockLayout& stock, const BookingPlan& p, std::span<const Rows> goods,
                            const BookingProgress& done, Changes& out) {
    dbf::Table& as = s.areas.table("as");
    FileLockHold hold(as);
    as.set_order(1);
    auto matched_of = [&](Rows rows) {
        const int n = rows.front().n;
        return p.goods.size() >= static_cast<std::size_t>(n) ? p.goods[static_cast<std::size_t>(n - 1)] : 0u;
    };
    // The goods (their places in `goods`) in the order of their records, a
    // record's rows in row order.
    std::vector<std::uint32_t> in_file(goods.size());
    for (std::size_t i = 0; i < goods.size(); ++i) in_file[i] = static_cast<std::uint32_t>(i);
    std::stable_sort(in_file.begin(), in_file.end(),
                     [&](std::uint32_t a, std::uint32_t b) { return matched_of(goods[a]) < matched_of(goods[b]); });
    std::vector<std::uint32_t> wanted;
    wanted.reserve(in_file.size());
    for (std::uint32_t g : in_file)
        if (wanted.empty() || wanted.back() != matched_of(goods[g])) wanted.push_back(matched_of(goods[g]));
    ChangedRecords changed(wanted.size());
    std::vector<Rows> elsewhere;  // rows whose record no longer holds their good
    std::size_t next = 0;
    auto work_on = [&](std::uint32_t recno, Record& r, Rows rows) {
        work_out(stock, p, rows, done, r, out);
        if (r.changed) changed.set(recno, r.last);
    };
    dbf::read_in_runs(as.dbf(), std::move(wanted), [&](std::uint32_t recno, std::string_view bytes) {
        for (; next < in_file.size() && matched_of(goods[in_file[next]]) < recno; ++next)
            elsewhere.push_back(goods[in_file[next]]);
        Record r(bytes);
        for (; next < in_file.size() && matched_of(goods[in_file[next]]) == recno; ++next) {
            const Rows rows = goods[in_file[next]];
            const RowSale& row = rows.front();
            if (holds_good(as, r.bytes, row.mag, row.indeks)) work_on(recno, r, rows);
            else elsewhere.push_back(rows);
        }
    });
    for (; next < in_file.size(); ++next) elsewhere.push_back(goods[in_file[next]]);
    for (Rows rows : elsewhere) {
        const RowSale& row = rows.front();
        if (!find_goods_record(as, p, row.n, row.mag, row.indeks)) {
            for (const RowSale& r : rows) out.not_applied.push_back(r.not_applied("brak towaru"));
            continue;
        }
        // A record changed already goes on from its changes.
        Record r(as.record());
        if (const StockFields* last = changed.find(as.recno())) {
            r.bytes = with_stock(stock, r.bytes, *last);
            r.last = *last;
            r.changed = true;
        }
        work_on(as.recno(), r, rows);
    }
    out.journal.stock_before_forced();
    if (!stock.outside_keys) {
        changed.each([&](std::uint32_t recno, const StockFields& last) {
            as.go_to(recno);
            put_stock(as, stock, last);
        });
    } else {
        std::vector<std::uint32_t> recnos;
        recnos.reserve(changed.size());
        changed.each([&](std::uint32_t recno, const StockFields&) { recnos.push_back(recno); });
        dbf::update_in_runs(as.dbf(), std::move(recnos), [&](std::uint32_t recno, std::string& record) {
            record = with_stock(stock, record, *changed.find(recno));
        });
        // The table's own copy of its record may be of before the writes.
        if (as.recno() != 0) as.go_to(as.recno());
    }
    hold.release();
}

// The same for the rows of one good under its record's own lock, while
// another workstation holds a goods record locked.
void change_under_record_lock(Session& s, const StockLayout& stock, const BookingPlan& p, Rows rows,
                              const BookingProgress& done, Changes& out) {
    const RowSale& row = rows.front();
    dbf::Table& as = select(s, "as");
    as.set_order(1);
    auto missing = [&] {
        for (const RowSale& r : rows) out.not_applied.push_back(r.not_applied("brak towaru"));
    };
    if (!find_goods_record(as, p, row.n, row.mag, row.indeks)) return missing();
    lock_until_done(s, "towar " + goods_name(row.mag, row.indeks), kRecordWait);
    if (!is_good(as, row.mag, row.indeks)) {
        as.unlock();
        return missing();
    }
    Record r(as.record());
    work_out(stock, p, rows, done, r, out);
    out.journal.stock_before_forced();
    if (r.changed) put_stock(as, stock, r.last);
    as.unlock();
}

}  // namespace

void change_stocks(Session& s, const BookingPlan& p, const dbf::Table& dd, const BookingProgress& done,
                   BookingJournal& journal, std::vector<std::string>& not_applied,
                   const std::function<void(std::size_t)>& rows_done) {
    // Rows an earlier attempt began and did not mark done first, the rows of
    // each good together (one batch may have changed its record several
    // times); then every other row on its own.
    std::map<std::pair<std::string, std::string>, std::vector<RowSale>> begun;
    // Room for every row made once: the views of each good's rows stay good
    // while the rows after them come in (grown a row at a time, it would
    // also hold twice that on the way).
    std::vector<RowSale> rows;
    rows.reserve(p.rows.size());
    std::vector<Rows> goods;
    goods.reserve(p.rows.size());
    auto add_good = [&](std::size_t from) { goods.emplace_back(rows.data() + from, rows.size() - from); };
    std::size_t gone_through = 0;
    for (int n = 1; n <= static_cast<int>(p.rows.size()); ++n) {
        if (done.stock_done.count(n)) {
            ++gone_through;
        } else if (done.stock_before.count(n)) {
            RowSale row(p, dd, n);
            begun[{std::string(row.mag), std::string(row.indeks)}].push_back(row);
        }
    }
    for (auto& [good, of_good] : begun) {
        const std::size_t from = rows.size();
        rows.insert(rows.end(), of_good.begin(), of_good.end());
        add_good(from);
    }
    begun.clear();
    for (int n = 1; n <= static_cast<int>(p.rows.size()); ++n) {
        if (done.stock_done.count(n) || done.stock_before.count(n)) continue;
        rows.emplace_back(p, dd, n);
        add_good(rows.size() - 1);
    }

    const StockLayout stock(s.areas.table("as"));
    for (std::size_t k = 0; k < goods.size();) {
        std::size_t end = k, in_batch = 0;
        while (end < goods.size() && in_batch < kStockBatchRows) in_batch += goods[end++].size();
        const std::span<const Rows> batch(goods.data() + k, end - k);
        Changes c{journal, {}, not_applied};
        select(s, "as");
        if (s.areas.table().lock_file()) {
            change_under_file_lock(s, stock, p, batch, done, c);
        } else {
            for (Rows one : batch) change_under_record_lock(s, stock, p, one, done, c);
        }
        if (!c.made.empty()) {
            // A mark that a change is done never reaches the disk before the change.
            s.areas.table("as").sync_to_disk();
            journal.stock_done(c.made);
        }
        gone_through += in_batch;
        k = end;
        if (rows_done) rows_done(gone_through);
    }
}

}  // namespace durva::booking
