#pragma once
// Building a whole index at once: the keys sorted by key and then record
// number, leaves filled with the page maximum, every (max + 1)-th key moved
// up a level, the last page of a level evened out with its left neighbour
// when it would be less than half full.
#include <bit>
#include <cstdint>
#include <cstring>
#include <functional>
#include <vector>

#include "common/dbf/ntx_header.h"

namespace durva::dbf {

// Orders entries 0..count-1 (key i at keys + i * key_size, record i + 1) by
// key bytes and then record number; a unique index keeps only the first
// entry of each key.
std::vector<std::uint32_t> ntx_sort_entries(const unsigned char* keys, size_t key_size, size_t count, bool unique);

// Up to eight key bytes from `k` (`len` of them, zeros after) as a number,
// the first byte most significant: keys compared a word at a time.
inline std::uint64_t ntx_key_word(const unsigned char* k, size_t len) {
    std::uint64_t v = 0;
    if (len >= 8 && std::endian::native == std::endian::little) {
        std::memcpy(&v, k, 8);
        return __builtin_bswap64(v);
    }
    for (size_t b = 0; b < 8; ++b) v = v << 8 | (b < len ? k[b] : 0);
    return v;
}

// The entries of a build in index order, one at a time.
class NtxEntryStream {
public:
    virtual ~NtxEntryStream() = default;
    // The next entry, false after the last. The key stays valid until the
    // next call, or to the end of the build when keys_stay().
    virtual bool next(const unsigned char*& key, std::uint32_t& recno) = 0;
    virtual bool keys_stay() const { return false; }
};

// Receives `len` bytes of whole pages to be written at `offset`.
using NtxPageSink = std::function<void(const unsigned char* bytes, size_t len, std::uint64_t offset)>;

// The complete file for the `count` entries `entries` gives, handed out in
// pieces as it is built: the tree pages in file order, the header page
// last. The header gives the geometry and expression; its root, free list
// and version are set here (version 1, no free pages). Returns the size of
// the file. Holds the keys of one leaf and those moved up from the leaves.
std::uint64_t ntx_build_pages(NtxHeader header, std::uint64_t count, NtxEntryStream& entries,
                              const NtxPageSink& sink);

}  // namespace durva::dbf
