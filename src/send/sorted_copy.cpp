#include "send/sorted_copy.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <queue>
#include <vector>

#include "common/_fun3.h"
#include "common/dbf/dbf_file.h"
#include "common/dbf/field_codec.h"
#include "common/dbf/ntx_index.h"
#include "common/dirmake.h"
#include "common/error_handler.h"
#include "platform/errors.h"
#include "platform/path_resolver.h"
#include "send/name_cleaning.h"

namespace durva {
namespace {

// Records of a table read in runs, one run in memory at a time: a pass over
// a large table in record order, one read per run.
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

size_t g_sort_run_bytes = kSortRunBytes;

// What a run's reader holds at most while the runs are merged.
constexpr size_t kMergeBytes = 32 * 1024;

// A sorted run in the temporary file: entries of key and record, in order.
struct Run {
    std::uint64_t offset = 0;  // of its first entry
    std::uint32_t count = 0;
};

// The entries of one run, read in pieces while the merge goes on.
class RunReader {
public:
    RunReader(std::FILE* file, const Run& run, size_t entry, size_t bytes)
        : file_(file), entry_(entry), next_(run.offset), left_(run.count) {
        buf_.resize(std::max<size_t>(1, bytes / entry) * entry);
    }
    // Reads the first piece.
    void start() { fill(); }
    // The current entry; empty when the run is done.
    std::string_view current() const {
        return at_ < held_ ? std::string_view(buf_.data() + at_ * entry_, entry_) : std::string_view();
    }
    void advance() {
        if (++at_ < held_) return;
        fill();
    }

private:
    std::FILE* file_;
    size_t entry_;
    std::uint64_t next_;
    std::uint32_t left_;
    std::vector<char> buf_;
    size_t held_ = 0, at_ = 0;

    void fill() {
        at_ = held_ = 0;
        if (left_ == 0) return;
        const size_t n = std::min<size_t>(left_, buf_.size() / entry_);
        if (std::fseek(file_, static_cast<long>(next_), SEEK_SET) != 0 || std::fread(buf_.data(), entry_, n, file_) != n)
            throw DbError("Blad odczytu pliku roboczego sortowania", "", errno);
        next_ += n * entry_;
        left_ -= static_cast<std::uint32_t>(n);
        held_ = n;
    }
};

// Writes the records of the copy into `out` in the order of `index`: keys
// compared byte by byte, equal keys in record order, as the index has them.
void write_in_key_order(dbf::DbfFile& copy, const dbf::NtxIndex& index, dbf::DbfFile& out) {
    const size_t rl = static_cast<size_t>(copy.record_length());
    const size_t ks = static_cast<size_t>(index.key_size());
    const size_t entry = ks + rl;
    const std::uint32_t per_run = static_cast<std::uint32_t>(std::max<size_t>(1, g_sort_run_bytes / entry));
    const std::uint32_t total = copy.record_count();

    std::vector<char> buf(static_cast<size_t>(std::min(per_run, std::max<std::uint32_t>(total, 1))) * entry);
    std::vector<std::uint32_t> order;
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> temp(nullptr, &std::fclose);
    std::vector<Run> runs;
    std::string key;
    RecordRuns records(copy);
    std::uint32_t r = 1;
    while (r <= total) {
        // One run: entries of key and record, sorted by key and then by
        // their place in the copy.
        std::uint32_t n = 0;
        for (; n < per_run && r <= total; ++n, ++r) {
            const std::string_view rec = records.record(r);
            if (rec.empty()) throw DbError("Blad odczytu tabeli", copy.path());
            index.key_of(rec, key);
            char* e = buf.data() + n * entry;
            std::memcpy(e, key.data(), ks);
            std::memcpy(e + ks, rec.data(), rl);
        }
        order.resize(n);
        for (std::uint32_t i = 0; i < n; ++i) order[i] = i;
        std::stable_sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
            return std::memcmp(buf.data() + a * entry, buf.data() + b * entry, ks) < 0;
        });
        if (runs.empty() && r > total) {
            // All of it in one run: straight into the sorted copy.
            for (std::uint32_t i : order) out.append_record(buf.data() + i * entry + ks);
            return;
        }
        if (!temp) {
            temp.reset(std::tmpfile());
            if (!temp) throw DbError("Nie moge utworzyc pliku roboczego sortowania", "", errno);
        }
        Run run{runs.empty() ? 0 : runs.back().offset + std::uint64_t{runs.back().count} * entry, n};
        for (std::uint32_t i : order)
            if (std::fwrite(buf.data() + i * entry, entry, 1, temp.get()) != 1)
                throw DbError("Blad zapisu pliku roboczego sortowania", "", errno);
        runs.push_back(run);
    }
    if (runs.empty()) return;
    if (std::fflush(temp.get()) != 0) throw DbError("Blad zapisu pliku roboczego sortowania", "", errno);
    buf.clear();
    buf.shrink_to_fit();

    // The merge: the smallest key first; of equal keys the one of the earlier
    // run, whose records come earlier in the copy. The readers share what
    // one run took, so that more runs do not take more memory.
    const size_t reader_bytes = std::clamp(g_sort_run_bytes / runs.size(), entry, std::max(entry, kMergeBytes));
    std::vector<RunReader> readers;
    readers.reserve(runs.size());
    for (const Run& run : runs) {
        readers.emplace_back(temp.get(), run, entry, reader_bytes);
        readers.back().start();
    }
    auto later = [&](size_t a, size_t b) {
        const int c = std::memcmp(readers[a].current().data(), readers[b].current().data(), ks);
        return c != 0 ? c > 0 : a > b;
    };
    std::priority_queue<size_t, std::vector<size_t>, decltype(later)> next(later);
    for (size_t i = 0; i < readers.size(); ++i)
        if (!readers[i].current().empty()) next.push(i);
    while (!next.empty()) {
        const size_t i = next.top();
        next.pop();
        out.append_record(readers[i].current().data() + ks);
        readers[i].advance();
        if (!readers[i].current().empty()) next.push(i);
    }
}

}  // namespace

size_t sort_run_bytes() { return g_sort_run_bytes; }
void set_sort_run_bytes(size_t bytes) { g_sort_run_bytes = bytes; }

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

        // The copy is this station's own and nobody else's: read in runs,
        // without a cache of its records.
        auto as_ = dbf::DbfFile::open(copy + ".dbf", platform::Share::Shared, true, &s.clock);
        RecordRuns runs(*as_);
        auto index = dbf::NtxIndex::create(
            platform::resolve_path(copy + ".ntx"),
            run.plu.long_form ? "nazwa+mag+indeks" : "SUBSTR(nazwa,1,17)+mag+indeks", as_->fields(),
            as_->record_count(), [&](std::uint32_t r) { return runs.record(r); }, platform::Share::Exclusive);
        auto out = dbf::DbfFile::create(sorted + ".dbf", as_->fields(), &s.clock);
        write_in_key_order(*as_, *index, *out);
        out->close();
        index->flush();
        index.reset();
        as_->close();

        areas.select(kSortedCopyArea);
        areas.use(sorted, "ass", platform::Share::Exclusive).go_top();
    });
}

}  // namespace durva
