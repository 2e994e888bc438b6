#pragma once
// Reads an NTX file's pages straight from its bytes, independently of the
// index code, to check what a reader of the other programs would meet: page
// fill, tree depth, the free list, and pages that belong nowhere.
#include <cstdint>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

namespace durva::test {

struct NtxShape {
    std::uint32_t root = 0;
    int max_items = 0;
    int depth = 0;                   // levels from the root to the leaves
    int root_keys = 0;
    std::uint32_t root_child0 = 0;
    int min_fill = 1 << 30;          // fewest keys in a page other than the root
    size_t tree_pages = 0;
    size_t free_pages = 0;
    size_t file_pages = 0;           // pages after the header
    std::vector<int> leaf_fill;      // keys in each leaf, in key order
    bool free_list_ok = true;        // ends, stays inside the file, never meets the tree
    size_t orphans() const { return file_pages - tree_pages - free_pages; }
};

inline NtxShape inspect_ntx(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<unsigned char> b((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    auto u16 = [&](size_t o) { return unsigned(b[o] | (b[o + 1] << 8)); };
    auto u32 = [&](size_t o) { return std::uint32_t(u16(o) | (std::uint32_t(u16(o + 2)) << 16)); };
    NtxShape s;
    if (b.size() < 2048) return s;
    s.root = u32(4);
    s.max_items = static_cast<int>(u16(18));
    s.file_pages = b.size() / 1024 - 1;
    std::set<std::uint32_t> seen;
    struct Walk {
        const std::vector<unsigned char>& b;
        decltype(u16)& w16;
        decltype(u32)& w32;
        NtxShape& s;
        std::set<std::uint32_t>& seen;
        void page(std::uint32_t off, int level) {
            if (off + 1024 > b.size() || !seen.insert(off).second || level > 64) return;
            ++s.tree_pages;
            int n = static_cast<int>(w16(off));
            if (off != s.root && n < s.min_fill) s.min_fill = n;
            bool leaf = true;
            for (int i = 0; i <= n && i <= s.max_items; ++i) {
                std::uint32_t c = w32(off + w16(off + 2 + 2 * i));
                if (c) {
                    leaf = false;
                    page(c, level + 1);
                }
            }
            if (leaf) s.leaf_fill.push_back(n);
            if (leaf && level + 1 > s.depth) s.depth = level + 1;
        }
    } walk{b, u16, u32, s, seen};
    walk.page(s.root, 0);
    s.root_keys = static_cast<int>(u16(s.root));
    s.root_child0 = u32(s.root + u16(s.root + 2));
    for (std::uint32_t off = u32(8); off != 0;) {
        if (off % 1024 != 0 || off + 1024 > b.size() || !seen.insert(off).second) {
            s.free_list_ok = false;
            break;
        }
        ++s.free_pages;
        off = u32(off + u16(off + 2));
    }
    return s;
}

}  // namespace durva::test
