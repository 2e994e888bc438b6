#include "common/dbf/ntx_header.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "platform/errors.h"

namespace durva::dbf {

namespace {

// Every signature bit but the normal ones (ntx_header.h) is an extension some
// writers add that changes what page addresses or the key order mean, so
// such a file is refused.
constexpr std::uint16_t kSigNormal = kNtxSigNormal;
constexpr std::uint16_t kSigFor = kNtxSigFor;
constexpr std::uint16_t kSigLockScheme = kNtxSigLockScheme;
constexpr std::uint16_t kSigOldFormat = kNtxSigOldFormat;

[[noreturn]] void damaged(const std::string& what, const std::string& path) {
    throw DbError("Uszkodzony naglowek indeksu (" + what + ")", path);
}

std::string hex4(unsigned v) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%04X", v & 0xFFFF);
    return buf;
}

}  // namespace

NtxHeaderPrefix NtxHeaderPrefix::read(const unsigned char* b) {
    return {ntx_load16(b), ntx_load16(b + 2), ntx_load32(b + 4), ntx_load32(b + 8)};
}

void NtxHeaderPrefix::write(unsigned char* b) const {
    ntx_store16(b, signature);
    ntx_store16(b + 2, version);
    ntx_store32(b + 4, root);
    ntx_store32(b + 8, free_list);
}

int NtxHeader::max_items_for(int key_size) {
    int m = 1022 / (key_size + 10) - 1;
    if (m % 2 == 1 && m > 2) --m;
    return m;
}

int NtxHeader::underflow_limit() const {
    int limit = max_items / 2;
    return half_page >= 1 && half_page < limit ? half_page : limit;
}

void NtxHeader::check_prefix(const NtxHeaderPrefix& p, std::uint64_t file_size, const std::string& path) {
    if (!ntx_page_offset_ok(p.root, file_size)) damaged("strona glowna poza plikiem", path);
    if (p.free_list != 0 && !ntx_page_offset_ok(p.free_list, file_size))
        damaged("lista wolnych stron poza plikiem", path);
}

NtxHeader NtxHeader::parse(const unsigned char* page, std::uint64_t file_size, const std::string& path,
                           bool read_only) {
    if (file_size < 2 * kNtxPageSize) damaged("plik za krotki", path);
    NtxHeader h;
    h.prefix = NtxHeaderPrefix::read(page);
    std::uint16_t sig = h.prefix.signature;
    bool valid = (sig & ~0x87FF) == 0 && ((sig & kSigNormal) == kSigNormal || sig == kSigOldFormat);
    if (!valid) damaged("sygnatura " + hex4(sig), path);
    if (sig != kSigOldFormat && (sig & ~(kSigNormal | kSigFor | kSigLockScheme)) != 0)
        throw DbError("Nieobslugiwany rodzaj indeksu (znaczniki " + hex4(sig) + ")", path);
    if (sig != kSigOldFormat && (sig & kSigFor) && !read_only)
        throw DbError("Indeks z warunkiem FOR mozna otworzyc tylko do odczytu", path);

    h.item_size = ntx_load16(page + 12);
    h.key_size = ntx_load16(page + 14);
    h.key_decimals = ntx_load16(page + 16);
    h.max_items = ntx_load16(page + 18);
    h.half_page = ntx_load16(page + 20);
    if (h.key_size < 1 || h.key_size > kNtxMaxKeySize) damaged("dlugosc klucza " + std::to_string(h.key_size), path);
    if (h.item_size != h.key_size + 8) damaged("dlugosc pozycji " + std::to_string(h.item_size), path);
    if (h.key_decimals > h.key_size) damaged("liczba miejsc dziesietnych klucza", path);
    // The slot table (max + 1 entries after the key count) and max + 1 items must fit a page.
    if (h.max_items < 2 || 2 * (h.max_items + 2) + (h.max_items + 1) * h.item_size > static_cast<int>(kNtxPageSize))
        damaged("liczba kluczy na stronie " + std::to_string(h.max_items), path);
    if (h.half_page > h.max_items) damaged("polowa strony " + std::to_string(h.half_page), path);

    const unsigned char* expr = page + 22;
    size_t len = 0;
    while (len < 256 && expr[len] != 0) ++len;
    if (len == 0 || expr[0] < 0x20) damaged("brak wyrazenia klucza", path);
    h.expression.assign(reinterpret_cast<const char*>(expr), len);
    h.unique = page[278] != 0;
    // Only the value 1 counts as descending: an older writer may leave stray
    // bytes in this otherwise unused area.
    h.descending = page[280] == 1;
    check_prefix(h.prefix, file_size, path);
    return h;
}

void NtxHeader::write_page(unsigned char* page) const {
    std::memset(page, 0, kNtxPageSize);
    prefix.write(page);
    ntx_store16(page + 12, static_cast<std::uint32_t>(item_size));
    ntx_store16(page + 14, static_cast<std::uint32_t>(key_size));
    ntx_store16(page + 16, static_cast<std::uint32_t>(key_decimals));
    ntx_store16(page + 18, static_cast<std::uint32_t>(max_items));
    ntx_store16(page + 20, static_cast<std::uint32_t>(half_page));
    std::memcpy(page + 22, expression.data(), std::min<size_t>(expression.size(), 255));
    page[278] = unique ? 1 : 0;
    page[280] = descending ? 1 : 0;
}

}  // namespace durva::dbf
