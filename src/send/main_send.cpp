#include "send/main_send.h"

#include <algorithm>

#include "common/_fun1.h"
#include "common/dbf/xbase_values.h"
#include "common/error_handler.h"
#include "send/goods_fields.h"
#include "send/input_file.h"
#include "send/sent_records.h"
#include "send/sorted_copy.h"

namespace durva {
namespace {

// Draws the progress only when what it shows changes: the walk calls it for
// every good, and the screen is handed to the terminal at every change. The
// texts themselves are worked out only where they can change: where the
// percentage crosses a half (its rounding) or the bar a step, found in whole
// numbers, and at the record after, for the fractions the texts are worked
// out with.
class Progress {
public:
    explicit Progress(Session& s) : s_(s) {}
    void update(std::uint32_t recno, std::uint32_t count) {
        // Going on record by record, nothing crosses before the next crossing
        // worked out the last time.
        if (drawn_ && !recheck_ && count == count_ && recno > recno_ && recno < next_crossing_) return;
        const std::uint64_t halves = count == 0 ? 0 : std::uint64_t{recno} * 200 / count;
        const std::uint64_t steps = count == 0 ? 0 : std::uint64_t{recno} * 35 / count;
        const bool crossed = !drawn_ || halves != halves_ || steps != steps_;
        recno_ = recno;
        count_ = count;
        next_crossing_ = std::min(first_reaching(halves + 1, 200, count), first_reaching(steps + 1, 35, count));
        if (!crossed && !recheck_) return;
        recheck_ = crossed;
        halves_ = halves;
        steps_ = steps;
        ProgressTexts now = progress_texts(recno, count);
        if (drawn_ && now == last_) return;
        RYSUNEK(s_, recno, count);
        last_ = std::move(now);
        drawn_ = true;
    }

private:
    // The first record number r with r * parts / count at least `part`; 0
    // (no record) without goods.
    static std::uint64_t first_reaching(std::uint64_t part, std::uint64_t parts, std::uint32_t count) {
        return (part * count + parts - 1) / parts;
    }

    Session& s_;
    ProgressTexts last_;
    bool drawn_ = false;
    bool recheck_ = false;
    std::uint64_t halves_ = 0, steps_ = 0;
    std::uint32_t recno_ = 0, count_ = 0;
    std::uint64_t next_crossing_ = 0;
};

}  // namespace

ProgressTexts progress_texts(std::uint32_t recno, std::uint32_t count) {
    const double share = count == 0 ? 0 : static_cast<double>(recno) / count;
    ProgressTexts t;
    std::string percent = dbf::str_number(share * 100, 3, 0);
    percent.erase(0, percent.find_first_not_of(' '));
    t.percent = percent + "% ";
    t.bar.assign(static_cast<size_t>(share * 35), '\xDB');
    return t;
}

bool RYSUNEK(Session& s, std::uint32_t recno, std::uint32_t count) {
    const ProgressTexts t = progress_texts(recno, count);
    s.screen.say(17, 33, t.percent);
    s.screen.say(18, 33, t.bar);
    return true;
}

bool main_send(SendRun& run) {
    Session& s = run.s;
    const SendOptions& o = run.o;
    SortedGoods sorted(run);

    s.screen.clear();
    _OKNO_(s, "Tworze plik ....", "...");
    InputFileWriter out(s, kPluControlLine, false);
    std::string previous(kNoPreviousCode);
    bool resend = false;
    std::uint32_t count = 0;
    PluRecord r;  // built anew for each good, in the same room
    std::string ahead;

    const GoodsFields goods(s.areas.table(kGoodsArea));
    const bool date_filter = !o.M_DATA.empty() && goods.has_receipt_fields();
    const bool any_type = is_blank(o.M_RD);
    const std::uint32_t total = sorted.count();
    run.sent.expect(total);
    const bool prefetch = run.sent.worth_prefetching();
    Progress progress(s);
    try {
        // The walk takes each good one ahead of the good it writes: most goods
        // are looked up in the sent-record table, and in a large one the
        // look-up of the good after is started while this one is written,
        // to find its memory ready.
        for (std::string_view after = sorted.next(); !after.empty();) {
            const std::string_view rec = after;
            const std::uint32_t position = sorted.position();
            after = sorted.next();
            if (prefetch && !after.empty()) {
                // A bar code of full width is its key as it lies in the record.
                std::string_view code = run.plu.jest_kod13 ? goods.kod13(after).substr(0, 13) : std::string_view();
                if (code.size() < 13) {
                    plu_sent_key(run.plu, goods.kod13(after), goods.indeks(after), ahead);
                    code = ahead;
                }
                run.sent.prefetch(run.m.NR_KASY, code);
            }
            progress.update(position, total);
            const double cena2 = goods.cena2(rec);
            if (cena2 <= 0) continue;
            const std::string_view nazwa = goods.nazwa(rec);
            // The stock is read only when the filter looks at it.
            const double ilosc = run.filter.in_stock_only ? goods.ilosc(rec) : 0;
            if (run.filter.skips(goods.mag(rec), nazwa, ilosc)) continue;
            if (date_filter) {
                const Date received = goods.data_pz(rec);
                if (!((any_type || goods.rd_pz(rec).starts_with(o.M_RD)) && !received.empty() &&
                      received >= o.M_DATA))
                    continue;
                resend = true;
            }
            build_plu_record(run.plu, goods.good(rec, nazwa, cena2, run.plu), SendRoad::Main, previous, r);
            if (!r.accepted()) continue;
            if (run.sent.record(run.m.NR_KASY, r, SendRoad::Main, resend)) {
                out.record(r.text);
                ++count;
            }
        }
        sorted.close();
    } catch (const DbError& e) {
        // Half a file is no file to send: the operator sees why, and the
        // register is not offered the transfer.
        out.finish();
        handle_db_error(s, e);
        s.areas.close(kSentRecordsArea);
        s.areas.select(kGoodsArea);
        return false;
    }
    out.finish();

    s.areas.close(kSentRecordsArea);
    s.areas.select(kGoodsArea);
    if (dbf::Table* g = s.areas.find(kGoodsArea)) {
        g->set_order(1);
        g->go_top();
    }
    _OKNO_(s, "W pliku jest " + dbf::str_number(count, 4, 0) + " pozycji", 3);
    return true;
}

}  // namespace durva
