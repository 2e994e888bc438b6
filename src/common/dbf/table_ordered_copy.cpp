// A copy in index order of a table held exclusively and larger than its
// cache. Meeting the records in key order would cost a read of the file for
// each of them; instead the order is taken from the index alone, the table
// is read once in record order in large runs, and each record is dealt to
// the stretch of the new table that its place in key order falls in (in the
// order the records come); each stretch is then put in key order in memory.
// The table is read once and the new one written twice and read once, all
// in runs of a few hundred kilobytes, with a few megabytes held at a time.
#include <algorithm>
#include <cstring>

#include "common/dbf/table.h"
#include "platform/errors.h"

namespace durva::dbf {

namespace {

// A stretch of the new table put in key order in memory at once.
constexpr size_t kStretchBytes = 1 << 20;
// The records waiting, in all stretches together, to be written in runs.
constexpr size_t kDealBytes = 2 << 20;
// Records of the table read at once.
constexpr size_t kReadBytes = 256 << 10;
constexpr std::uint32_t kNoPlace = 0xFFFFFFFF;

}  // namespace

bool Table::copies_in_passes() const {
    return dbf_->exclusive() && order_ > 0 && !dbf_->fits_cache();
}

std::uint32_t Table::copy_in_key_order(DbfFile& out, const std::vector<const FieldDesc*>& from) {
    NtxIndex* ix = controlling();
    const std::uint32_t count = dbf_->record_count();
    // Each visible record's place in key order; an entry for a record the
    // table does not have is passed over, as a move over the index does.
    std::vector<std::uint32_t> place(static_cast<size_t>(count) + 1, kNoPlace);
    std::uint32_t n = 0;
    for (std::optional<NtxEntry> e = ix->first(); e; e = ix->next(*e)) {
        const std::uint32_t r = e->recno;
        if (r == 0 || r > count || place[r] != kNoPlace) continue;
        if (settings_->deleted_hidden && dbf_->deleted(r)) continue;
        place[r] = n++;
    }

    const FieldList& laid = out.fields();
    const size_t irl = static_cast<size_t>(dbf_->record_length());
    const size_t orl = static_cast<size_t>(out.record_length());
    const std::uint32_t base = out.record_count() + 1;
    const auto per_stretch = static_cast<std::uint32_t>(std::clamp<size_t>(kStretchBytes / orl, 1, 0xFFFF));
    const std::uint32_t stretches = n == 0 ? 0 : (n - 1) / per_stretch + 1;
    const auto per_deal =
        static_cast<std::uint32_t>(std::max<size_t>(1, kDealBytes / std::max<std::uint32_t>(stretches, 1) / orl));
    // Where each record dealt to a stretch belongs in it, in the order dealt.
    std::vector<std::uint16_t> within(n);
    {
        std::vector<char> deal(static_cast<size_t>(stretches) * per_deal * orl);
        std::vector<std::uint32_t> written(stretches, 0), waiting(stretches, 0);
        auto spill = [&](std::uint32_t s) {
            out.write_run(base + s * per_stretch + written[s], deal.data() + static_cast<size_t>(s) * per_deal * orl,
                          waiting[s]);
            written[s] += waiting[s];
            waiting[s] = 0;
        };
        const auto per_read = static_cast<std::uint32_t>(std::max<size_t>(1, kReadBytes / irl));
        std::vector<char> run(static_cast<size_t>(per_read) * irl);
        for (std::uint32_t first = 1; first <= count;) {
            const std::uint32_t got = dbf_->read_run(first, per_read, run.data());
            if (got == 0) throw DbError("Blad odczytu tabeli", path());
            for (std::uint32_t i = 0; i < got; ++i) {
                const std::uint32_t p = place[first + i];
                if (p == kNoPlace) continue;
                const std::uint32_t s = p / per_stretch;
                within[static_cast<size_t>(s) * per_stretch + written[s] + waiting[s]] =
                    static_cast<std::uint16_t>(p - s * per_stretch);
                const char* rec = run.data() + i * irl;
                char* to = deal.data() + (static_cast<size_t>(s) * per_deal + waiting[s]) * orl;
                if (from.empty()) {
                    std::memcpy(to, rec, orl);
                } else {
                    std::memset(to, ' ', orl);
                    to[0] = rec[0];
                    for (size_t f = 0; f < from.size(); ++f)
                        std::memcpy(to + laid[f].offset, rec + from[f]->offset, static_cast<size_t>(from[f]->length));
                }
                if (++waiting[s] == per_deal) spill(s);
            }
            first += got;
        }
        for (std::uint32_t s = 0; s < stretches; ++s)
            if (waiting[s] > 0) spill(s);
    }
    place = {};

    std::vector<char> dealt(static_cast<size_t>(per_stretch) * orl), ordered(dealt.size());
    for (std::uint32_t s = 0; s < stretches; ++s) {
        const std::uint32_t first = base + s * per_stretch;
        const std::uint32_t m = std::min(per_stretch, n - s * per_stretch);
        if (out.read_run(first, m, dealt.data()) != m) throw DbError("Blad odczytu tabeli", out.path());
        for (std::uint32_t k = 0; k < m; ++k)
            std::memcpy(ordered.data() + within[static_cast<size_t>(s) * per_stretch + k] * orl, dealt.data() + k * orl,
                        orl);
        out.write_run(first, ordered.data(), m);
    }
    return n;
}

}  // namespace durva::dbf
