#include "send/sent_lookup.h"

#include <cstring>

namespace durva {
namespace {

// The eighths of the slots that may be taken before the array doubles.
constexpr size_t kMaxFillEighths = 6;

std::uint64_t load(const char* p, size_t n) {
    std::uint64_t v = 0;
    std::memcpy(&v, p, n);
    return v;
}

}  // namespace

std::uint32_t SentLookup::tag_of(std::string_view key) {
    // The register and the code's first six characters, then the code's last
    // seven, mixed so that codes differing in one digit land far apart.
    std::uint64_t h = load(key.data(), 8) * 0x9E3779B97F4A7C15ull;
    h ^= (load(key.data() + 8, kSentKeySize - 8) + 0x632BE59BD9B4E019ull) * 0xC2B2AE3D27D4EB4Full;
    h ^= h >> 31;
    h *= 0x94D049BB133111EBull;
    h ^= h >> 29;
    return static_cast<std::uint32_t>(h >> 32);
}

void SentLookup::reserve(size_t rows) {
    size_t capacity = 16;
    while (capacity * kMaxFillEighths / 8 < rows) capacity *= 2;
    if (capacity > slots_.size()) grow(capacity);
}

void SentLookup::set_row(size_t slot, std::uint32_t row) {
    slots_[slot] = (slots_[slot] & 0xFFFFFFFF00000000ull) | row;
}

void SentLookup::add(std::string_view key, std::uint32_t row) {
    if ((used_ + 1) * 8 > slots_.size() * kMaxFillEighths) grow(slots_.empty() ? 16 : slots_.size() * 2);
    place(static_cast<std::uint64_t>(tag_of(key)) << 32 | row);
    ++used_;
}

void SentLookup::place(std::uint64_t slot) {
    size_t i = home(static_cast<std::uint32_t>(slot >> 32));
    while (slots_[i] != 0) i = (i + 1) & mask_;
    slots_[i] = slot;
}

// The slot of a key follows from its tag alone, so the rows move to a
// larger array without their keys being read again.
void SentLookup::grow(size_t capacity) {
    std::vector<std::uint64_t> old;
    old.swap(slots_);
    slots_.assign(capacity, 0);
    mask_ = capacity - 1;
    bits_ = 0;
    while ((size_t{1} << bits_) < capacity) ++bits_;
    for (std::uint64_t s : old)
        if (s != 0) place(s);
}

}  // namespace durva
