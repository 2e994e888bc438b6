#include "common/dbf/record_runs.h"

#include <algorithm>
#include <string>

#include "platform/errors.h"

namespace durva::dbf {

namespace {

// Records this far apart or nearer share a read: copying the bytes between
// costs less than another call into the system.
constexpr std::size_t kGapBytes = 8192;
// And a run is at most this long.
constexpr std::size_t kRunBytes = 1 << 20;

// The runs of sorted record numbers: [from, to) indexes into `recnos`, and
// the records from `first` on, `count` of them, that the run reads.
template <class Each>
void each_run(const std::vector<std::uint32_t>& recnos, std::size_t record_length, Each each) {
    const std::uint32_t gap = static_cast<std::uint32_t>(std::max<std::size_t>(1, kGapBytes / record_length));
    const std::uint32_t longest = static_cast<std::uint32_t>(std::max<std::size_t>(1, kRunBytes / record_length));
    for (std::size_t i = 0; i < recnos.size();) {
        std::size_t j = i + 1;
        while (j < recnos.size() && recnos[j] - recnos[j - 1] <= gap && recnos[j] - recnos[i] < longest) ++j;
        each(i, j, recnos[i], recnos[j - 1] - recnos[i] + 1);
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

void update_in_runs(DbfFile& file, std::vector<std::uint32_t> recnos,
                    const std::function<void(std::uint32_t, std::string&)>& change) {
    if (!file.exclusive() && !file.file_locked())
        throw DbError("Zapis rekordow bez blokady tabeli", file.path(), EACCES);
    std::sort(recnos.begin(), recnos.end());
    if (!recnos.empty() && recnos.front() == 0) throw DbError("Zapis poza tabela", file.path());
    const std::size_t rl = static_cast<std::size_t>(file.record_length());
    std::string buffer, record;
    each_run(recnos, rl, [&](std::size_t from, std::size_t to, std::uint32_t first, std::uint32_t count) {
        // The records between those changed go back as they are now: under
        // the file lock nobody else changes them.
        buffer.resize(static_cast<std::size_t>(count) * rl);
        if (file.read_records(first, count, buffer.data()) != count) throw DbError("Zapis poza tabela", file.path());
        for (std::size_t i = from; i < to; ++i) {
            const std::size_t at = static_cast<std::size_t>(recnos[i] - first) * rl;
            record.assign(buffer, at, rl);
            change(recnos[i], record);
            if (record.size() != rl) throw DbError("Zapis rekordu innej dlugosci", file.path());
            buffer.replace(at, rl, record);
        }
        file.rewrite_records(first, buffer.data(), count);
    });
}

}  // namespace durva::dbf
