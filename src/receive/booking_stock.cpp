#include "receive/booking_stock.h"

#include <algorithm>
#include <cstdio>
#include <unordered_set>
#include <utility>

#include "receive/booking_steps.h"
#include "receive/stock_change.h"

namespace durva::booking {

namespace {

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
// A change made (or found made) is added to `made`.
void change_stock(Session& s, const BookingPlan& p, const PlanRow& row, int n, const BookingProgress& done,
                  BookingJournal& journal, std::vector<std::string>& not_applied, std::vector<int>& made) {
    if (done.stock_done.count(n)) return;
    const std::string mag = row.text("MAG"), indeks = row.text("INDEKS");
    const double q = row.number("ILOSC");
    dbf::Table& as = select(s, "as");
    as.set_order(1);
    auto report = [&](const std::string& why) { not_applied.push_back(not_applied_text(mag, indeks, q, why)); };
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
            made.push_back(n);
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
    made.push_back(n);
}

// The end of the batch of stock changes that starts at row `first`: at most
// kBatchRows rows, each of a goods record no other row of the batch names, so
// that the journal's record of each change tells on its own whether it was made.
// An earlier attempt's rows (those the journal has lines of) are left out.
bool begun_before(const BookingProgress& done, std::size_t row) {
    const int n = static_cast<int>(row) + 1;
    return done.stock_done.count(n) != 0 || done.stock_before.count(n) != 0;
}

std::size_t stock_batch_end(const BookingPlan& p, const BookingProgress& done, std::size_t first) {
    std::unordered_set<std::uint32_t> goods;
    std::size_t end = first;
    while (end < p.rows.size() && end - first < kBatchRows && !begun_before(done, end)) {
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
// returns where it ended. The rows changed are added to `made`.
std::size_t change_stock_batch(Session& s, const BookingPlan& p, const dbf::Table& dd, std::size_t first,
                               std::size_t end, BookingJournal& journal, std::vector<std::string>& not_applied,
                               std::vector<int>& made) {
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
            not_applied.push_back(not_applied_text(mag, indeks, q, "brak towaru"));
            continue;
        }
        const StockFields after = sell(as, read_stock(as, as.record()), q, p.data);
        if (!stock_fits(as, after)) {
            not_applied.push_back(not_applied_text(mag, indeks, q, "stan poza zakresem pola"));
            continue;
        }
        records.insert(as.recno());
        changes.push_back(Change{n, as.recno(), std::string(as.record()), after});
    }
    std::vector<std::pair<int, std::string_view>> before;
    for (const Change& c : changes) before.emplace_back(c.n, c.before);
    journal.stock_before(before);
    for (const Change& c : changes) {
        as.go_to(c.recno);
        put_stock(as, c.after);
        made.push_back(c.n);
    }
    hold.release();
    return r;
}

}  // namespace

void change_stocks(Session& s, const BookingPlan& p, const dbf::Table& dd, const BookingProgress& done,
                   BookingJournal& journal, std::vector<std::string>& not_applied,
                   const std::function<void(std::size_t)>& rows_done) {
    std::vector<int> made;
    for (std::size_t k = 0; k < p.rows.size();) {
        std::size_t end = k + 1;
        if (begun_before(done, k)) {
            // An earlier attempt cut short among the changes: each row it
            // had begun on its own, as its journal lines were written.
            while (end < p.rows.size() && end - k < kBatchRows && begun_before(done, end)) ++end;
            for (std::size_t r = k; r < end; ++r)
                change_stock(s, p, PlanRow(dd, p.rows[r]), static_cast<int>(r) + 1, done, journal, not_applied, made);
        } else {
            end = stock_batch_end(p, done, k);
            select(s, "as");
            if (s.areas.table().lock_file()) {
                end = change_stock_batch(s, p, dd, k, end, journal, not_applied, made);
            } else {
                for (std::size_t r = k; r < end; ++r)
                    change_stock(s, p, PlanRow(dd, p.rows[r]), static_cast<int>(r) + 1, done, journal, not_applied,
                                 made);
            }
        }
        if (!made.empty()) {
            // A mark that a change is done never reaches the disk before the change.
            s.areas.table("as").sync_to_disk();
            journal.stock_done(made);
            made.clear();
        }
        k = end;
        if (rows_done) rows_done(k);
    }
}

}  // namespace durva::booking
