#include "send/sorted_copy.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <memory>
#include <vector>

#include "common/_fun3.h"
#include "common/dbf/dbf_file.h"
#include "common/dbf/field_codec.h"
#include "common/dbf/key_expr.h"
#include "common/dbf/ntx_build.h"
#include "common/dbf/ntx_header.h"
#include "common/dirmake.h"
#include "common/error_handler.h"
#include "common/record_pipe.h"
#include "platform/errors.h"
#include "platform/file.h"
#include "platform/path_resolver.h"
#include "send/name_cleaning.h"

namespace durva {
namespace {

size_t g_sort_run_bytes = kSortRunBytes;

// What a run's reader holds at most while the runs are merged.
constexpr size_t kMergeBytes = 32 * 1024;
// What the copies are written in: a new file's cache is filled in large
// pieces for writes of this size, each far cheaper than as pages. (With the
// copies' room on the disk not taken beforehand, a send of a million goods
// writing both in such pieces took half as long again.)
constexpr size_t kWritePieceBytes = 256 * 1024;
// The pieces the goods in order are handed to the walk in: the walk's, the
// one before (whose last good it may still look at), one being made and one
// more, so that the thread seldom waits for the walk.
constexpr int kWalkPieces = 4;
constexpr size_t kWalkPieceBytes = 128 * 1024;
// The goods read from the goods table at a time.
constexpr size_t kReadGoods = 256;

// The order of the copy: its key expression and the key size an index of it
// would have (the value on a blank record, as an index file fixes it). A key
// of character fields is their bytes one after another, and is taken so,
// without the expression worked out for every good.
struct SortKey {
    SortKey(std::string_view expression, const dbf::FieldList& fields, int record_length, const std::string& copy)
        : expr(compiled(expression, fields, copy)) {
        const std::string blank(static_cast<size_t>(record_length), ' ');
        size = static_cast<int>(std::min<size_t>(expr.eval(blank).s.size(), dbf::kNtxMaxKeySize));
    }
    // The key's pieces, when each is the first `length` bytes of a character field.
    void take_fields(std::initializer_list<std::pair<std::string_view, int>> wanted, const dbf::FieldList& fields) {
        std::vector<Piece> found;
        size_t total = 0;
        for (const auto& [name, most] : wanted) {
            const auto f = std::find_if(fields.begin(), fields.end(), [&](const dbf::FieldDesc& d) { return d.name == name; });
            if (f == fields.end() || f->type != 'C') return;
            found.push_back({static_cast<size_t>(f->offset), static_cast<size_t>(std::min(f->length, most))});
            total += found.back().length;
        }
        if (total == static_cast<size_t>(size)) this->pieces = std::move(found);
    }
    // The key's `size` bytes written at `out`; `scratch` holds a key worked
    // out from the expression on the way.
    void put(std::string_view record, unsigned char* out, std::string& scratch) const {
        if (pieces.empty()) {
            expr.eval_key_to(record, size, 0, scratch);
            std::memcpy(out, scratch.data(), static_cast<size_t>(size));
            return;
        }
        for (const Piece& p : pieces) {
            std::memcpy(out, record.data() + p.offset, p.length);
            out += p.length;
        }
    }

    // A goods table without the fields of the order cannot be sorted: said
    // as an index of the copy would say it.
    static dbf::KeyExpr compiled(std::string_view expression, const dbf::FieldList& fields, const std::string& copy) {
        try {
            return dbf::KeyExpr::compile(expression, fields);
        } catch (const dbf::KeyExprError& e) {
            throw DbError(std::string("Nie mozna obliczyc klucza indeksu: ") + e.what(), copy);
        }
    }

    struct Piece {
        size_t offset, length;
    };
    dbf::KeyExpr expr;
    int size = 0;
    std::vector<Piece> pieces;
};

// A stretch of the copy sorted in itself.
struct Run {
    std::uint32_t first = 0;  // record number in the copy
    std::uint32_t count = 0;
};

// The records of one run of the copy, read in pieces while the merge goes on.
class RunReader {
public:
    RunReader(dbf::DbfFile& copy, const Run& run, size_t bytes)
        : copy_(copy), rl_(static_cast<size_t>(copy.record_length())), next_(run.first), left_(run.count) {
        buf_.resize(std::max<size_t>(1, bytes / rl_) * rl_);
        fill();
    }
    bool done() const { return at_ >= held_; }
    std::string_view record() const { return {buf_.data() + at_ * rl_, rl_}; }
    void advance() {
        if (++at_ >= held_) fill();
    }

private:
    void fill() {
        at_ = held_ = 0;
        if (left_ == 0) return;
        const auto want = static_cast<std::uint32_t>(std::min<size_t>(left_, buf_.size() / rl_));
        if (copy_.read_run(next_, want, buf_.data()) != want) throw DbError("Blad odczytu tabeli", copy_.path());
        next_ += want;
        left_ -= want;
        held_ = want;
    }

