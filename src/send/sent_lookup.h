#pragma once
// The rows of the sent-record table by register and code, held in memory for
// one send. A send looks up every good it writes; in the table's index each
// look-up is a descent through pages that a large table spreads far beyond
// any cache, while here it is a probe or two of one array, built from the
// same pass over the table that builds its index.
//
// Each slot holds a row's number and a part of its key's hash, not the key:
// the caller is asked whether the row a slot names carries the key (it reads
// that row for its text anyway), so eight bytes a row are all that is kept.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace durva {

// A key is the register's two characters and the code's thirteen,
// blank-padded, as the table's PKASA and KOD13 hold them.
inline constexpr size_t kSentKeySize = 15;
inline void make_sent_key(std::string_view register_no, std::string_view code, std::string& key) {
    key.assign(register_no.substr(0, 2));
    key.resize(2, ' ');
    key.append(code.substr(0, 13));
    key.resize(kSentKeySize, ' ');
}

class SentLookup {
public:
    static constexpr size_t kNone = static_cast<size_t>(-1);

    // Room for `rows` rows in all before the array grows.
    void reserve(size_t rows);
    size_t size() const { return used_; }

    // The part of a key's hash a slot keeps (the key kSentKeySize bytes);
    // the same of the key that register and code make (make_sent_key), read
    // from them where they lie rather than from a key just put together.
    static std::uint32_t tag_of(std::string_view key);
    static std::uint32_t tag_of(std::string_view register_no, std::string_view code);

    // The slot of the row carrying the key of `tag`, kNone when there is
    // none; `holds(row)` says whether the row named carries the key.
    template <class Holds>
    size_t find(std::uint32_t tag, Holds&& holds) const {
        if (slots_.empty()) return kNone;
        for (size_t i = home(tag);; i = next(i)) {
            const std::uint64_t s = slots_[i];
            if (s == 0) return kNone;
            if (static_cast<std::uint32_t>(s >> 32) == tag && holds(static_cast<std::uint32_t>(s))) return i;
        }
    }
    // Starts bringing the slot where a look-up of the key of `tag` begins
    // into the processor's cache, so that the look-up made a little later,
    // after other work, does not wait for the memory. Without slots the
    // address is none, which a prefetch ignores; a test for that would have
    // the compiler drop the prefetch, which does nothing else.
    void prefetch(std::uint32_t tag) const { __builtin_prefetch(slots_.data() + home(tag)); }
    // Whether the slots outgrow what a processor core keeps close while a
    // send streams its files past it (a few hundred kilobytes): below that a
    // look-up seldom waits, and starting it early costs more than it saves.
    bool worth_prefetching() const { return slots_.size() * sizeof(std::uint64_t) > 256 * 1024; }
    std::uint32_t row(size_t slot) const { return static_cast<std::uint32_t>(slots_[slot]); }
    void set_row(size_t slot, std::uint32_t row);
    // Adds the key of `tag` with its row (never 0). Two rows of one key
    // (which no send makes) are both kept; a look-up finds one of them.
    void add(std::uint32_t tag, std::uint32_t row);
    // The same for many rows at once (a whole table), entries made by entry().
    void add_all(const std::vector<std::uint64_t>& entries);
    static std::uint64_t entry(std::string_view key, std::uint32_t row) {
        return static_cast<std::uint64_t>(tag_of(key)) << 32 | row;
    }

private:
    // A key's first slot follows from its tag alone, so that the rows move
    // to a larger array without their keys being read again.
    size_t home(std::uint32_t tag) const { return static_cast<size_t>((std::uint64_t{tag} * slots_.size()) >> 32); }
    size_t next(size_t i) const { return i + 1 == slots_.size() ? 0 : i + 1; }
    void place(std::uint64_t slot);
    void grow(size_t capacity);

    std::vector<std::uint64_t> slots_;  // tag << 32 | row; 0 for a free slot
    size_t used_ = 0;
};

}  // namespace durva
