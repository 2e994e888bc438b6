#include "common/dbf/ntx_build.h"

#include <algorithm>
#include <cstring>

#include "common/dbf/ntx_page.h"
#include "platform/errors.h"

namespace durva::dbf {

namespace {

// Entries carry 8 key bytes at a time as one number, so most comparisons
// never touch the key buffer; only entries still equal after a chunk load
// their next 8 bytes. Keys of goods names share long beginnings, which would
// make whole-key comparisons slow.
class KeySorter {
public:
    struct Entry {
        std::uint64_t chunk;
        std::uint32_t index;
    };

    KeySorter(const unsigned char* keys, size_t key_size) : keys_(keys), ks_(key_size) {}

    void load(Entry* a, size_t n, size_t depth) const {
        for (size_t i = 0; i < n; ++i) a[i].chunk = chunk(a[i].index, depth);
    }

    // Sorts `n` entries whose chunks hold the key bytes from `depth`, by
    // the chunk byte at `shift` and below (most significant first), keeping
    // record order among equals. `tmp` is scratch space of the same size.
    void sort(Entry* a, Entry* tmp, size_t n, size_t depth, int shift) const {
        if (n < 2) return;
        // A pass over 256 buckets costs more than comparing a hundred
        // entries: names that share their beginnings split into many such
        // small groups.
        if (n < 96) {
            std::sort(a, a + n, [](const Entry& x, const Entry& y) {
                return x.chunk != y.chunk ? x.chunk < y.chunk : x.index < y.index;
            });
            for (size_t i = 0; i < n;) {
                size_t j = i + 1;
                while (j < n && a[j].chunk == a[i].chunk) ++j;
                next_chunk(a + i, tmp + i, j - i, depth);
                i = j;
            }
            return;
        }
        std::uint32_t count[256] = {};
        for (size_t i = 0; i < n; ++i) ++count[(a[i].chunk >> shift) & 0xFF];
        std::uint32_t start[256];
        std::uint32_t sum = 0;
        bool one_bucket = false;
        for (int b = 0; b < 256; ++b) {
            start[b] = sum;
            sum += count[b];
            one_bucket |= count[b] == n;
        }
        if (!one_bucket) {
            std::uint32_t at[256];
            std::memcpy(at, start, sizeof at);
            for (size_t i = 0; i < n; ++i) tmp[at[(a[i].chunk >> shift) & 0xFF]++] = a[i];
            std::memcpy(a, tmp, n * sizeof(Entry));
        }
        int last_shift = 8 * (8 - static_cast<int>(std::min<size_t>(8, ks_ - depth)));
        for (int b = 0; b < 256; ++b) {
            if (count[b] < 2) continue;
            Entry* part = a + start[b];
            if (shift > last_shift) sort(part, tmp + start[b], count[b], depth, shift - 8);
            else next_chunk(part, tmp + start[b], count[b], depth);
        }
    }

    // Entries equal over the chunk at `depth` go on with the next 8 bytes.
    void next_chunk(Entry* a, Entry* tmp, size_t n, size_t depth) const {
        if (n < 2 || depth + 8 >= ks_) return;
        load(a, n, depth + 8);
        sort(a, tmp, n, depth + 8, 56);
    }

private:
    std::uint64_t chunk(std::uint32_t index, size_t depth) const {
        return ntx_key_word(keys_ + index * ks_ + depth, std::min<size_t>(8, ks_ - depth));
    }

    const unsigned char* keys_;
    size_t ks_;
};

}  // namespace

std::vector<std::uint32_t> ntx_sort_entries(const unsigned char* keys, size_t key_size, size_t count, bool unique) {
    KeySorter sorter(keys, key_size);
    std::vector<KeySorter::Entry> entries(count);
    for (size_t i = 0; i < count; ++i) entries[i].index = static_cast<std::uint32_t>(i);
    std::vector<KeySorter::Entry> scratch(count);
    sorter.load(entries.data(), count, 0);
    sorter.sort(entries.data(), scratch.data(), count, 0, 56);
    std::vector<std::uint32_t> order;
    order.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        if (unique && i > 0 &&
            std::memcmp(keys + entries[i].index * key_size, keys + entries[i - 1].index * key_size, key_size) == 0)
            continue;
        order.push_back(entries[i].index);
    }
    return order;
}

