#include "send/sent_lookup.h"

#include <bit>
#include <cstring>

namespace durva {
namespace {

// The quarters of the slots that may be taken before the array grows: with
// more, a key that is not there is looked for through ever longer runs.
constexpr size_t kMaxFillQuarters = 3;

std::uint64_t load(const char* p, size_t n) {
    std::uint64_t v = 0;
    std::memcpy(&v, p, n);
    return v;
}

size_t capacity_for(size_t rows) { return rows * 4 / kMaxFillQuarters + 16; }

// The register and the code's first six characters, then the code's last
// seven, mixed so that codes differing in one digit land far apart.
std::uint32_t mixed(std::uint64_t head, std::uint64_t rest) {
    std::uint64_t h = head * 0x9E3779B97F4A7C15ull;
    h ^= (rest + 0x632BE59BD9B4E019ull) * 0xC2B2AE3D27D4EB4Full;
    h ^= h >> 31;
    h *= 0x94D049BB133111EBull;
    h ^= h >> 29;
    return static_cast<std::uint32_t>(h >> 32);
}

}  // namespace

std::uint32_t SentLookup::tag_of(std::string_view key) {
    return mixed(load(key.data(), 8), load(key.data() + 8, kSentKeySize - 8));
}

std::uint32_t SentLookup::tag_of(std::string_view register_no, std::string_view code) {
    if constexpr (std::endian::native == std::endian::little) {
        if (register_no.size() >= 2 && code.size() >= kSentKeySize - 2) {
            // The key's first eight bytes are the register's two and the
            // code's first six, the rest the code's last seven; the first
            // byte is the lowest of a number loaded.
            const std::uint64_t head = load(register_no.data(), 2) | load(code.data(), 6) << 16;
            return mixed(head, load(code.data() + 6, kSentKeySize - 8));
        }
    }
    // Short ones blank-padded, as make_sent_key() makes the key.
    char key[kSentKeySize];
    std::memset(key, ' ', sizeof key);
    register_no.substr(0, 2).copy(key, 2);
    code.substr(0, kSentKeySize - 2).copy(key + 2, kSentKeySize - 2);
    return tag_of(std::string_view(key, sizeof key));
}

void SentLookup::reserve(size_t rows) {
    if (capacity_for(rows) > slots_.size()) grow(capacity_for(rows));
}

void SentLookup::set_row(size_t slot, std::uint32_t row) {
    slots_[slot] = (slots_[slot] & 0xFFFFFFFF00000000ull) | row;
}

void SentLookup::add(std::uint32_t tag, std::uint32_t row) {
    if ((used_ + 1) * 4 > slots_.size() * kMaxFillQuarters) grow(capacity_for(used_ + 1 + used_ / 2));
    place(static_cast<std::uint64_t>(tag) << 32 | row);
    ++used_;
}

void SentLookup::add_all(const std::vector<std::uint64_t>& entries) {
    reserve(used_ + entries.size());
    // Put in one by one as they come, the rows of a large table land all
    // over the array, each in memory the caches do not hold. One pass of a
    // counting sort by the tag's first 16 bits lines them up nearly in the
    // order of their slots (the first slot grows with the tag), so that they
    // fill the array from one end to the other. Equal tags keep their order.
    std::vector<std::uint32_t> start(size_t{1} << 16 | 1, 0);
    for (std::uint64_t e : entries) ++start[(e >> 48) + 1];
    for (size_t i = 1; i < start.size(); ++i) start[i] += start[i - 1];
    std::vector<std::uint64_t> lined_up(entries.size());
    for (std::uint64_t e : entries) lined_up[start[e >> 48]++] = e;
    for (std::uint64_t e : lined_up) place(e);
    used_ += entries.size();
}

void SentLookup::place(std::uint64_t slot) {
    size_t i = home(static_cast<std::uint32_t>(slot >> 32));
    while (slots_[i] != 0) i = next(i);
    slots_[i] = slot;
}

void SentLookup::grow(size_t capacity) {
    std::vector<std::uint64_t> old;
    old.swap(slots_);
    slots_.assign(capacity, 0);
    for (std::uint64_t s : old)
        if (s != 0) place(s);
}

}  // namespace durva
