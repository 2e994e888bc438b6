#include "common/dbf/ntx_tree.h"

#include <cstring>

#include "platform/errors.h"

namespace durva::dbf {

NtxTree::NtxTree(NtxPager& pager)
    : pager_(pager), descending_(pager.header().descending), key_size_(static_cast<size_t>(pager.layout().key_size)) {}

int NtxTree::compare(const unsigned char* a, const unsigned char* b, size_t n) const {
    int c = std::memcmp(a, b, n);
    return descending_ ? -c : c;
}

NtxFrame& NtxTree::push(NtxPath& path, std::uint32_t page, int pos) {
    if (path.frames.size() >= static_cast<size_t>(kNtxMaxDepth))
        ntx_damaged("drzewo zbyt glebokie, strony w petli", pager_.path());
    if (path.frames.capacity() < static_cast<size_t>(kNtxMaxDepth)) path.frames.reserve(kNtxMaxDepth);
    NtxPage p = pager_.page(page);
    // Ask for the whole page at once: the binary search that follows reads
    // lines scattered over it, each depending on the one before, and in a
    // large index the page is seldom in the processor's cache yet.
    for (size_t line = 0; line < kNtxPageSize; line += 64) __builtin_prefetch(p.bytes() + line);
    path.frames.push_back({page, pos, p.bytes()});
    return path.frames.back();
}

void NtxTree::descend_leftmost(NtxPath& path, std::uint32_t page) {
    for (;;) {
        NtxFrame& f = push(path, page, 0);
        std::uint32_t c = view(f).child(0);
        if (c == 0) return;
        page = c;
    }
}

void NtxTree::descend_rightmost(NtxPath& path, std::uint32_t page) {
    for (;;) {
        NtxFrame& f = push(path, page, 0);
        NtxPage v = view(f);
        int n = v.count();
        std::uint32_t c = v.child(n);
        if (c == 0) {
            f.pos = n - 1;
            return;
        }
        f.pos = n;
        page = c;
    }
}

// After a forward move: climb while the position is past the page's last
// key; a parent's position is then the key that follows the finished child.
bool NtxTree::settle_forward(NtxPath& path) {
    while (!path.frames.empty() && path.frames.back().pos >= view(path.frames.back()).count()) path.frames.pop_back();
    return !path.frames.empty();
}

// After a backward move: climb while there is no key before the position;
// in a parent, the key before the finished child is its position minus one.
bool NtxTree::settle_backward(NtxPath& path) {
    while (!path.frames.empty()) {
        if (path.frames.back().pos >= 0) return true;
        path.frames.pop_back();
        if (path.frames.empty()) return false;
        path.frames.back().pos -= 1;
    }
    return false;
}

bool NtxTree::first(NtxPath& path) {
    path.frames.clear();
    descend_leftmost(path, pager_.root());
    return settle_forward(path);
}

bool NtxTree::last(NtxPath& path) {
    path.frames.clear();
    descend_rightmost(path, pager_.root());
    return settle_backward(path);
}

// Down to a leaf, at each page to the first key greater than `key` (past) or
// not less than it (not past), comparing `len` bytes.
void NtxTree::descend(NtxPath& path, const unsigned char* key, size_t len, bool past) {
    path.frames.clear();
    std::uint32_t page = pager_.root();
    const int stop = past ? 1 : 0;  // compare results that end the step to the right
    for (;;) {
        NtxFrame& f = push(path, page, 0);
        NtxPage v = view(f);
        int lo = 0, hi = v.count();
        while (lo < hi) {
            int mid = (lo + hi) / 2;
            if (compare(v.key(mid), key, len) < stop) lo = mid + 1;
            else hi = mid;
        }
        f.pos = lo;
        std::uint32_t c = v.child(lo);
        if (c == 0) break;
        page = c;
    }
}

bool NtxTree::lower_bound(NtxPath& path, const unsigned char* key, size_t len) {
    descend(path, key, len, false);
    return settle_forward(path);
}

void NtxTree::descend_past(NtxPath& path, const unsigned char* key) { descend(path, key, key_size_, true); }

bool NtxTree::upper_bound(NtxPath& path, const unsigned char* key) {
    descend_past(path, key);
    return settle_forward(path);
}

bool NtxTree::find(NtxPath& path, const unsigned char* key, std::uint32_t recno) {
    // Equal keys are in no particular record order: walk the whole run.
    if (!lower_bound(path, key, key_size_)) return false;
    // A sound file holds at most max_items keys per page; a longer run means
    // pages shared between branches, and the scan would never end.
    std::uint64_t limit = pager_.file_end() / kNtxPageSize * static_cast<std::uint64_t>(pager_.layout().max_items);
    for (std::uint64_t steps = 0;; ++steps) {
        if (std::memcmp(key_at(path), key, key_size_) != 0) return false;
        if (recno_at(path) == recno) return true;
        if (steps > limit) ntx_damaged("strony wspolne dla kilku galezi", pager_.path());
        if (!next(path)) return false;
    }
}

bool NtxTree::next(NtxPath& path) {
    NtxFrame& f = path.frames.back();
    f.pos += 1;
    std::uint32_t c = view(f).child(f.pos);
    if (c != 0) descend_leftmost(path, c);
    return settle_forward(path);
}

bool NtxTree::prev(NtxPath& path) {
    NtxFrame& f = path.frames.back();
    std::uint32_t c = view(f).child(f.pos);
    if (c != 0) descend_rightmost(path, c);  // the frame now means "inside child(pos)"
    else f.pos -= 1;
    return settle_backward(path);
}

const unsigned char* NtxTree::key_at(const NtxPath& path) const {
    const NtxFrame& f = path.frames.back();
    return view(f).key(f.pos);
}

std::uint32_t NtxTree::recno_at(const NtxPath& path) const {
    const NtxFrame& f = path.frames.back();
    return view(f).recno(f.pos);
}

void NtxTree::insert(const unsigned char* key, std::uint32_t recno) {
    if (pager_.header().unique) {
        if (lower_bound(work_, key, key_size_) && std::memcmp(key_at(work_), key, key_size_) == 0) return;
    }
    // Down to a leaf, passing over equal keys so the new one comes after them.
    NtxPath& path = work_;
    descend_past(path, key);
    insert_upward(path, path.frames.size() - 1, path.frames.back().pos, 0, recno, key);
}

void NtxTree::insert_upward(NtxPath& path, size_t level, int pos, std::uint32_t child, std::uint32_t recno,
                            const unsigned char* key) {
    const NtxLayout& L = pager_.layout();
    const int max = L.max_items;
    auto item_size = static_cast<size_t>(L.item_size);
    std::vector<unsigned char>& carry = carry_;
    carry.resize(key_size_);
    std::vector<NtxItemRef>& refs = refs_;
    for (;;) {
        std::uint32_t off = path.frames[level].page;
        NtxPage p = pager_.writable(off);
        int n = p.count();
        if (n < max) {
            p.insert_at(pos, child, recno, key);
            return;
        }
        // Split the max + 1 keys: the first half goes to a new page on the
        // left, the next key moves up, the rest stay where they were, so the
        // parent's pointer to this page stays right.
        p.copy_items(scratch_);
        refs.clear();
        for (int i = 0; i <= n; ++i) {
            if (i == pos) refs.push_back({child, recno, key});
            if (i < n) {
                const unsigned char* it = scratch_.data() + static_cast<size_t>(i) * item_size;
                refs.push_back({ntx_load32(it), ntx_load32(it + 4), it + 8});
            }
        }
        std::uint32_t rightmost = ntx_load32(scratch_.data() + static_cast<size_t>(n) * item_size);
        const int half = (max + 1) / 2;
        std::uint32_t left_off = pager_.allocate();
        pager_.writable(left_off).store(refs.data(), half, refs[static_cast<size_t>(half)].child);
        p.store(refs.data() + half + 1, max - half, rightmost);
        // Only now may the carried key be overwritten: the right half may have used it.
        const NtxItemRef& up = refs[static_cast<size_t>(half)];
        std::uint32_t up_recno = up.recno;
        std::memmove(carry.data(), up.key, key_size_);
        if (level == 0) {
            std::uint32_t root = pager_.allocate();
            NtxItemRef only{left_off, up_recno, carry.data()};
            pager_.writable(root).store(&only, 1, off);
            pager_.set_root(root);
            return;
        }
        --level;
        pos = path.frames[level].pos;
        child = left_off;
        recno = up_recno;
        key = carry.data();
    }
}

bool NtxTree::remove(const unsigned char* key, std::uint32_t recno) {
    NtxPath& path = work_;
    if (!find(path, key, recno)) return false;
    std::uint32_t item_page = path.frames.back().page;
    int item_pos = path.frames.back().pos;
    std::uint32_t c = view(path.frames.back()).child(item_pos);
    if (c != 0) {
        // A key in a branch page: its in-order predecessor (the last key of
        // the subtree before it) takes its place and leaves its leaf instead.
        descend_rightmost(path, c);
        const NtxFrame& leaf = path.frames.back();
        if (leaf.pos < 0) ntx_damaged("pusta strona w drzewie", pager_.path());
        NtxPage lv = view(leaf);
        pager_.writable(item_page).set_entry(item_pos, lv.recno(leaf.pos), lv.key(leaf.pos));
    }
    const NtxFrame& at = path.frames.back();
    NtxPage lp = pager_.writable(at.page);
    if (lp.child(at.pos) != 0) ntx_damaged("strona z kluczami bez poddrzew", pager_.path());
    lp.remove_at(at.pos);
    rebalance(path);
    return true;
}

void NtxTree::rebalance(NtxPath& path) {
    const NtxLayout& L = pager_.layout();
    const int max = L.max_items;
    const int limit = pager_.header().underflow_limit();
    auto item_size = static_cast<size_t>(L.item_size);
    std::vector<unsigned char>& left_items = left_items_;
    std::vector<unsigned char>& right_items = right_items_;
    std::vector<unsigned char>& sep_key = sep_key_;
    sep_key.resize(key_size_);
    std::vector<NtxItemRef>& refs = refs_;
    for (size_t level = path.frames.size() - 1; level > 0; --level) {
        std::uint32_t off = path.frames[level].page;
        if (pager_.page(off).count() >= limit) break;
        const NtxFrame& up = path.frames[level - 1];
        NtxPage q = pager_.writable(up.page);
        int j = up.pos, qn = q.count();
        int sep;
        std::uint32_t left_off, right_off;
        if (j < qn) {
            sep = j;
            left_off = off;
            right_off = q.child(j + 1);
        } else if (j > 0) {
            sep = j - 1;
            left_off = q.child(j - 1);
            right_off = off;
        } else {
            break;  // a parent without keys has no sibling to offer
        }
        if (left_off == 0 || right_off == 0 || left_off == right_off)
            ntx_damaged("strona " + std::to_string(up.page) + " bez sasiada", pager_.path());
        NtxPage l = pager_.writable(left_off);
        NtxPage r = pager_.writable(right_off);
        int a = l.count(), b = r.count();
        l.copy_items(left_items);
        r.copy_items(right_items);
        std::memcpy(sep_key.data(), q.key(sep), key_size_);
        refs.clear();
        for (int i = 0; i < a; ++i) {
            const unsigned char* it = left_items.data() + static_cast<size_t>(i) * item_size;
            refs.push_back({ntx_load32(it), ntx_load32(it + 4), it + 8});
        }
        refs.push_back({ntx_load32(left_items.data() + static_cast<size_t>(a) * item_size), q.recno(sep), sep_key.data()});
        for (int i = 0; i < b; ++i) {
            const unsigned char* it = right_items.data() + static_cast<size_t>(i) * item_size;
            refs.push_back({ntx_load32(it), ntx_load32(it + 4), it + 8});
        }
        std::uint32_t right_rightmost = ntx_load32(right_items.data() + static_cast<size_t>(b) * item_size);
        if (a + b < max) {
            // Merge into the left page through the separator; the right page is freed.
            l.store(refs.data(), a + b + 1, right_rightmost);
            q.set_child(sep + 1, left_off);
            q.remove_at(sep);
            pager_.release(right_off);
        } else {
            int lc = (a + b + 1) / 2;
            l.store(refs.data(), lc, refs[static_cast<size_t>(lc)].child);
            q.set_entry(sep, refs[static_cast<size_t>(lc)].recno, refs[static_cast<size_t>(lc)].key);
            r.store(refs.data() + lc + 1, a + b - lc, right_rightmost);
        }
    }
    NtxPage root = pager_.page(pager_.root());
    if (root.count() == 0 && root.child(0) != 0) {
        std::uint32_t old = pager_.root();
        pager_.set_root(root.child(0));
        pager_.release(old);
    }
}

namespace {
struct Fault {
    std::string what;
};
}  // namespace

std::uint64_t NtxTree::count() {
    std::vector<bool> seen(pager_.file_end() / kNtxPageSize + 1);
    std::uint64_t total = 0;
    struct Item {
        std::uint32_t page;
        int depth;
    };
    std::vector<Item> stack{{pager_.root(), 0}};
    while (!stack.empty()) {
        Item it = stack.back();
        stack.pop_back();
        pager_.release_views();  // only page numbers are kept
        if (it.depth >= kNtxMaxDepth) ntx_damaged("drzewo zbyt glebokie, strony w petli", pager_.path());
        size_t idx = it.page / kNtxPageSize;
        if (idx >= seen.size() || seen[idx]) ntx_damaged("strona " + std::to_string(it.page) + " w drzewie dwa razy", pager_.path());
        seen[idx] = true;
        NtxPage v = pager_.page(it.page);
        int n = v.count();
        total += static_cast<std::uint64_t>(n);
        for (int i = 0; i <= n; ++i)
            if (std::uint32_t c = v.child(i)) stack.push_back({c, it.depth + 1});
    }
    return total;
}

std::string NtxTree::verify(std::uint32_t record_count) {
    std::vector<bool> seen(pager_.file_end() / kNtxPageSize + 1);
    std::vector<unsigned char> prev(key_size_);
    bool have_prev = false;
    int leaf_depth = -1;
    const bool unique = pager_.header().unique;

    struct Walker {
        NtxTree& t;
        std::vector<bool>& seen;
        std::vector<unsigned char>& prev;
        bool& have_prev;
        int& leaf_depth;
        std::uint32_t record_count;
        bool unique;

        void walk(std::uint32_t off, int depth) {
            if (depth >= kNtxMaxDepth) throw Fault{"drzewo zbyt glebokie, strony w petli"};
            size_t idx = off / kNtxPageSize;
            if (idx >= seen.size() || seen[idx]) throw Fault{"strona " + std::to_string(off) + " w drzewie dwa razy"};
            seen[idx] = true;
            // A copy, so that the walk below may let the page make room.
            unsigned char copy[kNtxPageSize];
            std::memcpy(copy, t.pager_.page(off).bytes(), kNtxPageSize);
            t.pager_.release_views();
            NtxPage v(copy, t.pager_.layout());
            int n = v.count();
            int zero = 0;
            for (int i = 0; i <= n; ++i) zero += v.child(i) == 0;
            if (zero != 0 && zero != n + 1) throw Fault{"strona " + std::to_string(off) + " czesciowo bez poddrzew"};
            if (zero != 0) {
                if (leaf_depth < 0) leaf_depth = depth;
                else if (leaf_depth != depth) throw Fault{"liscie na roznych glebokosciach"};
            }
            for (int i = 0; i <= n; ++i) {
                if (std::uint32_t c = v.child(i)) walk(c, depth + 1);
                if (i == n) break;
                std::uint32_t r = v.recno(i);
                if (r < 1 || r > record_count)
                    throw Fault{"numer rekordu " + std::to_string(r) + " poza tabela (strona " + std::to_string(off) + ")"};
                const unsigned char* k = v.key(i);
                if (have_prev) {
                    int c = t.compare(prev.data(), k, t.key_size_);
                    if (c > 0) throw Fault{"klucze w zlej kolejnosci (rekord " + std::to_string(r) + ")"};
                    if (c == 0 && unique) throw Fault{"powtorzony klucz w indeksie unikalnym (rekord " + std::to_string(r) + ")"};
                }
                std::memcpy(prev.data(), k, t.key_size_);
                have_prev = true;
            }
        }
    };

    try {
        Walker w{*this, seen, prev, have_prev, leaf_depth, record_count, unique};
        w.walk(pager_.root(), 0);
        // The free list: whole pages of the file, none of them in the tree, no circle.
        const NtxLayout& L = pager_.layout();
        std::vector<unsigned char> raw(kNtxPageSize);
        for (std::uint32_t off = pager_.free_list(); off != 0;) {
            if (!ntx_page_offset_ok(off, pager_.file_end())) throw Fault{"lista wolnych stron poza plikiem"};
            size_t idx = off / kNtxPageSize;
            if (seen[idx]) throw Fault{"strona " + std::to_string(off) + " wolna i w uzyciu"};
            seen[idx] = true;
            pager_.read_raw(off, raw.data());
            int s0 = ntx_load16(raw.data() + 2);
            if (s0 < L.items_start() || s0 > static_cast<int>(kNtxPageSize) - L.item_size)
                throw Fault{"uszkodzona wolna strona " + std::to_string(off)};
            off = ntx_load32(raw.data() + s0);
        }
    } catch (const Fault& f) {
        return f.what;
    } catch (const DbError& e) {
        return e.cause();
    }
    return {};
}

}  // namespace durva::dbf
