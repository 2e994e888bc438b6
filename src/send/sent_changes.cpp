#include "send/sent_changes.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "platform/errors.h"
#include "platform/file.h"
#include "platform/path_resolver.h"

namespace durva {
namespace {

// The record of the table a row goes to, and whether it is appended there.
constexpr std::string_view kRecnoField = "NR";
constexpr std::string_view kFreshField = "NOWY";
// New rows go into the table this many at a time, each batch in one write.
constexpr size_t kAppendBatch = 4096;
// Rows of a file of changes read at a time.
constexpr size_t kReadRows = 1024;
// A send's rows go into its file of changes this many at a time. A good
// held in two warehouses comes back some rows later in the walk (after the
// goods of its name in the warehouses between), mostly while its row is
// still among these.
constexpr size_t kPendingRows = 4096;

const dbf::FieldDesc* character_field(const dbf::FieldList& fields, std::string_view name) {
    for (const dbf::FieldDesc& f : fields)
        if (f.name == name) return f.type == 'C' ? &f : nullptr;
    return nullptr;
}

// The field's bytes and the text, both as if blank-padded to the longer.
bool same_padded(std::string_view field, std::string_view text) {
    const size_t n = std::max(field.size(), text.size());
    for (size_t i = 0; i < n; ++i) {
        const char a = i < field.size() ? field[i] : ' ';
        const char b = i < text.size() ? text[i] : ' ';
        if (a != b) return false;
    }
    return true;
}

// A record number into a numeric field without decimals, as STR() writes a
// whole number: right-aligned, blank-padded; the send writes one per change.
void encode_recno(const dbf::FieldDesc& f, std::uint32_t recno, char* record) {
    char* at = record + f.offset + f.length;
    char* const start = record + f.offset;
    do {
        *--at = static_cast<char>('0' + recno % 10);
        recno /= 10;
    } while (recno != 0 && at > start);
    std::memset(start, ' ', static_cast<size_t>(at - start));
}

void remove_if_present(std::string_view dos_path) {
    if (platform::file_exists(dos_path)) platform::remove_file(platform::resolve_path(dos_path));
}

// The rows of a file of changes, checked against the table before any goes
// in: each row names a record of the table that carries its key, or (new
// rows, in the order they were appended) one after the records the table
// had at the send.
class ChangesFile {
public:
    explicit ChangesFile(dbf::DbfFile& file) : file_(file) {
        const dbf::FieldList& f = file.fields();
        layout_ = SentRowLayout::of(f);
        for (const dbf::FieldDesc& d : f) {
            if (d.name == kRecnoField && d.type == 'N') recno_ = &d;
            if (d.name == kFreshField && d.type == 'L') fresh_ = &d;
        }
    }
    bool readable() const { return layout_ && recno_ && fresh_; }
    // Calls take(row's bytes) for each row in order until it returns false;
    // the rows are read a piece of the file at a time (the file is held
    // exclusively). False when a call did, or the file ends early (a
    // DbError when it cannot be read).
    template <class Take>
    bool each_row(Take&& take) {
        const size_t rl = static_cast<size_t>(file_.record_length());
        const std::uint32_t count = file_.record_count();
        std::vector<char> piece(std::min<size_t>(kReadRows, count) * rl);
        for (std::uint32_t first = 1; first <= count;) {
            const auto want = static_cast<std::uint32_t>(piece.size() / rl);
            const std::uint32_t got = file_.read_run(first, want, piece.data());
            if (got == 0) return false;
            for (std::uint32_t i = 0; i < got; ++i)
                if (!take(std::string_view(piece.data() + i * rl, rl))) return false;
            first += got;
        }
        return true;
    }
    // The record of the table a row goes to; 0 for a row that names none.
    // The send writes it as a whole number, read here digit by digit.
    std::uint32_t recno(std::string_view row) const {
        const std::string_view text = dbf::field_bytes(row, *recno_);
        size_t i = text.find_first_not_of(' ');
        std::uint64_t n = 0;
        for (; i < text.size() && text[i] >= '0' && text[i] <= '9' && n < 2147483648u; ++i)
            n = n * 10 + static_cast<std::uint64_t>(text[i] - '0');
        if (i != text.size()) {
            const double v = dbf::decode_number(text);
            return v >= 1 && v < 2147483648.0 ? static_cast<std::uint32_t>(v) : 0;
        }
        return n >= 1 && n < 2147483648u ? static_cast<std::uint32_t>(n) : 0;
    }
    bool fresh(std::string_view row) const { return dbf::decode_logical(dbf::field_bytes(row, *fresh_)); }
    const SentRowLayout& layout() const { return *layout_; }