    dbf::DbfFile& copy_;
    size_t rl_;
    std::uint32_t next_, left_;
    std::vector<char> buf_;
    size_t held_ = 0, at_ = 0;
};

// The runs of the copy merged: the smallest key first; of equal keys the one
// of the earlier run, whose records come earlier in the copy, as a sort of
// the whole copy would order them. The readers share what one run took, so
// that more runs do not take more memory, and what they hold stays in the
// processor's cache while the merge goes from one to the other. Which run
// goes next is kept in a tree that holds at each node the run that lost
// there: the run that gave the last record plays its way up against one run
// per level. Each run's key lies beside the others' as numbers of eight
// bytes each, most significant first, so that the comparisons of a record
// stay in a small stretch of memory and take a few of those numbers each.
class Merge {
public:
    Merge(dbf::DbfFile& copy, const SortKey& key, const std::vector<Run>& runs)
        : key_(key), words_((static_cast<size_t>(key.size) + 7) / 8), bytes_(words_ * 8, '\0') {
        const size_t rl = static_cast<size_t>(copy.record_length());
        const size_t bytes = std::clamp(g_sort_run_bytes / std::max<size_t>(runs.size(), 1), rl, std::max(rl, kMergeBytes));
        readers_.reserve(runs.size());
        for (const Run& r : runs) readers_.emplace_back(copy, r, bytes);
        keys_.assign(runs.size() * words_, 0);
        for (size_t i = 0; i < readers_.size(); ++i) take_key(static_cast<int>(i));
        while (leaves_ < readers_.size()) leaves_ *= 2;
        // Each node's winner, played from the leaves up; the loser stays there.
        std::vector<int> winner(2 * leaves_, kNoRun);
        loser_.assign(leaves_, kNoRun);
        for (size_t i = 0; i < readers_.size(); ++i) winner[leaves_ + i] = static_cast<int>(i);
        for (size_t n = leaves_ - 1; n >= 1; --n) {
            const int a = winner[2 * n], b = winner[2 * n + 1];
            const bool a_wins = before(a, b);
            winner[n] = a_wins ? a : b;
            loser_[n] = a_wins ? b : a;
        }
        first_ = winner[1];
    }
    // The next record in order; empty after the last.
    std::string_view next() {
        int w = first_;
        if (started_ && w != kNoRun) {
            reader(w).advance();
            take_key(w);
            for (size_t n = (leaves_ + static_cast<size_t>(w)) / 2; n >= 1; n /= 2)
                if (before(loser_[n], w)) std::swap(loser_[n], w);
            first_ = w;
        }
        started_ = true;
        if (w == kNoRun || reader(w).done()) return {};
        return reader(w).record();
    }

private:
    static constexpr int kNoRun = -1;
    RunReader& reader(int i) { return readers_[static_cast<size_t>(i)]; }
    std::uint64_t* key_of(int run) { return keys_.data() + static_cast<size_t>(run) * words_; }
    // The key of the run's record as numbers, the last filled out with
    // zeros; none for a run with no record left.
    void take_key(int run) {
        if (reader(run).done()) return;
        key_.put(reader(run).record(), reinterpret_cast<unsigned char*>(bytes_.data()), scratch_);
        std::uint64_t* to = key_of(run);
        for (size_t i = 0; i < words_; ++i) {
            std::uint64_t v;
            std::memcpy(&v, bytes_.data() + i * 8, 8);
            to[i] = std::endian::native == std::endian::little ? __builtin_bswap64(v) : v;
        }
    }
    // Run a's record goes before run b's; a run with none left goes last.
    bool before(int a, int b) {
        if (a == kNoRun || reader(a).done()) return false;
        if (b == kNoRun || reader(b).done()) return true;
        const std::uint64_t *x = key_of(a), *y = key_of(b);
        for (size_t i = 0; i < words_; ++i)
            if (x[i] != y[i]) return x[i] < y[i];
        return a < b;
    }

