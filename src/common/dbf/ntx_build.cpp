#include "common/dbf/ntx_build.h"

#include <algorithm>
#include <cstring>

#include "common/dbf/ntx_page.h"

namespace durva::dbf {

std::vector<std::uint32_t> ntx_sort_entries(const unsigned char* keys, size_t key_size, size_t count, bool unique) {
    // The first eight key bytes as one number decide most comparisons
    // without touching the key buffer.
    struct Entry {
        std::uint64_t head;
        std::uint32_t index;
    };
    std::vector<Entry> entries(count);
    size_t head_len = std::min<size_t>(key_size, 8);
    for (size_t i = 0; i < count; ++i) {
        const unsigned char* k = keys + i * key_size;
        std::uint64_t h = 0;
        for (size_t b = 0; b < 8; ++b) h = (h << 8) | (b < head_len ? k[b] : 0);
        entries[i] = {h, static_cast<std::uint32_t>(i)};
    }
    size_t rest = key_size > 8 ? key_size - 8 : 0;
    std::sort(entries.begin(), entries.end(), [&](const Entry& a, const Entry& b) {
        if (a.head != b.head) return a.head < b.head;
        if (rest) {
            int c = std::memcmp(keys + a.index * key_size + 8, keys + b.index * key_size + 8, rest);
            if (c != 0) return c < 0;
        }
        return a.index < b.index;
    });
    std::vector<std::uint32_t> order;
    order.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        if (unique && i > 0 && entries[i].head == entries[i - 1].head &&
            (!rest || std::memcmp(keys + entries[i].index * key_size + 8, keys + entries[i - 1].index * key_size + 8,
                                  rest) == 0))
            continue;
        order.push_back(entries[i].index);
    }
    return order;
}

std::vector<unsigned char> ntx_build_image(NtxHeader header, const unsigned char* keys,
                                           const std::vector<std::uint32_t>& order) {
    const NtxLayout layout = NtxLayout::of(header);
    const auto ks = static_cast<size_t>(header.key_size);
    const size_t max = static_cast<size_t>(header.max_items);
    const size_t limit = static_cast<size_t>(header.underflow_limit());

    std::vector<NtxItemRef> level(order.size());
    for (size_t i = 0; i < order.size(); ++i) level[i] = {0, order[i] + 1, keys + order[i] * ks};
    std::uint32_t rightmost = 0;

    // Pages: one per (max + 1) keys of a level, plus the header.
    size_t estimate = 2;
    for (size_t k = order.size(); k > max; k /= (max + 1)) estimate += k / (max + 1) + 1;
    std::vector<unsigned char> image;
    image.reserve((estimate + 1) * kNtxPageSize);
    image.resize(kNtxPageSize);
    auto new_page = [&image]() {
        auto off = static_cast<std::uint32_t>(image.size());
        image.resize(image.size() + kNtxPageSize);
        return off;
    };

    std::uint32_t root = 0;
    struct Run {
        size_t start, count;
    };
    std::vector<Run> runs;
    std::vector<NtxItemRef> upper;
    for (;;) {
        size_t k = level.size();
        if (k <= max) {
            root = new_page();
            NtxPage(image.data() + root, layout).store(level.data(), static_cast<int>(k), rightmost);
            break;
        }
        runs.clear();
        size_t pos = 0;
        while (k - pos > max) {
            runs.push_back({pos, max});
            pos += max + 1;
        }
        runs.push_back({pos, k - pos});
        if (runs.back().count < limit) {
            // Share the keys of the last two pages (and their separator) evenly.
            Run& a = runs[runs.size() - 2];
            Run& b = runs.back();
            size_t total = a.count + b.count;
            a.count = (total + 1) / 2;
            b.start = a.start + a.count + 1;
            b.count = total - a.count;
        }
        upper.clear();
        std::uint32_t last_page = 0;
        for (size_t r = 0; r < runs.size(); ++r) {
            bool is_last = r + 1 == runs.size();
            const Run& run = runs[r];
            std::uint32_t off = new_page();
            std::uint32_t right = is_last ? rightmost : level[run.start + run.count].child;
            NtxPage(image.data() + off, layout).store(level.data() + run.start, static_cast<int>(run.count), right);
            if (!is_last) {
                const NtxItemRef& sep = level[run.start + run.count];
                upper.push_back({off, sep.recno, sep.key});
            }
            last_page = off;
        }
        rightmost = last_page;
        level.swap(upper);
    }

    header.prefix.version = 1;
    header.prefix.root = root;
    header.prefix.free_list = 0;
    header.write_page(image.data());
    return image;
}

}  // namespace durva::dbf
