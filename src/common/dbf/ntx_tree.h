#pragma once
// The B-tree of an NTX file: positions as paths from the root, moving forward
// and backward, seeking, and the insert and delete rules the other programs
// use (new keys after their equals, splits that keep the original page as the
// right half, predecessor swaps, merges and redistributions below half a
// page, root collapse, freed pages onto the free list).
//
// Every call runs inside one pager scope (read or write) that the caller holds.
#include <cstdint>
#include <string>
#include <vector>

#include "common/dbf/ntx_pager.h"

namespace durva::dbf {

// A tree deeper than this cannot come from a sound file; it means the pages
// point in a circle.
inline constexpr int kNtxMaxDepth = 64;

struct NtxFrame {
    std::uint32_t page = 0;
    int pos = 0;  // last frame: the current key; above it: the child gone into
    unsigned char* bytes = nullptr;
};

// A position in the tree. Valid while the pager's generation is unchanged
// and no update has run.
struct NtxPath {
    std::vector<NtxFrame> frames;
    bool valid() const { return !frames.empty(); }
};

class NtxTree {
public:
    explicit NtxTree(NtxPager& pager);

    // Each positions `path` and returns false when there is no such entry.
    bool first(NtxPath& path);
    bool last(NtxPath& path);
    // The first entry whose key, compared over `len` bytes, is not less than `key`.
    bool lower_bound(NtxPath& path, const unsigned char* key, size_t len);
    // The first entry whose whole key is greater than `key`.
    bool upper_bound(NtxPath& path, const unsigned char* key);
    // Down to a leaf, to the place just after every key not greater than
    // `key`: where upper_bound starts and where an insert goes.
    void descend_past(NtxPath& path, const unsigned char* key);
    // The entry (key, recno) itself; equal keys are scanned until the record matches.
    bool find(NtxPath& path, const unsigned char* key, std::uint32_t recno);
    bool next(NtxPath& path);
    bool prev(NtxPath& path);

    const unsigned char* key_at(const NtxPath& path) const;
    std::uint32_t recno_at(const NtxPath& path) const;

    // Updates (inside a write scope). insert does nothing in a unique index
    // that already holds the key.
    void insert(const unsigned char* key, std::uint32_t recno);
    bool remove(const unsigned char* key, std::uint32_t recno);

    std::uint64_t count();
    // The first fault found, or empty: page structure, leaf depth, key
    // order, record numbers within 1..record_count, the free list.
    std::string verify(std::uint32_t record_count);

private:
    void descend(NtxPath& path, const unsigned char* key, size_t len, bool past);
    int compare(const unsigned char* a, const unsigned char* b, size_t n) const;
    NtxPage view(const NtxFrame& f) const { return NtxPage(f.bytes, pager_.layout()); }
    NtxFrame& push(NtxPath& path, std::uint32_t page, int pos);
    void descend_leftmost(NtxPath& path, std::uint32_t page);
    void descend_rightmost(NtxPath& path, std::uint32_t page);
    bool settle_forward(NtxPath& path);
    bool settle_backward(NtxPath& path);
    void insert_upward(NtxPath& path, size_t level, int pos, std::uint32_t child, std::uint32_t recno,
                       const unsigned char* key);
    void rebalance(NtxPath& path);

    NtxPager& pager_;
    bool descending_;
    size_t key_size_;
    // Working storage kept from one update to the next, so that an update
    // allocates nothing once these have grown.
    NtxPath work_;                        // the path of the update in progress
    std::vector<unsigned char> scratch_;  // items copied out for splits and merges
    std::vector<unsigned char> carry_;    // the key moving up out of a split
    std::vector<unsigned char> left_items_, right_items_, sep_key_;
    std::vector<NtxItemRef> refs_;
};

}  // namespace durva::dbf
