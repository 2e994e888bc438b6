#include "send/main_send.h"

#include "common/_fun1.h"
#include "common/_fun3.h"
#include "common/dbf/xbase_values.h"
#include "common/dirmake.h"
#include "common/dbf/dbf_file.h"
#include "common/dbf/field_codec.h"
#include "common/dbf/ntx_index.h"
#include "common/error_handler.h"
#include "platform/errors.h"
#include "platform/path_resolver.h"
#include "send/goods_fields.h"
#include "send/input_file.h"
#include "send/name_cleaning.h"
#include "send/sent_records.h"

namespace durva {
namespace {

// Records of a table read in runs of kRunRecords, one run in memory at a
// time: a pass over a large table in record order, one read per run.
class RecordRuns {
public:
    explicit RecordRuns(dbf::DbfFile& file)
        : file_(file), rl_(static_cast<size_t>(file.record_length())), buf_(kRunRecords * rl_) {}
    // Record `recno` (1-based); empty past the end of the table.
    std::string_view record(std::uint32_t recno) {
        if (recno < first_ || recno >= first_ + count_) {
            first_ = recno;
            count_ = file_.read_records(recno, kRunRecords, buf_.data());
            if (count_ == 0) return {};
        }
        return {buf_.data() + (recno - first_) * rl_, rl_};
    }

private:
    static constexpr std::uint32_t kRunRecords = 256;
    dbf::DbfFile& file_;
    size_t rl_;
    std::vector<char> buf_;
    std::uint32_t first_ = 0, count_ = 0;
};

// rob\as_NN: every good that is not deleted, with the cleaned name the
// register will get (the goods table itself keeps its names), read straight
// through the goods file in runs and written out as it comes.
void copy_goods(SendRun& run, dbf::Table& goods, const std::string& copy) {
    // A change of this station's still waiting in the goods table goes to
    // the file first, so that the copy has it.
    goods.commit();
    const bool hide_deleted = run.s.areas.settings.deleted_hidden;
    dbf::DbfFile& in = goods.dbf();
    auto out = dbf::DbfFile::create(copy + ".dbf", goods.fields(), &run.s.clock);
    const int nazwa = goods.field_pos("NAZWA");
    const dbf::FieldDesc* name = nazwa > 0 ? &goods.fields()[static_cast<size_t>(nazwa - 1)] : nullptr;
    RecordRuns runs(in);
    std::string bytes;
    const std::uint32_t total = in.record_count();
    for (std::uint32_t r = 1; r <= total; ++r) {
        const std::string_view rec = runs.record(r);
        if (rec.empty()) break;  // the file was cut meanwhile
        if (hide_deleted && dbf::DbfFile::is_deleted(rec)) continue;
        bytes.assign(rec);
        if (name) {
            const std::string_view field = dbf::field_bytes(bytes, *name);
            std::string cleaned = run.plu.keep_national_letters ? std::string(field) : clean_goods_name(field);
            cleaned.erase(0, cleaned.find_first_not_of(' '));
            cleaned.resize(field.size(), ' ');
            bytes.replace(static_cast<size_t>(name->offset), cleaned.size(), cleaned);
        }
        out->append_record(bytes.data());
    }
    out->close();
}

// The copy rob\as_NN of every good that is not deleted, with cleaned names,
// its index rob\as_NN.ntx by name (or its first 17 characters, all a
// short-form register shows), warehouse and index, and rob\assNN, the same
// records physically in that order. Only the keys of the sort and the index
// pages stay in memory, never the goods: the copies are read in runs and
// written as they are made. Leaves the sorted copy open in area 202 under
// alias ass.
void make_sorted_copy(SendRun& run) {
    Session& s = run.s;
    auto& areas = s.areas;
    const std::string station = STR2(s.values.STACJA);
    const std::string copy = "rob\\as_" + station, sorted = "rob\\ass" + station;
    DIRMAKE("rob");
    with_error_handler(s, [&] {
        areas.close(kCopyArea);
        areas.close(kSortedCopyArea);
        copy_goods(run, areas.table(kGoodsArea), copy);

        // The copy is this station's own and nobody else's: read without a
        // cache of its records, whose order of reading is the index's.
        auto as_ = dbf::DbfFile::open(copy + ".dbf", platform::Share::Shared, true, &s.clock);
        const std::uint32_t count = as_->record_count();
        RecordRuns runs(*as_);
        auto index = dbf::NtxIndex::create(
            platform::resolve_path(copy + ".ntx"),
            run.plu.long_form ? "nazwa+mag+indeks" : "SUBSTR(nazwa,1,17)+mag+indeks", as_->fields(), count,
            [&](std::uint32_t r) { return runs.record(r); }, platform::Share::Exclusive);
        auto out = dbf::DbfFile::create(sorted + ".dbf", as_->fields(), &s.clock);
        std::string bytes(static_cast<size_t>(as_->record_length()), ' ');
        for (auto e = index->first(); e; e = index->next(*e)) {
            if (!as_->read_record(e->recno, bytes.data())) throw DbError("Blad odczytu tabeli", as_->path());
            out->append_record(bytes.data());
        }
        out->close();
        index->flush();
        index.reset();
        as_->close();

        areas.select(kSortedCopyArea);
        areas.use(sorted, "ass", platform::Share::Exclusive).go_top();
    });
}

// Draws the progress only when what it shows changes: the walk calls it for
// every good, and the screen is handed to the terminal at every change.
class Progress {
public:
    explicit Progress(Session& s) : s_(s) {}
    void update(std::uint32_t recno, std::uint32_t count) {
        ProgressTexts now = progress_texts(recno, count);
        if (drawn_ && now == last_) return;
        RYSUNEK(s_);
        last_ = std::move(now);
        drawn_ = true;
    }

private:
    Session& s_;
    ProgressTexts last_;
    bool drawn_ = false;
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

bool RYSUNEK(Session& s) {
    dbf::Table* ass = s.areas.find("ass");
    if (!ass) return true;
    const ProgressTexts t = progress_texts(ass->recno(), ass->record_count());
    s.screen.say(17, 33, t.percent);
    s.screen.say(18, 33, t.bar);
    return true;
}

bool main_send(SendRun& run) {
    Session& s = run.s;
    const SendOptions& o = run.o;
    make_sorted_copy(run);

    s.screen.clear();
    _OKNO_(s, "Tworze plik ....", "...");
    InputFileWriter out(s, kPluControlLine, false);
    std::string previous(kNoPreviousCode);
    bool resend = false;
    std::uint32_t count = 0;

    dbf::Table& ass = s.areas.table(kSortedCopyArea);
    const GoodsFields goods(ass);
    const bool date_filter = !o.M_DATA.empty() && goods.has_receipt_fields();
    const bool any_type = is_blank(o.M_RD);
    const std::uint32_t total = ass.record_count();
    Progress progress(s);
    try {
        for (ass.go_top(); !ass.eof(); ass.skip(1)) {
            progress.update(ass.recno(), total);
            const std::string_view rec = ass.record();
            if (goods.cena2(rec) <= 0) continue;
            const std::string_view nazwa = goods.nazwa(rec);
            if (run.filter.skips(goods.mag(rec), nazwa, goods.ilosc(rec))) continue;
            if (date_filter) {
                const Date received = goods.data_pz(rec);
                if (!((any_type || goods.rd_pz(rec).starts_with(o.M_RD)) && !received.empty() &&
                      received >= o.M_DATA))
                    continue;
                resend = true;
            }
            const PluRecord r = build_plu_record(run.plu, goods.good(rec, nazwa), SendRoad::Main, previous);
            if (!r.accepted()) continue;
            if (record_sent(s, run.m.NR_KASY, r, SendRoad::Main, resend)) {
                out.record(r.text);
                ++count;
            }
        }
    } catch (const DbError& e) {
        // Half a file is no file to send: the operator sees why, and the
        // register is not offered the transfer.
        out.finish();
        handle_db_error(s, e);
        s.areas.close(kSentRecordsArea);
        s.areas.close(kSortedCopyArea);
        s.areas.select(kGoodsArea);
        return false;
    }out.finish();

    s.areas.close(kSentRecordsArea);
    s.areas.close(kSortedCopyArea);
    s.areas.select(kGoodsArea);
    if (dbf::Table* g = s.areas.find(kGoodsArea)) {
        g->set_order(1);
        g->go_top();
    }
    _OKNO_(s, "W pliku jest " + dbf::str_number(count, 4, 0) + " pozycji", 3);
    return true;
}

}  // namespace durva
