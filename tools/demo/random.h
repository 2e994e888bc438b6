#pragma once
// The sample's own random numbers: a fixed generator (splitmix64) and plain
// arithmetic on its output, so that one seed gives the same office on every
// machine and library version.
#include <cstdint>

namespace durva::demo {

class Random {
public:
    explicit Random(std::uint64_t seed) : state_(seed) {}

    std::uint64_t next() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }
    // 0 .. n-1 (0 when n is 0).
    std::uint64_t below(std::uint64_t n) { return n == 0 ? 0 : next() % n; }
    int between(int lo, int hi) { return lo + static_cast<int>(below(static_cast<std::uint64_t>(hi - lo + 1))); }
    // True in `per_mille` cases out of a thousand.
    bool chance(int per_mille) { return below(1000) < static_cast<std::uint64_t>(per_mille); }
    template <typename T, std::size_t N>
    const T& pick(const T (&items)[N]) { return items[below(N)]; }

private:
    std::uint64_t state_;
};

}  // namespace durva::demo
