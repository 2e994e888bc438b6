#include "send/sent_records.h"

#include <vector>

#include "common/_fun1.h"
#include "common/_fun3.h"
#include "common/dirmake.h"
#include "common/error_handler.h"
#include "platform/errors.h"
#include "platform/file.h"
#include "platform/path_resolver.h"

namespace durva {
namespace {

constexpr size_t kStoredText = 80;
constexpr std::string_view kIndexFile = "durva\\as2000.ntx";
constexpr std::string_view kIndexKey = "pkasa+DESCEND(kod13)";
// Look-ups name rows of the changes with this bit, rows of the table without.
constexpr std::uint32_t kChangedRow = 0x80000000u;
// The rows of the table read at a time to build the look-up (a hundred
// kilobytes: the look-up itself takes the memory a large table needs).
constexpr size_t kLookUpPiece = 1024;

// One exclusive attempt, with the opening notice every exclusive opening
// shows. Unlike the general opening, a table that cannot be read is no reason
// to stop the program: the send is refused and the table left as it is.
bool open_once(Session& s) {
    const auto saved = s.screen.save(15, 30, 20, 72);
    _OKNO_(s, "Otwieram plik " + std::string(kSentRecordsTable) + ".dbf", "...");
    s.areas.select(kSentRecordsArea);
    bool opened = false;
    try {
        s.areas.use(kSentRecordsTable, "as2000", platform::Share::Exclusive);
        opened = true;
    } catch (const SharingError&) {
        s.screen.inkey(1.0);
    } catch (const DbError&) {
        s.areas.close();
    }
    s.screen.restore(saved);
    return opened;
}

bool fail(Session& s) {
    s.areas.close(kSentRecordsArea);
    _OKNO_(s, kSentRecordsTrouble);
    s.areas.select(2);
    return false;
}

// The table's index brought up to date with the rows appended since record
// `first`: a few keys go into it, while many are put in faster by building
// it afresh with all the others. An index that cannot be read is built
// afresh too.
void index_rows_from(dbf::Table& t, std::uint32_t first) {
    const std::uint32_t count = t.record_count();
    const std::uint32_t added = count >= first ? count - first + 1 : 0;
    if (added <= count / 32) {
        try {
            t.add_index(kIndexFile);
            dbf::NtxIndex& ix = t.index(1);
            std::vector<dbf::NtxEntry> entries(added);
            for (std::uint32_t i = 0; i < added; ++i) {
                ix.key_of(t.dbf().record_view(first + i), entries[i].key);
                entries[i].recno = first + i;
            }
            if (added > 0) ix.insert_many(entries);
            t.go_top();
            return;
        } catch (const DbError&) {
            t.clear_indexes();
        }
    }
    t.create_index(kIndexFile, kIndexKey);
}

}  // namespace

SentRecords::~SentRecords() { changes_.reset(); }

bool SentRecords::open() {
    const int remembered = s_.areas.current();
    s_.areas.close(kSentRecordsArea);
    changes_.reset();
    const std::string dbf_name = std::string(kSentRecordsTable) + ".dbf";
    bool create = !FILE_X(dbf_name);
    if (!create) {
        if (!open_once(s_)) return fail(s_);
        create = s_.areas.table(kSentRecordsArea).field_pos("PKASA") == 0;
        s_.areas.close(kSentRecordsArea);
    }
    if (create) {
        DIRMAKE("durva");
        if (!TWORZ(s_, kSentRecordsFields, true, s_.values.STACJA)) return fail(s_);
        // Changes kept for a table that is gone belong to no table now.
        for (std::string_view name : {kChangesUnderWay, kChangesToWriteIn})
            if (platform::file_exists(name)) with_error_handler(s_, [&] { platform::remove_file(platform::resolve_path(name)); });
    }
    if (!open_once(s_)) return fail(s_);
    layout_ = SentRowLayout::of(s_.areas.table(kSentRecordsArea).fields());
    // A table with a register but no code or text to keep: not ours to change.
    if (!layout_) return fail(s_);

    _OKNO_(s_, "PROSZE CZEKAC ...", "...");
    const bool built = with_error_handler(s_, [&] {
        dbf::Table& t = s_.areas.table(kSentRecordsArea);
        t.clear_indexes();
        const bool written_in = write_in_sent_changes(t);
        drop_sent_changes();
        lookup_ = SentLookup();
        std::vector<std::uint64_t> rows;
        rows.reserve(t.record_count());
        std::string key;
        auto look_up = [&](std::uint32_t recno, std::string_view row) {
            if (dbf::DbfFile::is_deleted(row)) return;
            std::string_view in_place = layout_->key_in(row);
            if (in_place.empty()) {
                layout_->key_of(row, key);
                in_place = key;
            }
            rows.push_back(SentLookup::entry(in_place, recno));
        };
        // Every send that changes the table keeps its index: one that opens
        // is the table's, unless rows were written in again just now.
        if (!written_in && FILE_X(kIndexFile)) {
            try {
                t.add_index(kIndexFile);
            } catch (const DbError&) {
                t.clear_indexes();
            }
        }
        if (t.index_count() > 0) {
            // The rows read a piece of the file at a time (the table is held
            // exclusively), not one by one through its cache.
            dbf::DbfFile& file = t.dbf();
            const size_t rl = static_cast<size_t>(file.record_length());
            const std::uint32_t count = file.record_count();
            std::vector<char> piece(std::min<size_t>(kLookUpPiece, count) * rl);
            for (std::uint32_t first = 1, got; first <= count; first += got) {
                got = file.read_run(first, static_cast<std::uint32_t>(piece.size() / rl), piece.data());
                if (got == 0) break;
                for (std::uint32_t i = 0; i < got; ++i) look_up(first + i, std::string_view(piece.data() + i * rl, rl));
            }
        } else {
            // The rows are put in the look-up as the index build reads them.
            if (FILE_X(kIndexFile)) platform::remove_file(platform::resolve_path(kIndexFile));
            t.create_index(kIndexFile, kIndexKey, false, false, look_up);
        }
        lookup_.add_all(rows);
        if (written_in) sent_changes_written();
        t.go_top();
        next_fresh_ = t.record_count() + 1;
        fresh_ = 0;
        last_row_ = 0;
        moved_.assign(next_fresh_, false);
        changes_ = SentChanges::create(*layout_, &s_.clock);
        return true;
    });
    s_.areas.select(remembered == kSentRecordsArea ? 2 : remembered);
    return built;
}

std::string_view SentRecords::row(dbf::DbfFile& table, std::uint32_t ref) {
    return (ref & kChangedRow) ? changes_->row(ref & ~kChangedRow) : table.record_view(ref);
}

bool SentRecords::record(std::string_view register_no, const PluRecord& record, SendRoad road, bool resend) {
    if (!changes_) throw DbError("Tabela zamknieta", std::string(kSentRecordsTable) + ".dbf");
    dbf::DbfFile& table = s_.areas.table(kSentRecordsArea).dbf();
    const std::string_view cut = std::string_view(record.text).substr(0, kStoredText);
    make_sent_key(register_no, record.key, key_);
    const std::uint32_t tag = SentLookup::tag_of(register_no, record.key);
    auto find = [&] { return lookup_.find(tag, [&](std::uint32_t ref) { return layout_->holds(row(table, ref), key_); }); };
    // The table's rows mostly come in the order the walk meets their goods,
    // as a send appends them: the row after the last one met is tried first,
    // which saves a look-up in an array that a large table spreads far
    // beyond the processor's caches.
    std::uint32_t ref = last_row_ + 1;
    size_t slot = SentLookup::kNone;
    if (ref >= next_fresh_ || moved_[ref] || !layout_->holds(table.record_view(ref), key_)) {
        slot = find();
        if (slot == SentLookup::kNone) {
            const std::uint32_t added = changes_->add(key_, cut, next_fresh_ + fresh_++, true);
            lookup_.add(tag, added | kChangedRow);
            return true;
        }
        ref = lookup_.row(slot);
    }
    if (!(ref & kChangedRow)) last_row_ = ref;
    const std::string_view stored = layout_->text(row(table, ref));
    const bool same = stored.starts_with(cut);
    if (road == SendRoad::Main && same && !resend) return false;
    if (road != SendRoad::Main && same) return true;

    // The new text, unless it is the one stored.
    padded_.assign(cut.substr(0, stored.size()));
    padded_.resize(stored.size(), ' ');
    if (padded_ == stored) return true;
    if (ref & kChangedRow) {
        changes_->set_text(ref & ~kChangedRow, cut);
    } else {
        if (slot == SentLookup::kNone) slot = find();
        lookup_.set_row(slot, changes_->add(key_, cut, ref, false) | kChangedRow);
        moved_[ref] = true;
    }
    return true;
}

void SentRecords::finish() {
    lookup_ = SentLookup();
    moved_ = std::vector<bool>();
    if (!changes_) return;
    try {
        changes_->close();
        changes_.reset();
    } catch (const DbError&) {
        // Changes not all on the disk (a full disk) cannot be kept: the
        // table stays as it was, and the send's goods go again next time.
        changes_.reset();
        drop_sent_changes();
    }
}

void SentRecords::expect(std::uint32_t goods) {
    lookup_.reserve(std::max<size_t>(lookup_.size(), goods));
    // Goods beyond the table's rows have none of their own: each gets a
    // row of changes.
    if (changes_ && goods > lookup_.size()) changes_->reserve(static_cast<std::uint32_t>(goods - lookup_.size()));
}

void keep_sent_changes(Session& s) {
    if (!commit_sent_changes()) return;
    const int remembered = s.areas.current();
    // A leaflet send holds the table, with its index, until the next send.
    const bool held = s.areas.used(kSentRecordsArea);
    if (!held && !open_once(s)) {
        // Written in by the next send, before it reads the table.
        s.areas.select(remembered);
        return;
    }
    with_error_handler(s, [&] {
        dbf::Table& t = s.areas.table(kSentRecordsArea);
        t.clear_indexes();
        const std::uint32_t before = t.record_count();
        const bool written_in = write_in_sent_changes(t);
        index_rows_from(t, before + 1);
        if (written_in) sent_changes_written();
    });
    if (!held) s.areas.close(kSentRecordsArea);
    s.areas.select(remembered);
}

}  // namespace durva
