#include "common/dbf/ntx_sort.h"

#include <algorithm>
#include <cstring>

#include "platform/errors.h"
#include "platform/scratch_file.h"

namespace durva::dbf {

namespace {

// What one share may hold: its keys, and the sort's working entries (about
// 36 bytes a key besides); never fewer keys than the least.
size_t g_share_bytes = 8 << 20;
constexpr size_t kSortBytesPerKey = 36;
constexpr size_t kLeastShare = 1024;
// The scratch file is read back through a buffer of this size for all
// shares together.
constexpr size_t kMergeBytes = 1 << 20;

// A descending index holds the keys from the greatest down, records in
// their order among equal keys, as inserts into it leave them.
void reverse_key_order(std::vector<std::uint32_t>& order, const unsigned char* keys, size_t ks) {
    std::reverse(order.begin(), order.end());
    for (size_t i = 0; i < order.size();) {
        size_t j = i + 1;
        while (j < order.size() && std::memcmp(keys + order[j] * ks, keys + order[i] * ks, ks) == 0) ++j;
        std::reverse(order.begin() + static_cast<std::ptrdiff_t>(i), order.begin() + static_cast<std::ptrdiff_t>(j));
        i = j;
    }
}

// One share held in memory, in its sorted order.
class ShareStream : public NtxEntryStream {
public:
    ShareStream(const std::vector<unsigned char>& keys, const std::vector<std::uint32_t>& order, size_t ks)
        : keys_(keys), order_(order), ks_(ks) {}
    bool next(const unsigned char*& key, std::uint32_t& recno) override {
        if (at_ == order_.size()) return false;
        key = keys_.data() + static_cast<size_t>(order_[at_]) * ks_;
        recno = order_[at_++] + 1;
        return true;
    }
    bool keys_stay() const override { return true; }

private:
    const std::vector<unsigned char>& keys_;
    const std::vector<std::uint32_t>& order_;
    size_t ks_;
    size_t at_ = 0;
};

}  // namespace

// The spilled shares merged: each read through its own part of one buffer,
// the share whose next entry comes first taken each time (a heap of shares).
// Entries are key bytes then the record number (4 bytes) in the file.
class NtxKeySort::Merge : public NtxEntryStream {
public:
    Merge(const platform::ScratchFile& file, const std::vector<std::uint64_t>& starts, std::uint64_t end, size_t ks,
          bool unique, bool descending)
        : file_(file), ks_(ks), es_(ks + 4), unique_(unique), descending_(descending), taken_(ks), last_(ks) {
        const size_t n = starts.size();
        per_buffer_ = std::max<size_t>(1, kMergeBytes / n / es_) * es_;
        buffer_.resize(per_buffer_ * n);
        for (size_t i = 0; i < n; ++i) shares_.push_back({starts[i], i + 1 < n ? starts[i + 1] : end, 0, 0, 0});
        for (size_t i = 0; i < n; ++i)
            if (fill(i)) heap_.push_back(i);
        std::make_heap(heap_.begin(), heap_.end(), later());
    }

    bool next(const unsigned char*& key, std::uint32_t& recno) override {
        for (;;) {
            if (heap_.empty()) return false;
            const size_t i = heap_.front();
            Share& s = shares_[i];
            // Taken out before the share's buffer is read into again.
            const unsigned char* e = head(i);
            std::memcpy(taken_.data(), e, ks_);
            const std::uint32_t r = ntx_load32(e + ks_);
            s.at += es_;
            if (s.at < s.have) take_prefix(i);
            if (s.at == s.have && !fill(i)) {
                std::pop_heap(heap_.begin(), heap_.end(), later());
                heap_.pop_back();
            } else {
                settle_top();
            }
            // Equal keys come in record order: a unique index keeps the first.
            if (unique_ && emitted_ && std::memcmp(taken_.data(), last_.data(), ks_) == 0) continue;
            last_.swap(taken_);
            emitted_ = true;
            key = last_.data();
            recno = r;
            return true;
        }
    }

private:
    struct Share {
        std::uint64_t pos, end;  // the part of the file not yet read
        size_t at, have;         // the buffer: next entry, bytes in it
        // The head's first eight key bytes as a number, most significant
        // first (zeros past a shorter key): most comparisons end there.
        std::uint64_t prefix;
    };
    void take_prefix(size_t i) { shares_[i].prefix = ntx_key_word(head(i), ks_); }
    const unsigned char* head(size_t i) const { return buffer_.data() + i * per_buffer_ + shares_[i].at; }
    // Reads the next part of share i; false when it is all read.
    bool fill(size_t i) {
        Share& s = shares_[i];
        if (s.pos >= s.end) return false;
        const size_t want = static_cast<size_t>(std::min<std::uint64_t>(per_buffer_, s.end - s.pos));
        if (file_.read_at(buffer_.data() + i * per_buffer_, want, s.pos) != want)
            throw DbError("Blad odczytu pliku roboczego", "");
        s.pos += want;
        s.at = 0;
        s.have = want;
        take_prefix(i);
        return true;
    }
    // The heap's order: the share whose head comes later in the index is lower.
    bool comes_after(size_t a, size_t b) const {
        const std::uint64_t pa = shares_[a].prefix, pb = shares_[b].prefix;
        if (pa != pb) return descending_ ? pa < pb : pa > pb;
        const unsigned char* x = head(a);
        const unsigned char* y = head(b);
        int c = std::memcmp(x, y, ks_);
        if (descending_) c = -c;
        if (c != 0) return c > 0;
        return ntx_load32(x + ks_) > ntx_load32(y + ks_);
    }
    // The share at the top of the heap has a new head: down to its place.
    void settle_top() {
        const size_t n = heap_.size();
        const size_t v = heap_[0];
        size_t pos = 0;
        for (;;) {
            size_t c = 2 * pos + 1;
            if (c >= n) break;
            if (c + 1 < n && comes_after(heap_[c], heap_[c + 1])) ++c;
            if (!comes_after(v, heap_[c])) break;
            heap_[pos] = heap_[c];
            pos = c;
        }
        heap_[pos] = v;
    }
    struct Later {
        const Merge* m;
        bool operator()(size_t a, size_t b) const { return m->comes_after(a, b); }
    };
    Later later() const { return Later{this}; }

