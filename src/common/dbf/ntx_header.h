#pragma once
// Page 0 of an NTX file: the signature word, the update counter, the root and
// free-list offsets, the key and page geometry and the key expression. Every
// value is checked when read, because everything after it (page layout,
// offsets, comparisons) trusts these numbers.
#include <cstdint>
#include <string>

namespace durva::dbf {

inline constexpr std::uint32_t kNtxPageSize = 1024;
// The byte every program locks around index reads (shared) and updates (exclusive).
inline constexpr std::uint64_t kNtxLockOffset = 1'000'000'000;
inline constexpr int kNtxMaxKeySize = 256;

// Signature bits: 0x0006 the normal index, 0x0001 a FOR condition, 0x0010
// the extended lock scheme (it changes only where tables are locked); 0x0003
// alone marks the oldest format.
inline constexpr std::uint16_t kNtxSigNormal = 0x0006;
inline constexpr std::uint16_t kNtxSigFor = 0x0001;
inline constexpr std::uint16_t kNtxSigLockScheme = 0x0010;
inline constexpr std::uint16_t kNtxSigOldFormat = 0x0003;

// The first 12 bytes: what changes on every update and what another
// workstation compares to know whether its cached pages are still good.
struct NtxHeaderPrefix {
    std::uint16_t signature = 6;
    std::uint16_t version = 1;
    std::uint32_t root = 0;
    std::uint32_t free_list = 0;

    static NtxHeaderPrefix read(const unsigned char* bytes);
    void write(unsigned char* bytes) const;
    friend bool operator==(const NtxHeaderPrefix&, const NtxHeaderPrefix&) = default;
};

struct NtxHeader {
    NtxHeaderPrefix prefix;
    int item_size = 0;
    int key_size = 0;
    int key_decimals = 0;
    int max_items = 0;
    int half_page = 0;
    std::string expression;
    bool unique = false;
    bool descending = false;

    // Reads and checks a whole header page; `file_size` bounds the root and
    // free-list offsets. Throws DbError naming `path` for anything a sound
    // index cannot have, and for kinds of index this program cannot keep
    // current (FOR conditions unless read-only, extensions that change what
    // page addresses or the key order mean).
    static NtxHeader parse(const unsigned char* page, std::uint64_t file_size, const std::string& path,
                           bool read_only);
    // Checks a prefix read again from the file under the index lock.
    static void check_prefix(const NtxHeaderPrefix& p, std::uint64_t file_size, const std::string& path);

    // A full header page for a new file: the signature as the prefix holds
    // it, the unique and descending flags, everything else after the
    // expression zero.
    void write_page(unsigned char* page) const;

    // Keys a page holds and the underflow limit, as new indexes are laid out.
    static int max_items_for(int key_size);
    // Fewer keys than this in a page other than the root call for a merge or
    // a redistribution with a sibling.
    int underflow_limit() const;
};

// True when `offset` names a whole page of a file of `file_size` bytes (page
// 0, the header, is never a tree page).
inline bool ntx_page_offset_ok(std::uint64_t offset, std::uint64_t file_size) {
    return offset >= kNtxPageSize && offset % kNtxPageSize == 0 && offset + kNtxPageSize <= file_size;
}

inline std::uint16_t ntx_load16(const unsigned char* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
inline std::uint32_t ntx_load32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
inline void ntx_store16(unsigned char* p, std::uint32_t v) {
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
}
inline void ntx_store32(unsigned char* p, std::uint32_t v) {
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
    p[2] = static_cast<unsigned char>(v >> 16);
    p[3] = static_cast<unsigned char>(v >> 24);
}

}  // namespace durva::dbf
