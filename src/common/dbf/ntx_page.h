#pragma once
// One 1024-byte NTX tree page seen through its slot table:
//
//   0                 key count n
//   2                 slot[0 .. max_items]: offset of each item inside the page
//   2*(max_items+2)   item storage, (max_items + 1) items of key_size + 8 bytes
//
// An item is child page offset (4), record number (4), key bytes. The keys in
// order are the items at slot[0] .. slot[n-1]; slot[n] is the rightmost item,
// of which only the child counts. Inserts and removals move slot entries, not
// items, so the items are never assumed to sit in storage order.
#include <cstdint>
#include <string>
#include <vector>

#include "common/dbf/ntx_header.h"

namespace durva::dbf {

struct NtxLayout {
    int key_size = 0;
    int item_size = 0;
    int max_items = 0;
    int items_start() const { return 2 * (max_items + 2); }
    static NtxLayout of(const NtxHeader& h) { return {h.key_size, h.item_size, h.max_items}; }
};

// An item to be written into a page; the key points into a buffer the caller keeps.
struct NtxItemRef {
    std::uint32_t child = 0;
    std::uint32_t recno = 0;
    const unsigned char* key = nullptr;
};

// A view of a page's bytes; it owns nothing and is cheap to copy.
class NtxPage {
public:
    NtxPage(unsigned char* bytes, const NtxLayout& layout) : b_(bytes), l_(&layout) {}

    unsigned char* bytes() const { return b_; }
    int count() const { return ntx_load16(b_); }
    int slot(int i) const { return ntx_load16(b_ + 2 + 2 * i); }
    std::uint32_t child(int i) const { return ntx_load32(b_ + slot(i)); }
    std::uint32_t recno(int i) const { return ntx_load32(b_ + slot(i) + 4); }
    const unsigned char* key(int i) const { return b_ + slot(i) + 8; }
    std::uint32_t rightmost() const { return child(count()); }
    bool is_leaf() const { return child(0) == 0; }

    void set_child(int i, std::uint32_t off) { ntx_store32(b_ + slot(i), off); }
    void set_entry(int i, std::uint32_t recno, const unsigned char* key);

    // Problems that would make reading the page unsafe or meaningless: a key
    // count above the maximum, a slot outside the item area, a child that is
    // not a whole page of the file. Empty when the page is sound.
    std::string check(std::uint64_t file_size) const;

    // A fresh page: no keys, slots in storage order, rightmost child 0.
    void init();
    // Puts an item at key position `pos` (n < max_items), taking the spare
    // item space of slot[n+1].
    void insert_at(int pos, std::uint32_t child, std::uint32_t recno, const unsigned char* key);
    // Takes out key `pos` and its child; its item space becomes a spare.
    void remove_at(int pos);
    // Rewrites the page with these items (at most max_items) and rightmost child.
    void store(const NtxItemRef* items, int count, std::uint32_t rightmost);
    // Marks a page taken out of the tree as free: no keys, and the child of
    // the item at slot[0] names the next free page.
    void make_free(std::uint32_t next_free) {
        set_count(0);
        set_child(0, next_free);
    }
    // Copies out every key item plus the rightmost child's item, in order, so
    // that a split or merge can rewrite pages from the copy.
    void copy_items(std::vector<unsigned char>& out) const;
    // Rewrites the page in storage order (used when its spare slots are unusable).
    void compact();

private:
    void set_count(int n) { ntx_store16(b_, static_cast<std::uint32_t>(n)); }
    void set_slot(int i, int off) { ntx_store16(b_ + 2 + 2 * i, static_cast<std::uint32_t>(off)); }
    bool spare_slot_usable() const;

    unsigned char* b_;
    const NtxLayout* l_;
};

}  // namespace durva::dbf