    // After fits(): the rows it found still to be appended to the table.
    std::uint32_t to_append() const { return to_append_; }

    bool fits(dbf::Table& table, const SentRowLayout& into) {
        to_append_ = 0;
        dbf::DbfFile& t = table.dbf();
        const std::uint32_t records = t.record_count();
        std::uint32_t next_fresh = 0;
        std::string key;
        try {
            return each_row([&](std::string_view bytes) {
                if (dbf::DbfFile::is_deleted(bytes)) return false;
                const std::uint32_t at = recno(bytes);
                if (at == 0) return false;
                if (fresh(bytes)) {
                    if (next_fresh == 0) {
                        if (at - 1 > records) return false;  // the table lost records since the send
                        next_fresh = at;
                    }
                    if (at != next_fresh++) return false;
                    if (at > records) {
                        ++to_append_;
                        return true;  // not in the table yet
                    }
                } else if (at > records) {
                    return false;
                }
                // A row the table had, or a new one a write-in cut short appended already.
                layout_->key_of(bytes, key);
                return into.holds(t.record_view(at), key);
            });
        } catch (const DbError&) {
            return false;  // a file that cannot be read whole is no file of changes
        }
    }

private:
    dbf::DbfFile& file_;
    std::optional<SentRowLayout> layout_;
    const dbf::FieldDesc* recno_ = nullptr;
    const dbf::FieldDesc* fresh_ = nullptr;
    std::uint32_t to_append_ = 0;
};

// The table's row for a row of changes: register, code and text put in.
void fill_row(const SentRowLayout& into, ChangesFile& changes, std::string_view change, char* row) {
    const SentRowLayout& from = changes.layout();
    dbf::encode_text(into.pkasa, dbf::field_bytes(change, from.pkasa), row);
    dbf::encode_text(into.kod13, dbf::field_bytes(change, from.kod13), row);
    dbf::encode_text(into.tekst, dbf::field_bytes(change, from.tekst), row);
}

void write_in(dbf::Table& table, const SentRowLayout& into, ChangesFile& changes) {
    dbf::DbfFile& t = table.dbf();
    const size_t rl = static_cast<size_t>(t.record_length());
    const std::string blank = t.blank_record();
    // A new row of a table laid out as the program makes it is the first
    // bytes of its row of changes.
    const bool as_they_are = into.heads(changes.layout(), static_cast<int>(rl));
    std::string row;
    std::string batch;
    // The new rows' room on the disk taken at once (a first send's are a row
    // for every good).
    t.reserve_records(changes.to_append());
    auto append_batch = [&] {
        if (batch.empty()) return;
        table.append_records(batch);
        batch.clear();
    };
    changes.each_row([&](std::string_view change) {
        const std::uint32_t at = changes.recno(change);
        if (at <= t.record_count()) {
            row = t.record_view(at);
            fill_row(into, changes, change, row.data());
            t.write_record(at, row.data());
            return true;
        }
        if (as_they_are) {
            batch.append(change.substr(0, rl));  // not deleted: fits() saw to that
        } else {
            batch += blank;
            fill_row(into, changes, change, batch.data() + batch.size() - rl);
        }
        if (batch.size() >= kAppendBatch * rl) append_batch();
        return true;
    });
    append_batch();
    table.commit();
    // The rows were written under the table's current record: it is read again.
    table.go_top();
}

}  // namespace

std::optional<SentRowLayout> SentRowLayout::of(const dbf::FieldList& fields) {
    const dbf::FieldDesc* pkasa = character_field(fields, "PKASA");
    const dbf::FieldDesc* kod13 = character_field(fields, "KOD13");
    const dbf::FieldDesc* tekst = character_field(fields, "TEKST");
    if (!pkasa || !kod13 || !tekst) return std::nullopt;
    return SentRowLayout{*pkasa, *kod13, *tekst};
}

bool SentRowLayout::holds(std::string_view row, std::string_view key) const {
    if (row.empty() || dbf::DbfFile::is_deleted(row)) return false;
    return same_padded(dbf::field_bytes(row, pkasa), key.substr(0, 2)) &&
           same_padded(dbf::field_bytes(row, kod13), key.substr(2));
}

std::unique_ptr<SentChanges> SentChanges::create(const SentRowLayout& table, const platform::Clock* clock) {
    const dbf::FieldDesc recno{std::string(kRecnoField), 'N', 10, 0, 0};
    const dbf::FieldDesc fresh{std::string(kFreshField), 'L', 1, 0, 0};
    auto file = dbf::DbfFile::create(kChangesUnderWay, {table.pkasa, table.kod13, table.tekst, recno, fresh}, clock);
    const dbf::FieldList& laid = file->fields();
    const SentRowLayout layout{laid[0], laid[1], laid[2]};
    return std::unique_ptr<SentChanges>(new SentChanges(std::move(file), layout, laid[3], laid[4]));
}

SentChanges::SentChanges(std::unique_ptr<dbf::DbfFile> file, const SentRowLayout& layout, const dbf::FieldDesc& recno,
                         const dbf::FieldDesc& fresh)
    : file_(std::move(file)), layout_(layout), recno_(recno), fresh_(fresh), blank_(file_->blank_record()) {}

SentChanges::~SentChanges() {
    try {
        close();
    } catch (const DbError&) {
        // Changes not all on the disk are changes lost: their goods go again.
    }
}

std::uint32_t SentChanges::add(std::string_view key, std::string_view text, std::uint32_t recno, bool fresh) {
    if (!file_) throw DbError("Tabela zamknieta", std::string(kChangesUnderWay));
    if (pending_.size() >= kPendingRows * blank_.size()) write_pending();
    const size_t at = pending_.size();
    pending_.append(blank_);
    char* bytes = pending_.data() + at;
    dbf::encode_text(layout_.pkasa, key.substr(0, 2), bytes);
    dbf::encode_text(layout_.kod13, key.substr(2), bytes);
    dbf::encode_text(layout_.tekst, text, bytes);
    encode_recno(recno_, recno, bytes);
    dbf::encode_logical(fresh_, fresh, bytes);
    return in_file_ + static_cast<std::uint32_t>(pending_.size() / blank_.size());
}

char* SentChanges::pending_row(std::uint32_t row) {
    if (row <= in_file_ || row - in_file_ > pending_.size() / blank_.size()) return nullptr;
    return pending_.data() + (row - in_file_ - 1) * blank_.size();
}

void SentChanges::write_pending() {
    const auto rows = static_cast<std::uint32_t>(pending_.size() / blank_.size());
    if (rows == 0) return;
    file_->append_records(pending_.data(), rows);
    in_file_ += rows;
    pending_.clear();
}

void SentChanges::set_text(std::uint32_t row, std::string_view text) {
    if (char* bytes = pending_row(row)) return dbf::encode_text(layout_.tekst, text, bytes);
    buf_ = file_->record_view(row);
    dbf::encode_text(layout_.tekst, text, buf_.data());
    file_->write_record(row, buf_.data());
}

std::string_view SentChanges::row(std::uint32_t row) {
    if (const char* bytes = pending_row(row)) return {bytes, blank_.size()};
    return file_->record_view(row);
}

void SentChanges::close() {
    if (file_) {
        write_pending();
        file_->close();
    }
    file_.reset();
}

bool commit_sent_changes() {
    if (!platform::file_exists(kChangesUnderWay)) return false;
    try {
        platform::replace_file(platform::resolve_path(kChangesUnderWay), platform::resolve_path(kChangesToWriteIn));
        return true;
    } catch (const DbError&) {
        drop_sent_changes();
        return false;
    }
}

bool write_in_sent_changes(dbf::Table& table) {
    if (!platform::file_exists(kChangesToWriteIn)) return false;
    const std::optional<SentRowLayout> into = SentRowLayout::of(table.fields());
    std::unique_ptr<dbf::DbfFile> file;
    try {
        file = dbf::DbfFile::open(kChangesToWriteIn, platform::Share::Exclusive, true);
    } catch (const DbError&) {
        // Changes that cannot be read are changes lost: their goods go again.
    }
    bool written = false;
    if (file && into) {
        ChangesFile changes(*file);
        if (changes.readable() && changes.fits(table, *into)) {
            write_in(table, *into, changes);
            written = true;
        }
        file->close();
    }
    if (!written) remove_if_present(kChangesToWriteIn);
    return written;
}

void sent_changes_written() { remove_if_present(kChangesToWriteIn); }

void drop_sent_changes() {
    try {
        remove_if_present(kChangesUnderWay);
    } catch (const DbError&) {
        // Held by another program: the next send removes it.
    }
}

}  // namespace durva