    const platform::ScratchFile& file_;
    size_t ks_, es_;
    bool unique_, descending_;
    size_t per_buffer_ = 0;
    std::vector<unsigned char> buffer_;
    std::vector<Share> shares_;
    std::vector<unsigned char> taken_, last_;  // the entry taken, the one given last
    std::vector<size_t> heap_;
    bool emitted_ = false;
};

size_t ntx_sort_budget() { return g_share_bytes; }
void set_ntx_sort_budget(size_t bytes) { g_share_bytes = bytes; }

NtxKeySort::NtxKeySort(size_t key_size, bool unique, bool descending, std::uint32_t expected)
    : ks_(key_size),
      unique_(unique),
      descending_(descending),
      per_share_(static_cast<std::uint32_t>(std::max(kLeastShare, g_share_bytes / (key_size + kSortBytesPerKey)))) {
    keys_.reserve(static_cast<size_t>(std::min(expected, per_share_)) * ks_);
}

NtxKeySort::~NtxKeySort() = default;

void NtxKeySort::add(const unsigned char* key) {
    if (keys_.size() == static_cast<size_t>(per_share_) * ks_) spill_share();
    keys_.insert(keys_.end(), key, key + ks_);
    ++added_;
}

void NtxKeySort::sort_share() {
    const size_t n = keys_.size() / ks_;
    order_ = ntx_sort_entries(keys_.data(), ks_, n, unique_);
    if (descending_) reverse_key_order(order_, keys_.data(), ks_);
}

// The share gathered so far, sorted, to the scratch file.
void NtxKeySort::spill_share() {
    if (!scratch_) scratch_ = std::make_unique<platform::ScratchFile>();
    sort_share();
    const std::uint32_t first = added_ - static_cast<std::uint32_t>(keys_.size() / ks_);
    const size_t es = ks_ + 4;
    std::vector<unsigned char> out(order_.size() * es);
    for (size_t i = 0; i < order_.size(); ++i) {
        std::memcpy(out.data() + i * es, keys_.data() + static_cast<size_t>(order_[i]) * ks_, ks_);
        ntx_store32(out.data() + i * es + ks_, first + order_[i] + 1);
    }
    runs_.push_back(scratch_end_);
    scratch_->write_at(out.data(), out.size(), scratch_end_);
    scratch_end_ += out.size();
    keys_.clear();
    order_.clear();
}

std::uint64_t NtxKeySort::count() {
    if (counted_) return count_;
    counted_ = true;
    if (!scratch_) {
        sort_share();
        return count_ = order_.size();
    }
    if (!keys_.empty()) spill_share();
    if (!unique_) return count_ = added_;
    // The keys a unique index keeps are known only once the shares are merged.
    Merge m(*scratch_, runs_, scratch_end_, ks_, true, descending_);
    const unsigned char* key;
    std::uint32_t recno;
    while (m.next(key, recno)) ++count_;
    return count_;
}

NtxEntryStream& NtxKeySort::entries() {
    count();
    if (!scratch_) stream_ = std::make_unique<ShareStream>(keys_, order_, ks_);
    else stream_ = std::make_unique<Merge>(*scratch_, runs_, scratch_end_, ks_, unique_, descending_);
    return *stream_;
}

}  // namespace durva::dbf
