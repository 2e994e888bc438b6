#pragma once
// The keys of a whole index build put in index order within a fixed memory:
// gathered in record order a share at a time, each share sorted by key and
// then record number; when there is more than one share, each is written to
// a scratch file and the shares are merged. Equal keys stay in record order,
// a unique index keeps the first record of each key, a descending index
// takes the keys from the greatest down.
#include <cstdint>
#include <memory>
#include <vector>

#include "common/dbf/ntx_build.h"

namespace durva::platform {
class ScratchFile;
}

namespace durva::dbf {

// What the keys of one share and their sorting may take; tests make it tiny
// to have many shares.
size_t ntx_sort_budget();
void set_ntx_sort_budget(size_t bytes);

class NtxKeySort {
public:
    // `expected`: how many keys will come (room is made for them, up to a share).
    NtxKeySort(size_t key_size, bool unique, bool descending, std::uint32_t expected);
    ~NtxKeySort();
    NtxKeySort(const NtxKeySort&) = delete;
    NtxKeySort& operator=(const NtxKeySort&) = delete;

    // The key of the next record (record numbers 1, 2, ... in the order given).
    void add(const unsigned char* key);
    // After the last add(): how many entries the index gets.
    std::uint64_t count();
    // After the last add(), once: the entries in index order.
    NtxEntryStream& entries();

private:
    class Merge;
    void sort_share();
    void spill_share();

    size_t ks_;
    bool unique_, descending_;
    std::uint32_t per_share_;
    std::uint32_t added_ = 0;
    std::vector<unsigned char> keys_;    // the share being gathered
    std::vector<std::uint32_t> order_;   // its sorted order, once sorted
    std::unique_ptr<platform::ScratchFile> scratch_;
    std::vector<std::uint64_t> runs_;    // where each spilled share starts (its end is the next one's start)
    std::uint64_t scratch_end_ = 0;
    std::unique_ptr<NtxEntryStream> stream_;
    std::uint64_t count_ = 0;
    bool counted_ = false;
};

}  // namespace durva::dbf