    const SortKey& key_;
    size_t words_;
    std::string bytes_, scratch_;  // a key as bytes, and one worked out from the expression
    std::vector<RunReader> readers_;
    std::vector<std::uint64_t> keys_;  // words_ per run
    size_t leaves_ = 1;
    std::vector<int> loser_;  // by node, 1 to leaves_ - 1
    int first_ = kNoRun;
    bool started_ = false;
};

}  // namespace

// Where the goods come from in order: the one run held whole, or the runs
// of the copy merged.
struct SortedGoods::Source {
    Source(SortKey k) : key(std::move(k)) {}

    std::string_view next() {
        if (merge) return merge->next();
        if (at == order.size()) return {};
        return {records.data() + order[at++] * rl, rl};
    }
    // The goods in order put at `into`, at most `room` of them; fewer when
    // there are no more.
    std::uint32_t gather(char* into, std::uint32_t room) {
        std::uint32_t n = 0;
        for (; n < room; ++n) {
            const std::string_view record = next();
            if (record.empty()) break;
            std::memcpy(into + n * rl, record.data(), rl);
        }
        return n;
    }

    // Once the thread has ended: the merge let go, both copies complete.
    void close_files() {
        merge.reset();
        if (copy) copy->close();
        sorted->close();
    }

    SortKey key;
    size_t rl = 0;
    std::unique_ptr<dbf::DbfFile> copy, sorted;
    std::vector<char> records;
    std::vector<std::uint32_t> order;
    size_t at = 0;
    std::unique_ptr<Merge> merge;
    // Last, so that its thread ends before what it uses goes.
    std::unique_ptr<RecordPipe> pipe;
};

namespace {

// rob\as_NN: every good that is not deleted, with the cleaned name the
// register will get (the goods table itself keeps its names), read straight
// through the goods file in runs. The goods are gathered a megabyte at a
// time and each such run is written to the copy sorted in itself, equal keys
// in the goods' order; the last run stays in memory with its order, which
// is all there is to walk when it is the only one. Returns the runs.
std::vector<Run> copy_goods(SendRun& run, dbf::Table& goods, SortedGoods::Source& into) {
    // A change of this station's still waiting in the goods table goes to
    // the file first, so that the copy has it.
    goods.commit();
    const bool hide_deleted = run.s.areas.settings.deleted_hidden;
    dbf::DbfFile& in = goods.dbf();
    dbf::DbfFile& copy = *into.copy;
    const int nazwa = goods.field_pos("NAZWA");
    const dbf::FieldDesc* name = nazwa > 0 ? &goods.fields()[static_cast<size_t>(nazwa - 1)] : nullptr;
    const size_t rl = into.rl, ks = static_cast<size_t>(into.key.size);
    const size_t per_run = std::max<size_t>(1, g_sort_run_bytes / (ks + rl));
    const std::uint32_t total = in.record_count();
    const size_t room = std::min<size_t>(per_run, total);
    // The run's keys and records, in the same order; the goods are read
    // straight into their place, and the deleted ones closed over.
    std::vector<unsigned char> keys(room * ks);
    std::vector<char>& records = into.records;
    records.resize(room * rl);
    size_t held = 0;
    std::vector<Run> runs;
    std::string scratch;

    // The run goes to the copy in its order a piece at a time, gathered
    // here rather than in a second run's worth of memory.
    std::vector<char> piece(std::max<size_t>(1, kWritePieceBytes / rl) * rl);
    auto write_run = [&] {
        if (held == 0) return;
        into.order = dbf::ntx_sort_entries(keys.data(), ks, held, false);
        const size_t per_piece = piece.size() / rl;
        std::uint32_t first = 0;
        for (size_t at = 0; at < held; at += per_piece) {
            const size_t n = std::min(per_piece, held - at);
            for (size_t i = 0; i < n; ++i) std::memcpy(piece.data() + i * rl, records.data() + into.order[at + i] * rl, rl);
            const std::uint32_t written = copy.append_records(piece.data(), static_cast<std::uint32_t>(n));
            if (at == 0) first = written;
        }
        runs.push_back(Run{first, static_cast<std::uint32_t>(held)});
    };

    for (std::uint32_t r = 1; r <= total;) {
        if (held == room) {
            write_run();
            held = 0;
        }
        // A few hundred at a time, so that the goods read are still in the
        // processor's cache when their names are cleaned and keys taken.
        const auto want = static_cast<std::uint32_t>(std::min<size_t>({room - held, total - r + 1, kReadGoods}));
        const std::uint32_t got = in.read_records(r, want, records.data() + held * rl);
        if (got == 0) break;  // the file was cut meanwhile
        r += got;
        const size_t from = held;
        for (std::uint32_t i = 0; i < got; ++i) {
            char* bytes = records.data() + (from + i) * rl;
            if (hide_deleted && dbf::DbfFile::is_deleted(std::string_view(bytes, rl))) continue;
            char* kept = records.data() + held * rl;
            if (kept != bytes) std::memmove(kept, bytes, rl);
            if (name) clean_name_field(kept + name->offset, static_cast<size_t>(name->length), run.plu.keep_national_letters);
            into.key.put(std::string_view(kept, rl), keys.data() + held * ks, scratch);
            ++held;
        }
    }
    write_run();
    return runs;
}

}  // namespace

size_t sort_run_bytes() { return g_sort_run_bytes; }
void set_sort_run_bytes(size_t bytes) { g_sort_run_bytes = bytes; }

SortedGoods::SortedGoods(SendRun& run) {
    Session& s = run.s;
    auto& areas = s.areas;
    const std::string station = STR2(s.values.STACJA);
    const std::string copy_name = "rob\\as_" + station, sorted_name = "rob\\ass" + station;
    DIRMAKE("rob");
    with_error_handler(s, [&] {
        source_.reset();
        dbf::Table& goods = areas.table(kGoodsArea);
        const dbf::FieldList& fields = goods.fields();
        const bool long_form = run.plu.long_form;
        SortKey key(long_form ? "nazwa+mag+indeks" : "SUBSTR(nazwa,1,17)+mag+indeks", fields,
                    goods.dbf().record_length(), platform::resolve_path(copy_name + ".dbf"));
        key.take_fields({{"NAZWA", long_form ? 65535 : 17}, {"MAG", 65535}, {"INDEKS", 65535}}, fields);
        auto source = std::make_unique<Source>(std::move(key));
        source->rl = static_cast<size_t>(goods.dbf().record_length());
        // An index of the copy that earlier sends made: nothing reads the
        // copy in its order, and an index not kept with it would be wrong.
        if (FILE_X(copy_name + ".ntx")) platform::remove_file(platform::resolve_path(copy_name + ".ntx"));
        // Both are written over the last send's files in place (see DbfFile::create).
        source->copy = dbf::DbfFile::create(copy_name + ".dbf", fields, &s.clock, true);
        source->sorted = dbf::DbfFile::create(sorted_name + ".dbf", fields, &s.clock, true);
        // Their room on the disk at once: filled afresh, they are written
        // far more cheaply so.
        const std::uint32_t goods_count = goods.dbf().record_count();
        source->copy->reserve_records(goods_count);
        source->sorted->reserve_records(goods_count);
        const std::vector<Run> runs = copy_goods(run, goods, *source);
        source->copy->close();
        count_ = 0;
        for (const Run& r : runs) count_ += r.count;
        if (runs.size() > 1) {
            // Let go (assigning {} would keep their memory).
            source->records = std::vector<char>();
            source->order = std::vector<std::uint32_t>();
            // The copy is this station's own and nobody else's: held
            // exclusively and read in runs straight from the file, without
            // a cache of its records or a look at its size for every read.
            source->copy = dbf::DbfFile::open(copy_name + ".dbf", platform::Share::Exclusive, true, &s.clock);
            source->merge = std::make_unique<Merge>(*source->copy, source->key, runs);
        }
        // The goods are put in order and written to the sorted copy by a
        // thread of their own, a piece ahead of the walk.
        Source& from = *source;
        from.pipe = std::make_unique<RecordPipe>(from.rl, kWalkPieceBytes, kWalkPieces);
        from.pipe->start([&from](char* into, std::uint32_t room) { return from.gather(into, room); },
                         [&from](const char* records, std::uint32_t n) { from.sorted->append_records(records, n); });
        source_ = std::move(source);
    });
}

SortedGoods::~SortedGoods() {
    if (!source_) return;
    try {
        // A walk given up: the goods not put in order yet are left out.
        source_->pipe.reset();
        source_->close_files();
    } catch (const DbError&) {
        // A send that failed has said why already; its scratch copies are no one's.
    }
}

std::string_view SortedGoods::next() {
    if (!source_) return {};
    const std::string_view record = source_->pipe->next();
    if (!record.empty()) ++position_;
    return record;
}

void SortedGoods::close() {
    if (!source_) return;
    std::unique_ptr<Source> source = std::move(source_);
    source->pipe->finish();
    source->close_files();
}

}  // namespace durva
