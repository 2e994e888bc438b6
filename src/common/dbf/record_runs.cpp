#include "common/dbf/record_runs.h"

#include <algorithm>

namespace durva::dbf {

namespace {

// Records this far apart or nearer share a read: copying the bytes between
// costs less than another call into the system.
constexpr std::size_t kGapBytes = 8192;
// And a run is at most this long, so that memory stays small.
constexpr std::size_t kRunBytes = 1 << 20;

}  // namespace

RecordRuns::RecordRuns(DbfFile& file, std::vector<std::uint32_t> recnos) : file_(file) {
    std::sort(recnos.begin(), recnos.end());
    recnos.erase(std::unique(recnos.begin(), recnos.end()), recnos.end());
    recnos.erase(std::remove(recnos.begin(), recnos.end(), 0u), recnos.end());
    const std::size_t rl = static_cast<std::size_t>(file.record_length());
    const std::uint32_t gap = static_cast<std::uint32_t>(std::max<std::size_t>(1, kGapBytes / rl));
    const std::uint32_t longest = static_cast<std::uint32_t>(std::max<std::size_t>(1, kRunBytes / rl));
    for (std::size_t i = 0; i < recnos.size();) {
        std::size_t j = i + 1;
        while (j < recnos.size() && recnos[j] - recnos[j - 1] <= gap && recnos[j] - recnos[i] < longest) ++j;
        Run run;
        run.first = recnos[i];
        run.bytes.resize(static_cast<std::size_t>(recnos[j - 1] - recnos[i] + 1) * rl);
        // A table cut short meanwhile ends the run at its last whole record.
        run.count = file.read_records(run.first, recnos[j - 1] - recnos[i] + 1, run.bytes.data());
        run.bytes.resize(static_cast<std::size_t>(run.count) * rl);
        if (run.count > 0) runs_.push_back(std::move(run));
        i = j;
    }
}

const RecordRuns::Run* RecordRuns::run_of(std::uint32_t recno) const {
    auto it = std::upper_bound(runs_.begin(), runs_.end(), recno,
                               [](std::uint32_t r, const Run& run) { return r < run.first; });
    if (it == runs_.begin()) return nullptr;
    --it;
    return recno < it->first + it->count ? &*it : nullptr;
}

std::optional<std::string_view> RecordRuns::find(std::uint32_t recno) const {
    const Run* run = run_of(recno);
    if (!run) return std::nullopt;
    const std::size_t rl = static_cast<std::size_t>(file_.record_length());
    return std::string_view(run->bytes).substr(static_cast<std::size_t>(recno - run->first) * rl, rl);
}

bool RecordRuns::change(std::uint32_t recno, std::string_view bytes) {
    Run* run = const_cast<Run*>(run_of(recno));
    const std::size_t rl = static_cast<std::size_t>(file_.record_length());
    if (!run || bytes.size() != rl) return false;
    std::copy(bytes.begin(), bytes.end(), run->bytes.begin() + static_cast<std::ptrdiff_t>((recno - run->first) * rl));
    run->lo = run->lo == 0 ? recno : std::min(run->lo, recno);
    run->hi = std::max(run->hi, recno);
    return true;
}

void RecordRuns::write() {
    const std::size_t rl = static_cast<std::size_t>(file_.record_length());
    for (Run& run : runs_) {
        if (run.lo == 0) continue;
        file_.rewrite_records(run.lo, run.bytes.data() + static_cast<std::size_t>(run.lo - run.first) * rl,
                              run.hi - run.lo + 1);
        run.lo = run.hi = 0;
    }
}

}  // namespace durva::dbf
