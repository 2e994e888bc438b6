#include "common/dbf/record_runs.h"

#include <algorithm>
#include <string>
#include <type_traits>

#include "platform/errors.h"

namespace durva::dbf {

namespace {

// Records this far apart or nearer share a read: copying the bytes between
// costs less than another call into the system.
constexpr std::size_t kGapBytes = 8192;
// And a run is at most this long.
constexpr std::size_t kRunBytes = 1 << 20;

// The runs of sorted record numbers: [first, end) indexes into `recnos`.
template <class Recno, class Each>
void each_run(const std::vector<Recno>& sorted, std::size_t record_length, Each each) {
    const std::uint32_t gap = static_cast<std::uint32_t>(std::max<std::size_t>(1, kGapBytes / record_length));
    const std::uint32_t longest = static_cast<std::uint32_t>(std::max<std::size_t>(1, kRunBytes / record_length));
    auto number = [&](std::size_t i) -> std::uint32_t {
        if constexpr (std::is_same_v<Recno, std::uint32_t>) return sorted[i];
        else return sorted[i].first;
    };
    for (std::size_t i = 0; i < sorted.size();) {
        std::size_t j = i + 1;
        while (j < sorted.size() && number(j) - number(j - 1) <= gap && number(j) - number(i) < longest) ++j;
        each(i, j, number(i), number(j - 1) - number(i) + 1);
        i = j;
    }
}

}  // namespace

void read_in_runs(DbfFile& file, std::vector<std::uint32_t> recnos,
                  const std::function<void(std::uint32_t, std::string_view)>& seen) {
    std::sort(recnos.begin(), recnos.end());
    recnos.erase(std::unique(recnos.begin(), recnos.end()), recnos.end());
    recnos.erase(std::remove(recnos.begin(), recnos.end(), 0u), recnos.end());
    const std::size_t rl = static_cast<std::size_t>(file.record_length());
    std::string buffer;
    each_run(recnos, rl, [&](std::size_t from, std::size_t to, std::uint32_t first, std::uint32_t count) {
        buffer.resize(static_cast<std::size_t>(count) * rl);
        // A table cut short meanwhile ends the run at its last whole record.
        const std::uint32_t got = file.read_records(first, count, buffer.data());
        for (std::size_t i = from; i < to && recnos[i] < first + got; ++i)
            seen(recnos[i], std::string_view(buffer).substr(static_cast<std::size_t>(recnos[i] - first) * rl, rl));
    });
}

void write_in_runs(DbfFile& file, std::vector<std::pair<std::uint32_t, std::string_view>> changes) {
    std::sort(changes.begin(), changes.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    const std::size_t rl = static_cast<std::size_t>(file.record_length());
    if (!file.exclusive() && !file.file_locked())
        throw DbError("Zapis rekordow bez blokady tabeli", file.path(), EACCES);
    for (const auto& [recno, bytes] : changes)
        if (bytes.size() != rl) throw DbError("Zapis rekordu innej dlugosci", file.path());
    std::string buffer;
    each_run(changes, rl, [&](std::size_t from, std::size_t to, std::uint32_t first, std::uint32_t count) {
        if (to - from == 1) return file.write_record(first, changes[from].second.data());
        // The records between those changed as they are now: under the file
        // lock nobody else changes them.
        buffer.resize(static_cast<std::size_t>(count) * rl);
        if (file.read_records(first, count, buffer.data()) != count) throw DbError("Blad odczytu tabeli", file.path());
        for (std::size_t i = from; i < to; ++i)
            std::copy(changes[i].second.begin(), changes[i].second.end(),
                      buffer.begin() + static_cast<std::ptrdiff_t>((changes[i].first - first) * rl));
        file.rewrite_records(first, buffer.data(), count);
    });
}

}  // namespace durva::dbf
