#include "common/dbf/ntx_page.h"

#include <cstring>

namespace durva::dbf {

std::string NtxPage::check(std::uint64_t file_size) const {
    int n = count();
    if (n > l_->max_items) return "liczba kluczy " + std::to_string(n) + " wieksza niz " + std::to_string(l_->max_items);
    int lo = l_->items_start(), hi = static_cast<int>(kNtxPageSize) - l_->item_size;
    for (int i = 0; i <= n; ++i) {
        int s = slot(i);
        if (s < lo || s > hi) return "pozycja " + std::to_string(i) + " poza strona";
    }
    for (int i = 0; i <= n; ++i) {
        std::uint32_t c = child(i);
        if (c != 0 && !ntx_page_offset_ok(c, file_size))
            return "odnosnik " + std::to_string(c) + " poza plikiem";
    }
    return {};
}

void NtxPage::set_entry(int i, std::uint32_t recno, const unsigned char* key) {
    unsigned char* item = b_ + slot(i);
    ntx_store32(item + 4, recno);
    std::memmove(item + 8, key, static_cast<size_t>(l_->key_size));
}

void NtxPage::init() {
    std::memset(b_, 0, kNtxPageSize);
    for (int i = 0; i <= l_->max_items; ++i) set_slot(i, l_->items_start() + i * l_->item_size);
}

bool NtxPage::spare_slot_usable() const {
    int n = count();
    if (n + 1 > l_->max_items) return false;
    int s = slot(n + 1);
    if (s < l_->items_start() || s > static_cast<int>(kNtxPageSize) - l_->item_size) return false;
    for (int i = 0; i <= n; ++i) {
        int d = slot(i) - s;
        if (d > -l_->item_size && d < l_->item_size) return false;  // overlaps a live item
    }
    return true;
}

void NtxPage::compact() {
    std::vector<unsigned char> items;
    copy_items(items);
    int n = count();
    std::vector<NtxItemRef> refs(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
        const unsigned char* it = items.data() + static_cast<size_t>(i) * l_->item_size;
        refs[static_cast<size_t>(i)] = {ntx_load32(it), ntx_load32(it + 4), it + 8};
    }
    std::uint32_t right = ntx_load32(items.data() + static_cast<size_t>(n) * l_->item_size);
    store(refs.data(), n, right);
}

void NtxPage::insert_at(int pos, std::uint32_t child, std::uint32_t recno, const unsigned char* key) {
    if (!spare_slot_usable()) compact();
    int n = count();
    int spare = slot(n + 1);
    std::memmove(b_ + 2 + 2 * (pos + 1), b_ + 2 + 2 * pos, static_cast<size_t>(2 * (n + 1 - pos)));
    set_slot(pos, spare);
    unsigned char* item = b_ + spare;
    ntx_store32(item, child);
    ntx_store32(item + 4, recno);
    std::memcpy(item + 8, key, static_cast<size_t>(l_->key_size));
    set_count(n + 1);
}

void NtxPage::remove_at(int pos) {
    int n = count();
    int freed = slot(pos);
    std::memmove(b_ + 2 + 2 * pos, b_ + 2 + 2 * (pos + 1), static_cast<size_t>(2 * (n - pos)));
    set_slot(n, freed);
    set_count(n - 1);
}

void NtxPage::store(const NtxItemRef* items, int n, std::uint32_t rightmost) {
    init();
    for (int i = 0; i < n; ++i) {
        unsigned char* item = b_ + slot(i);
        ntx_store32(item, items[i].child);
        ntx_store32(item + 4, items[i].recno);
        std::memcpy(item + 8, items[i].key, static_cast<size_t>(l_->key_size));
    }
    set_child(n, rightmost);
    set_count(n);
}

void NtxPage::copy_items(std::vector<unsigned char>& out) const {
    int n = count();
    auto size = static_cast<size_t>(l_->item_size);
    out.resize(static_cast<size_t>(n + 1) * size);
    for (int i = 0; i <= n; ++i) std::memcpy(out.data() + static_cast<size_t>(i) * size, b_ + slot(i), size);
}

}  // namespace durva::dbf