namespace {

struct Run {
    size_t start, count;
};

// The pages of a level of `k` items: full pages, each followed by the item
// moved up, the last two evened out when the last would be under half full.
void runs_of(size_t k, size_t max, size_t limit, std::vector<Run>& runs) {
    runs.clear();
    size_t pos = 0;
    while (k - pos > max) {
        runs.push_back({pos, max});
        pos += max + 1;
    }
    runs.push_back({pos, k - pos});
    if (runs.size() > 1 && runs.back().count < limit) {
        // Share the keys of the last two pages (and their separator) evenly.
        Run& a = runs[runs.size() - 2];
        Run& b = runs.back();
        size_t total = a.count + b.count;
        a.count = (total + 1) / 2;
        b.start = a.start + a.count + 1;
        b.count = total - a.count;
    }
}

}  // namespace

std::uint64_t ntx_build_pages(NtxHeader header, std::uint64_t count, NtxEntryStream& entries,
                              const NtxPageSink& sink) {
    const NtxLayout layout = NtxLayout::of(header);
    const auto ks = static_cast<size_t>(header.key_size);
    const size_t max = static_cast<size_t>(header.max_items);
    const size_t limit = static_cast<size_t>(header.underflow_limit());

    // Pages go out in batches as they are filled, after the header's place,
    // so that building a large index holds little more than its upper levels.
    constexpr size_t kBatchPages = 64;
    std::vector<unsigned char> batch;
    batch.reserve(kBatchPages * kNtxPageSize);
    std::uint64_t batch_at = kNtxPageSize, end = kNtxPageSize;
    auto put_page = [&](const NtxItemRef* items, size_t n, std::uint32_t right) {
        if (batch.size() == kBatchPages * kNtxPageSize) {
            sink(batch.data(), batch.size(), batch_at);
            batch_at += batch.size();
            batch.clear();
        }
        size_t at = batch.size();
        batch.resize(at + kNtxPageSize);  // zero-filled, as a fresh page is
        NtxPage(batch.data() + at, layout).store(items, static_cast<int>(n), right);
        auto off = static_cast<std::uint32_t>(end);
        end += kNtxPageSize;
        return off;
    };

    // The leaves take their entries from the stream in order; the keys moved
    // up from them are kept (the levels above point into them), and each
    // level above is a list of the items moved up from the one below, about
    // 1/(max + 1) of it. Keys the stream keeps to the end are not copied.
    const bool stay = entries.keys_stay();
    std::vector<unsigned char> leaf_keys(stay ? 0 : max * ks), moved;
    if (!stay) moved.reserve((static_cast<size_t>(count) / (max + 1) + 1) * ks);
    auto pull = [&](unsigned char* into) -> NtxItemRef {
        const unsigned char* key = nullptr;
        std::uint32_t recno = 0;
        if (!entries.next(key, recno)) throw DbError("Budowa indeksu: za malo kluczy", "");
        if (stay) return {0, recno, key};
        std::memcpy(into, key, ks);
        return {0, recno, into};
    };
    std::vector<Run> runs;
    std::vector<NtxItemRef> items, level, upper;
    runs_of(static_cast<size_t>(count), max, limit, runs);
    std::uint32_t last_page = 0;
    for (size_t r = 0; r < runs.size(); ++r) {
        items.clear();
        for (size_t i = 0; i < runs[r].count; ++i) items.push_back(pull(stay ? nullptr : leaf_keys.data() + i * ks));
        last_page = put_page(items.data(), items.size(), 0);
        if (r + 1 < runs.size()) {
            const size_t at = moved.size();
            if (!stay) moved.resize(at + ks);
            NtxItemRef sep = pull(stay ? nullptr : moved.data() + at);
            sep.child = last_page;
            upper.push_back(sep);
        }
    }
    std::uint32_t rightmost = last_page;
    level.swap(upper);

    std::uint32_t root = last_page;
    while (runs.size() > 1) {
        runs_of(level.size(), max, limit, runs);
        upper.clear();
        for (size_t r = 0; r < runs.size(); ++r) {
            const Run& run = runs[r];
            const bool is_last = r + 1 == runs.size();
            std::uint32_t right = is_last ? rightmost : level[run.start + run.count].child;
            last_page = put_page(level.data() + run.start, run.count, right);
            if (!is_last) {
                const NtxItemRef& sep = level[run.start + run.count];
                upper.push_back({last_page, sep.recno, sep.key});
            }
        }
        rightmost = last_page;
        root = last_page;
        level.swap(upper);
    }
    sink(batch.data(), batch.size(), batch_at);

    // The header last: a reader never finds it naming pages not yet written.
    header.prefix.version = 1;
    header.prefix.root = root;
    header.prefix.free_list = 0;
    std::vector<unsigned char> head(kNtxPageSize);
    header.write_page(head.data());
    sink(head.data(), head.size(), 0);
    return end;
}

}  // namespace durva::dbf
