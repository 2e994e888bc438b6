#include "common/dbf/table.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <exception>
#include <vector>

#include "common/dbf/ntx_header.h"
#include "common/dbf/table_paths.h"
#include "platform/errors.h"
#include "platform/folder_file.h"
#include "platform/path_resolver.h"

namespace durva::dbf {

Table::Table(std::unique_ptr<DbfFile> dbf, const TableSettings& settings, const platform::Clock* clock)
    : dbf_(std::move(dbf)), settings_(&settings), clock_(clock) {
    blank_ = dbf_->blank_record();
    rec_ = blank_;
    orig_ = blank_;
    cur_ = blank_.data();
}

std::unique_ptr<Table> Table::open(std::string_view path, platform::Share mode, const TableSettings& settings,
                                   bool read_only, const platform::Clock* clock) {
    auto dbf = DbfFile::open(with_extension(path, ".dbf"), mode, read_only, clock);
    std::unique_ptr<Table> t(new Table(std::move(dbf), settings, clock));
    t->alias_ = default_alias(path);
    t->go_top();
    return t;
}

Table::~Table() {
    try {
        close();
    } catch (...) {
        // Nothing can be reported from here; close() reports to those who call it.
    }
}

void Table::set_lock_waiter(std::weak_ptr<platform::LockWaiter> waiter) {
    lock_waiter_ = std::move(waiter);
    dbf_->set_lock_waiter(lock_waiter_);
    for (auto& ix : indexes_) ix->set_lock_waiter(lock_waiter_);
}

std::string Table::field_name(int pos) const {
    if (pos < 1 || pos > field_count()) return {};
    return fields()[static_cast<size_t>(pos - 1)].name;
}

const FieldDesc& Table::field_at(int pos) const {
    if (pos < 1 || pos > field_count()) throw DbError("Brak pola w tabeli", path());
    return fields()[static_cast<size_t>(pos - 1)];
}

// ---- record buffer -------------------------------------------------------

bool Table::load(std::uint32_t recno) {
    if (recno == 0) return false;
    if (dbf_->exclusive()) {
        if (recno > dbf_->record_count()) return false;
        cur_ = nullptr;  // read when first wanted
        loaded_deleted_ = settings_->deleted_hidden && dbf_->deleted(recno);
    } else {
        std::string_view v = dbf_->record_view(recno);
        if (v.empty()) return false;
        rec_.assign(v);  // the next read of the file overwrites the view
        cur_ = rec_.data();
        loaded_deleted_ = cur_[0] == '*';
    }
    recno_ = recno;
    dirty_ = appended_ = false;
    return true;
}

const char* Table::cur() const {
    if (cur_) return cur_;
    std::string_view v = dbf_->record_view(recno_);
    return v.empty() ? blank_.data() : v.data();
}

void Table::begin_change() {
    if (dirty_) return;
    if (cur_ != rec_.data()) rec_.assign(cur(), static_cast<size_t>(dbf_->record_length()));
    orig_.assign(rec_);
    cur_ = rec_.data();
    dirty_ = true;
}

void Table::to_phantom(bool bof) {
    recno_ = dbf_->record_count() + 1;
    cur_ = blank_.data();
    eof_ = true;
    bof_ = bof;
    pos_ = NtxEntry{};
    dirty_ = appended_ = false;
}

void Table::refresh_position_key() {
    if (NtxIndex* ix = controlling(); ix && !eof_) pos_ = NtxEntry{ix->key_of(file_record()), recno_};
    else pos_ = NtxEntry{};
}

Table::PendingKey* Table::pending_key(const NtxIndex* ix, std::uint32_t recno) {
    for (PendingKey& p : pending_keys_)
        if (p.index == ix && p.recno == recno) return &p;
    return nullptr;
}

void Table::forget_pending_key(const NtxIndex* ix, std::uint32_t recno) {
    std::erase_if(pending_keys_, [&](const PendingKey& p) { return p.index == ix && p.recno == recno; });
}

void Table::remember_pending_key(NtxIndex* ix, std::uint32_t recno, bool absent, const std::string& held) {
    if (pending_key(ix, recno)) return;  // the index still holds what it held before
    pending_keys_.push_back(PendingKey{ix, recno, absent, held});
}

namespace {
// A change the named index could not take: the record itself is written, the
// other indexes have it, and this one is tried again at the next unlock or
// commit; a damaged index is mended by rebuilding it.
DbError index_not_updated(const DbError& e) {
    return DbError("Nie uaktualniono indeksu: " + e.cause(), e.file(), e.os_error());
}

// Throws the first failure of an index loop: a DbError as the index's, any
// other (the operator ending the program during a wait) as it is.
[[noreturn]] void throw_index_failure(const std::exception_ptr& failure) {
    try {
        std::rethrow_exception(failure);
    } catch (const DbError& e) {
        throw index_not_updated(e);
    }
}
}  // namespace

void Table::flush() {
    if (!dirty_ || !dbf_->is_open()) return;
    // Keys before and after, then the record, then each index: the record is
    // on disk before any index points at its new key.
    std::vector<std::string>& old_keys = old_keys_;
    std::vector<std::string>& new_keys = new_keys_;
    old_keys.resize(indexes_.size());
    new_keys.resize(indexes_.size());
    absent_.assign(indexes_.size(), appended_);
    for (size_t i = 0; i < indexes_.size(); ++i) {
        if (const PendingKey* p = pending_keys_.empty() ? nullptr : pending_key(indexes_[i].get(), recno_)) {
            // An earlier change this index did not take: it still holds this.
            absent_[i] = p->absent;
            old_keys[i] = p->held;
        } else if (appended_) {
            old_keys[i].clear();
        } else {
            indexes_[i]->key_of(orig_, old_keys[i]);
        }
        indexes_[i]->key_of(rec_, new_keys[i]);
    }
    // Shared, the file already holds what the record had when it was locked
    // (or the blank the append wrote): a record left as it was is not
    // written again. Held exclusively, the write only reaches the cache and
    // marks the header for its date, as any write-back does. A failed write
    // leaves the change pending.
    const std::string& on_disk = appended_ ? blank_ : orig_;
    if (dbf_->exclusive() || rec_ != on_disk) dbf_->write_record(recno_, rec_.data());
    dirty_ = appended_ = false;
    // Every index that can take the change gets it, whatever another one does.
    std::exception_ptr failure;
    for (size_t i = 0; i < indexes_.size(); ++i) {
        NtxIndex* ix = indexes_[i].get();
        try {
            if (absent_[i]) ix->insert(new_keys[i], recno_);
            else if (old_keys[i] != new_keys[i]) ix->update(old_keys[i], new_keys[i], recno_);
            if (!pending_keys_.empty()) forget_pending_key(ix, recno_);
        } catch (...) {
            remember_pending_key(ix, recno_, absent_[i], old_keys[i]);
            if (!failure) failure = std::current_exception();
        }
    }
    if (order_ > 0) {
        pos_.key.assign(new_keys[static_cast<size_t>(order_ - 1)]);
        pos_.recno = recno_;
    }
    if (failure) throw_index_failure(failure);
}

void Table::retry_pending_keys() {
    std::exception_ptr failure;
    for (size_t k = 0; k < pending_keys_.size();) {
        PendingKey& p = pending_keys_[k];
        std::string_view rec = dbf_->record_view(p.recno);
        if (rec.empty()) {  // the record is gone (the table was cut)
            pending_keys_.erase(pending_keys_.begin() + static_cast<std::ptrdiff_t>(k));
            continue;
        }
        try {
            std::string key = p.index->key_of(rec);
            if (p.absent) p.index->insert(key, p.recno);
            else p.index->update(p.held, key, p.recno);
            pending_keys_.erase(pending_keys_.begin() + static_cast<std::ptrdiff_t>(k));
        } catch (...) {
            if (!failure) failure = std::current_exception();
            ++k;
        }
    }
    if (failure) throw_index_failure(failure);
}

// ---- moves ---------------------------------------------------------------

bool Table::position_on_entry(std::optional<NtxEntry> e, bool forward) {
    NtxIndex* ix = controlling();
    while (e) {
        if (load(e->recno) && visible()) {
            pos_ = std::move(*e);
            return true;
        }
        e = forward ? ix->next(*e) : ix->prev(*e);
    }
    return false;
}

void Table::after_move() { sync_children(); }

void Table::go_to(std::uint32_t recno) {
    flush();
    found_ = false;
    if (load(recno)) {
        bof_ = eof_ = false;
        refresh_position_key();
    } else {
        to_phantom(dbf_->record_count() == 0);
    }
    after_move();
}

void Table::go_top() {
    flush();
    found_ = false;
    bool ok = false;
    if (NtxIndex* ix = controlling()) {
        ok = position_on_entry(ix->first(), true);
    } else {
        std::uint32_t n = dbf_->record_count();
        for (std::uint32_t r = 1; r <= n && !ok; ++r) ok = load(r) && visible();
    }
    if (ok) bof_ = eof_ = false;
    else to_phantom(true);
    after_move();
}

void Table::go_bottom() {
    flush();
    found_ = false;
    bool ok = false;
    if (NtxIndex* ix = controlling()) {
        ok = position_on_entry(ix->last(), false);
    } else {
        for (std::uint32_t r = dbf_->record_count(); r >= 1 && !ok; --r) ok = load(r) && visible();
    }
    if (ok) bof_ = eof_ = false;
    else to_phantom(true);
    after_move();
}

void Table::skip(std::int64_t n) {
    flush();
    found_ = false;
    if (n == 0) {
        // Re-reads the current record: what another workstation wrote shows.
        if (!eof_ && load(recno_)) refresh_position_key();
    } else if (controlling()) {
        skip_index_order(n);
    } else {
        skip_record_order(n);
    }
    after_move();
}

void Table::skip_record_order(std::int64_t n) {
    if (n > 0) {
        if (eof_) return;
        std::uint32_t r = recno_;
        for (std::int64_t step = 0; step < n; ++step) {
            do {
                ++r;
                if (!load(r)) {
                    to_phantom(false);
                    return;
                }
            } while (!visible());
        }
        bof_ = eof_ = false;
        return;
    }
    std::uint32_t r = recno_;
    std::int64_t steps = -n;
    if (eof_) {
        // From the end the first step lands on the last record there is now.
        r = dbf_->record_count() + 1;
    }
    for (std::int64_t step = 0; step < steps; ++step) {
        bool ok = false;
        while (!ok && r > 1) ok = load(--r) && visible();
        if (!ok) {
            // Ran off the beginning: stay on the first record with BOF set.
            bool top = false;
            std::uint32_t cnt = dbf_->record_count();
            for (std::uint32_t k = 1; k <= cnt && !top; ++k) top = load(k) && visible();
            if (top) {
                eof_ = false;
                bof_ = true;
            } else {
                to_phantom(true);
            }
            return;
        }
    }
    bof_ = eof_ = false;
}

void Table::skip_index_order(std::int64_t n) {
    NtxIndex* ix = controlling();
    if (n > 0) {
        if (eof_) return;
        for (std::int64_t step = 0; step < n; ++step) {
            if (!position_on_entry(ix->next(pos_), true)) {
                to_phantom(false);
                return;
            }
        }
        bof_ = eof_ = false;
        return;
    }
    std::int64_t steps = -n;
    for (std::int64_t step = 0; step < steps; ++step) {
        bool ok = (step == 0 && eof_) ? position_on_entry(ix->last(), false)
                                       : position_on_entry(ix->prev(pos_), false);
        if (!ok) {
            if (position_on_entry(ix->first(), true)) {
                eof_ = false;
                bof_ = true;
            } else {
                to_phantom(true);
            }
            return;
        }
    }
    bof_ = eof_ = false;
}

bool Table::seek(std::string_view key) { return seek(key, settings_->soft_seek); }

bool Table::seek(std::string_view key, bool soft) {
    flush();
    found_ = false;
    NtxIndex* ix = controlling();
    if (!ix) throw DbError("Tabela bez aktywnego indeksu", path());
    std::string k(key.substr(0, std::min(key.size(), static_cast<size_t>(std::max(ix->key_size(), 0)))));
    std::optional<NtxEntry> e = ix->seek(k);
    if (!soft && (!e || e->key.compare(0, k.size(), k) != 0)) {
        // No equal key at all: a hard seek ends without reading a record.
        to_phantom(false);
        after_move();
        return false;
    }
    bool ok = position_on_entry(std::move(e), true);
    if (ok) found_ = pos_.key.compare(0, k.size(), k) == 0;
    if (ok && (found_ || soft)) bof_ = eof_ = false;
    else to_phantom(false);
    after_move();
    return found_;
}

// ---- relations -----------------------------------------------------------

void Table::set_relation(Table& child, std::string_view expression) {
    try {
        relations_.push_back(Relation{&child, KeyExpr::compile(expression, fields())});
    } catch (const KeyExprError& e) {
        throw DbError(std::string("Bledne wyrazenie relacji: ") + e.what(), path());
    }
    sync_children();
}

void Table::clear_relations() { relations_.clear(); }

void Table::drop_relations_to(const Table& child) {
    relations_.erase(std::remove_if(relations_.begin(), relations_.end(),
                                    [&](const Relation& r) { return r.child == &child; }),
                     relations_.end());
}

void Table::sync_children() {
    for (Relation& r : relations_) {
        if (eof_) {
            r.child->flush();
            r.child->found_ = false;
            r.child->to_phantom(false);
            r.child->after_move();
        } else {
            r.child->seek_for_relation(r.expr.eval(record()));
        }
    }
}

void Table::seek_for_relation(const XValue& v) {
    switch (v.type) {
        case XValue::Type::Num:
            if (!controlling()) {
                go_to(v.n >= 1 ? static_cast<std::uint32_t>(v.n) : 0);
                return;
            }
            throw DbError("Relacja po kluczu liczbowym nieobslugiwana", path());
        case XValue::Type::Date:
            seek_or_end(v.d.dtos());
            return;
        case XValue::Type::Logical:
            seek_or_end(v.b ? "T" : "F");
            return;
        case XValue::Type::Char:
            seek_or_end(v.s);
            return;
    }
}

void Table::seek_or_end(std::string_view key) {
    if (controlling()) {
        seek(key, false);
        return;
    }
    flush();
    found_ = false;
    to_phantom(false);
    after_move();
}

// ---- fields --------------------------------------------------------------

FieldValue Table::get(int pos) const { return decode_field(field_at(pos), record()); }

std::string Table::text(std::string_view name) const {
    return std::string(field_bytes(record(), field_at(field_pos_or_throw(name))));
}
double Table::number(std::string_view name) const {
    return decode_number(field_bytes(record(), field_at(field_pos_or_throw(name))));
}
Date Table::date(std::string_view name) const {
    return decode_date(field_bytes(record(), field_at(field_pos_or_throw(name))));
}
bool Table::logical(std::string_view name) const {
    return decode_logical(field_bytes(record(), field_at(field_pos_or_throw(name))));
}

int Table::field_pos_or_throw(std::string_view name) const {
    int pos = field_pos(name);
    if (pos == 0) throw DbError("Brak pola " + std::string(name) + " w tabeli", path());
    return pos;
}

void Table::require_writable_record() const {
    if (dbf_->read_only()) throw DbError("Tabela otwarta tylko do odczytu", path());
    if (eof_) throw DbError("Zapis poza koncem tabeli", path());
    if (!dbf_->exclusive() && !dbf_->file_locked() && locked_rec_ != recno_)
        throw DbError("Zapis rekordu bez blokady", path());
}

void Table::put(std::string_view name, const FieldValue& value) { put(field_pos_or_throw(name), value); }

void Table::put(int pos, const FieldValue& value) {
    require_writable_record();
    const FieldDesc& f = field_at(pos);
    begin_change();
    encode_field(f, value, rec_.data());
}

void Table::delete_record() {
    require_writable_record();
    begin_change();
    rec_[0] = '*';
}

void Table::recall() {
    require_writable_record();
    begin_change();
    rec_[0] = ' ';
}

// ---- appending and locks -------------------------------------------------

bool Table::append_blank() {
    flush();
    if (dbf_->read_only()) throw DbError("Tabela otwarta tylko do odczytu", path());
    if (locked_rec_ != 0) {
        dbf_->unlock_record(locked_rec_);
        locked_rec_ = 0;
    }
    std::uint32_t r = dbf_->append_record(blank_.data());
    if (r == 0) return false;
    locked_rec_ = r;
    recno_ = r;
    rec_.assign(blank_);
    orig_.assign(blank_);
    cur_ = rec_.data();
    dirty_ = appended_ = true;
    bof_ = eof_ = found_ = false;
    if (NtxIndex* ix = controlling()) {
        ix->key_of(rec_, pos_.key);
        pos_.recno = r;
    }
    return true;
}

std::uint32_t Table::append_records(std::string_view records) {
    flush();
    if (dbf_->read_only()) throw DbError("Tabela otwarta tylko do odczytu", path());
    const size_t rl = static_cast<size_t>(dbf_->record_length());
    if (records.empty() || records.size() % rl != 0) throw DbError("Niepelne rekordy do dopisania", path());
    const auto n = static_cast<std::uint32_t>(records.size() / rl);
    const std::uint32_t first = dbf_->append_records(records.data(), n);
    // The records are on disk before any index points at them.
    std::exception_ptr failure;
    std::vector<NtxEntry> entries(n);
    for (auto& ix : indexes_) {
        for (std::uint32_t i = 0; i < n; ++i) {
            ix->key_of(records.substr(i * rl, rl), entries[i].key);
            entries[i].recno = first + i;
        }
        try {
            ix->insert_many(entries);
        } catch (...) {
            for (std::uint32_t i = 0; i < n; ++i) remember_pending_key(ix.get(), first + i, true, std::string());
            if (!failure) failure = std::current_exception();
        }
    }
    found_ = false;
    if (load(first + n - 1)) {
        bof_ = eof_ = false;
        refresh_position_key();
    }
    if (failure) throw_index_failure(failure);
    return first;
}

bool Table::lock_record() {
    if (eof_) return false;
    return lock_record(recno_);
}

bool Table::lock_record(std::uint32_t recno) {
    flush();
    if (locked_rec_ == recno && recno != 0) return true;
    if (locked_rec_ != 0) {
        dbf_->unlock_record(locked_rec_);
        locked_rec_ = 0;
    }
    if (!dbf_->lock_record(recno)) return false;
    locked_rec_ = recno;
    // What another workstation wrote before our lock must be what we change.
    if (recno == recno_ && !eof_ && !dbf_->exclusive() && load(recno_)) refresh_position_key();
    return true;
}

bool Table::lock_file() {
    flush();
    if (locked_rec_ != 0) {
        dbf_->unlock_record(locked_rec_);
        locked_rec_ = 0;
    }
    if (!dbf_->lock_file()) return false;
    if (!eof_ && !dbf_->exclusive() && load(recno_)) refresh_position_key();
    return true;
}

void Table::release_locks() {
    if (locked_rec_ != 0) {
        dbf_->unlock_record(locked_rec_);
        locked_rec_ = 0;
    }
    dbf_->unlock_file();
}

void Table::unlock() {
    if (!dbf_->is_open()) return;
    try {
        flush();
        if (!pending_keys_.empty()) retry_pending_keys();
    } catch (...) {
        if (dirty_ && !dbf_->exclusive()) {
            // The record itself could not be written, and without its lock it
            // must not be written later: the change is dropped (the caller
            // hears why) and the record's indexes are brought to what the file
            // holds, which for a new record is its blank.
            rec_.assign(orig_);
            cur_ = rec_.data();
            try {
                flush();
            } catch (...) {
                // Reported below through the first failure; kept as pending keys.
            }
            dirty_ = appended_ = false;
        }
        release_locks();
        throw;
    }
    release_locks();
}

void Table::commit() {
    flush();
    if (!pending_keys_.empty()) retry_pending_keys();
    dbf_->commit();
    for (auto& ix : indexes_) ix->flush();
}

void Table::sync_to_disk() {
    commit();
    dbf_->sync_to_disk();
    for (auto& ix : indexes_) ix->sync_to_disk();
}

void Table::add_forcings(std::vector<std::function<void()>>& files, std::vector<std::function<void()>>& indexes) {
    commit();
    files.push_back([this] { dbf_->sync_to_disk(); });
    for (auto& ix : indexes_) indexes.push_back([ix = ix.get()] { ix->sync_to_disk(); });
}

void Table::close() {
    if (!dbf_ || !dbf_->is_open()) return;
    relations_.clear();
    try {
        unlock();
        for (auto& ix : indexes_) ix->flush();  // so that a failure is reported, not lost
    } catch (...) {
        pending_keys_.clear();
        indexes_.clear();
        dbf_->close();
        throw;
    }
    pending_keys_.clear();
    indexes_.clear();
    order_ = 0;
    dbf_->close();
}

// ---- indexes -------------------------------------------------------------

void Table::add_index(std::string_view path) {
    flush();
    std::string resolved = platform::resolve_path(with_extension(path, ".ntx"));
    indexes_.push_back(NtxIndex::open(resolved, dbf_->exclusive() ? platform::Share::Exclusive : platform::Share::Shared,
                                      fields(), dbf_->read_only()));
    indexes_.back()->set_lock_waiter(lock_waiter_);
    use_lock_scheme_of(*indexes_.back());
    if (order_ == 0 && indexes_.size() == 1) {
        order_ = 1;
        go_top();
    }
}

namespace {
// True when the index file at `path` (if there is one) carries the mark of
// the extended lock scheme.
bool marks_extended_locks(const std::string& path) {
    const int fd = platform::open_regular(path, O_RDONLY);
    if (fd < 0) return false;
    unsigned char sig[2] = {};
    const bool read = ::pread(fd, sig, 2, 0) == 2;
    ::close(fd);
    return read && (ntx_load16(sig) & kNtxSigLockScheme) != 0;
}

// The records of a table read for an index build, which asks for them in
// order: runs of them in one read each rather than one by one through the
// table's cache. A record a run cannot give (a shared table cut short
// meanwhile) is asked of the table itself.
class RecordRuns {
public:
    explicit RecordRuns(DbfFile& file)
        : file_(file), rl_(static_cast<size_t>(file.record_length())),
          buf_(std::max<size_t>(1, kRunBytes / rl_) * rl_) {}
    std::string_view record(std::uint32_t r) {
        if (r < first_ || r >= first_ + held_) {
            const auto want = static_cast<std::uint32_t>(buf_.size() / rl_);
            first_ = r;
            held_ = file_.exclusive() ? file_.read_run(r, want, buf_.data()) : file_.read_records(r, want, buf_.data());
            if (held_ == 0) return file_.record_view(r);
        }
        return {buf_.data() + (r - first_) * rl_, rl_};
    }

private:
    static constexpr size_t kRunBytes = 256 * 1024;
    DbfFile& file_;
    size_t rl_;
    std::vector<char> buf_;
    std::uint32_t first_ = 0, held_ = 0;
};
}  // namespace

void Table::create_index(std::string_view path, std::string_view expression, bool unique, bool additive,
                         const RecordSeen& seen) {
    flush();
    if (!additive) clear_indexes();
    std::string resolved = platform::resolve_path(with_extension(path, ".ntx"));
    RecordRuns runs(*dbf_);
    RecordSource source = [&runs, &seen](std::uint32_t r) {
        const std::string_view record = runs.record(r);
        if (seen) seen(r, record);
        return record;
    };
    // A table the other programs lock at the extended offsets (an index of it
    // says so) keeps saying so through every index made again for it.
    NtxOptions options;
    options.unique = unique;
    if (dbf_->lock_base() == kDbfExtendedLockBase || marks_extended_locks(resolved))
        options.signature |= kNtxSigLockScheme;
    // An expression that cannot be evaluated comes back as a DbError naming the index file.
    std::unique_ptr<NtxIndex> ix;
    try {
        ix = NtxIndex::create(resolved, expression, fields(), dbf_->record_count(), source,
                              dbf_->exclusive() ? platform::Share::Exclusive : platform::Share::Shared, options);
    } catch (...) {
        // A record the build asked of the table itself may have moved the
        // file's cache on: the current record is read again rather than kept
        // where it was.
        try {
            if (!eof_ && recno_ != 0) load(recno_);
        } catch (...) {
            // The failure that brought us here is the one to report.
        }
        throw;
    }
    ix->set_lock_waiter(lock_waiter_);
    indexes_.push_back(std::move(ix));
    use_lock_scheme_of(*indexes_.back());
    order_ = static_cast<int>(indexes_.size());
    go_top();
}

void Table::use_lock_scheme_of(const NtxIndex& ix) {
    // The other programs lock such a table at the extended offsets; so must we.
    if (ix.extended_lock_scheme() && dbf_->lock_base() != kDbfExtendedLockBase && locked_rec_ == 0 &&
        !dbf_->file_locked())
        dbf_->use_extended_locks();
}

void Table::clear_indexes() {
    flush();
    pending_keys_.clear();
    indexes_.clear();
    order_ = 0;
    pos_ = NtxEntry{};
}

bool Table::set_order(int n) {
    if (n < 0 || n > index_count()) return false;
    flush();
    order_ = n;
    refresh_position_key();
    return true;
}

}  // namespace durva::dbf
