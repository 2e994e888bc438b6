#include "common/dbf/ntx_index.h"

#include <algorithm>
#include <cstring>

#include "common/dbf/ntx_build.h"
#include "common/dbf/ntx_pager.h"
#include "common/dbf/ntx_redo.h"
#include "common/dbf/ntx_sort.h"
#include "common/dbf/ntx_tree.h"
#include "platform/errors.h"
#include "platform/own_file.h"

namespace durva::dbf {

namespace {

KeyExpr compile_for(const std::string& path, std::string_view text, const FieldList& fields) {
    try {
        return KeyExpr::compile(text, fields);
    } catch (const KeyExprError& e) {
        throw DbError(std::string("Nie mozna obliczyc klucza indeksu: ") + e.what(), path);
    }
}

// An update a process killed halfway left a redo record of: finished under
// the write lock before the index is read. A read-only opening mends too when
// the file may be written; when it may not, it opens the index as it is.
// Returns the opening used, which a writable opening goes on with.
std::shared_ptr<platform::File> mend_before_opening(const std::string& path, platform::Share mode, bool read_only) {
    std::shared_ptr<platform::File> file;
    try {
        file = platform::File::open(path, mode, false);
    } catch (const DbError&) {
        if (read_only) return nullptr;
        throw;
    }
    const bool shared = mode == platform::Share::Shared;
    if (shared) file->lock_wait(kNtxLockOffset, 1, true);
    try {
        ntx_mend(*file, ntx_redo_path(path));
    } catch (...) {
        if (shared) file->unlock(kNtxLockOffset, 1);
        throw;
    }
    if (shared) file->unlock(kNtxLockOffset, 1);
    return file;
}

}  // namespace

struct NtxIndex::Impl {
    Impl(std::shared_ptr<platform::File> file, NtxHeader h, KeyExpr e)
        : header(h), expr(std::move(e)), pager(std::move(file), std::move(h)), tree(pager) {}

    NtxHeader header;  // geometry as opened; the pager keeps the live root and free list
    KeyExpr expr;
    NtxPager pager;
    NtxTree tree;

    // The position of the entry last returned, so stepping on from it needs
    // no new descent.
    NtxPath cur;
    std::uint64_t cur_generation = 0;
    std::uint64_t cur_evictions = 0;
    std::string cur_key;
    std::uint32_t cur_recno = 0;
    bool cur_ok = false;

    std::string key_buf;

    size_t key_size() const { return static_cast<size_t>(header.key_size); }

    // A key as the tree stores it: cut or padded with blanks to the key size.
    const unsigned char* full_key(std::string_view key) {
        if (key.size() == key_size()) return reinterpret_cast<const unsigned char*>(key.data());
        key_buf.assign(key.substr(0, key_size()));
        key_buf.resize(key_size(), ' ');
        return reinterpret_cast<const unsigned char*>(key_buf.data());
    }

    // The remembered position still stands on `e`, and every page on its
    // path is still cached where the path points (and kept for this operation).
    bool at(const NtxEntry& e) {
        if (!cur_ok || cur_generation != pager.generation() || e.recno != cur_recno || e.key != cur_key) return false;
        if (pager.evictions() == cur_evictions) {
            for (const NtxFrame& f : cur.frames) pager.keep(f.bytes);
            return true;
        }
        for (const NtxFrame& f : cur.frames)
            if (!pager.hold(f.page, f.bytes)) return false;
        return true;
    }

    // Runs a read under the read lock. One that meets a damaged page just
    // after another workstation was killed halfway through an update finishes
    // that update and is tried once more.
    template <class Read>
    auto reading(Read&& read) {
        try {
            NtxPager::ReadScope lock(pager);
            return read();
        } catch (const DbError&) {
            if (!pager.mend_after_damage()) throw;
        }
        cur_ok = false;
        NtxPager::ReadScope lock(pager);
        return read();
    }

    std::optional<NtxEntry> result(bool found) {
        if (!found) {
            cur_ok = false;
            return std::nullopt;
        }
        NtxEntry e{std::string(reinterpret_cast<const char*>(tree.key_at(cur)), key_size()), tree.recno_at(cur)};
        cur_key = e.key;
        cur_recno = e.recno;
        cur_generation = pager.generation();
        cur_evictions = pager.evictions();
        cur_ok = true;
        return e;
    }
};

NtxIndex::NtxIndex(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
NtxIndex::~NtxIndex() = default;

std::unique_ptr<NtxIndex> NtxIndex::open(const std::string& path, platform::Share mode, const FieldList& fields,
                                         bool read_only) {
    std::shared_ptr<platform::File> file;
    if (ntx_redo_pending(ntx_redo_path(path))) file = mend_before_opening(path, mode, read_only);
    if (!file || read_only) {
        file.reset();  // an exclusive opening is let go of before it is made again
        file = platform::File::open(path, mode, read_only);
    }
    unsigned char page[kNtxPageSize];
    std::uint64_t size;
    size_t got;
    {
        // Another workstation may be halfway through an update.
        bool shared = mode == platform::Share::Shared;
        if (shared) file->lock_wait(kNtxLockOffset, 1, false);
        try {
            got = file->read_at(page, sizeof page, 0);
            size = file->size();
        } catch (...) {
            if (shared) file->unlock(kNtxLockOffset, 1);
            throw;
        }
        if (shared) file->unlock(kNtxLockOffset, 1);
    }
    if (got != sizeof page) throw DbError("Uszkodzony naglowek indeksu (plik za krotki)", path);
    NtxHeader header = NtxHeader::parse(page, size, path, read_only);
    KeyExpr expr = compile_for(path, header.expression, fields);
    return std::unique_ptr<NtxIndex>(new NtxIndex(std::make_unique<Impl>(std::move(file), std::move(header), std::move(expr))));
}

std::unique_ptr<NtxIndex> NtxIndex::create(const std::string& path, std::string_view expression,
                                           const FieldList& fields, std::uint32_t record_count,
                                           const RecordSource& record, platform::Share mode, bool unique) {
    NtxOptions options;
    options.unique = unique;
    return create(path, expression, fields, record_count, record, mode, options);
}

std::unique_ptr<NtxIndex> NtxIndex::create(const std::string& path, std::string_view expression,
                                           const FieldList& fields, std::uint32_t record_count,
                                           const RecordSource& record, platform::Share mode,
                                           const NtxOptions& options) {
    const std::uint16_t sig = options.signature;
    if (sig != kNtxSigOldFormat && (sig & kNtxSigFor))
        throw DbError("Indeksu z warunkiem FOR nie mozna odbudowac", path);
    if (sig != kNtxSigOldFormat && (sig & ~(kNtxSigNormal | kNtxSigLockScheme)) != 0)
        throw DbError("Nieobslugiwany rodzaj indeksu", path);
    KeyExpr expr = compile_for(path, expression, fields);
    if (expression.size() > 255) throw DbError("Wyrazenie klucza dluzsze niz 255 znakow", path);

    // The key size comes from the expression's value on a blank record, as
    // the other programs fix it (so TRIM() in a key can make it short).
    size_t record_len = 1;
    for (const FieldDesc& f : fields) record_len = std::max(record_len, static_cast<size_t>(f.offset + f.length));
    std::string blank(record_len, ' ');
    XValue sample = expr.eval(blank);
    NtxHeader h;
    switch (sample.type) {
        case XValue::Type::Char: h.key_size = static_cast<int>(std::min<size_t>(sample.s.size(), kNtxMaxKeySize)); break;
        case XValue::Type::Num:
            h.key_size = sample.width;
            h.key_decimals = sample.decimals;
            break;
        case XValue::Type::Date: h.key_size = 8; break;
        case XValue::Type::Logical: h.key_size = 1; break;
    }
    if (h.key_size < 1 || h.key_size > kNtxMaxKeySize)
        throw DbError("Niewlasciwa dlugosc klucza indeksu (" + std::to_string(h.key_size) + ")", path);
    if (h.key_decimals < 0 || h.key_decimals >= h.key_size) h.key_decimals = 0;
    h.item_size = h.key_size + 8;
    h.max_items = NtxHeader::max_items_for(h.key_size);
    h.half_page = h.max_items / 2;
    h.expression = std::string(expression);
    h.unique = options.unique;
    h.descending = options.descending;
    h.prefix.signature = sig;

    NtxKeySort sorted(static_cast<size_t>(h.key_size), options.unique, options.descending, record_count);
    std::string key;
    for (std::uint32_t r = 1; r <= record_count; ++r) {
        expr.eval_key_to(record(r), h.key_size, h.key_decimals, key);
        sorted.add(reinterpret_cast<const unsigned char*>(key.data()));
    }
    const std::uint64_t count = sorted.count();

    std::shared_ptr<platform::File> file = platform::File::create(path);
    // A redo record of the file this one replaces must never be applied to it.
    platform::remove_own_file(ntx_redo_path(path));
    std::vector<unsigned char> head;
    std::uint64_t size = ntx_build_pages(h, count, sorted.entries(),
                                         [&](const unsigned char* bytes, size_t len, std::uint64_t offset) {
                                             // Every page of it will be rewritten on its own later.
                                             file->write_in_pieces(bytes, len, offset);
                                             if (offset == 0) head.assign(bytes, bytes + len);
                                         });
    if (mode == platform::Share::Shared) {
        file.reset();
        file = platform::File::open(path, platform::Share::Shared);
    }
    NtxHeader written = NtxHeader::parse(head.data(), size, path, false);
    return std::unique_ptr<NtxIndex>(new NtxIndex(std::make_unique<Impl>(std::move(file), std::move(written), std::move(expr))));
}

const std::string& NtxIndex::path() const { return impl_->pager.path(); }
const std::string& NtxIndex::expression() const { return impl_->header.expression; }
int NtxIndex::key_size() const { return impl_->header.key_size; }
int NtxIndex::key_decimals() const { return impl_->header.key_decimals; }
bool NtxIndex::unique() const { return impl_->header.unique; }
NtxOptions NtxIndex::options() const {
    const NtxHeader& h = impl_->header;
    return NtxOptions{h.unique, h.descending, h.prefix.signature};
}
bool NtxIndex::extended_lock_scheme() const { return (impl_->header.prefix.signature & 0x0010) != 0; }

bool NtxIndex::key_reads(int offset, int length) const { return impl_->expr.reads(offset, length); }

std::string NtxIndex::key_of(std::string_view record) const {
    return impl_->expr.eval_key(record, impl_->header.key_size, impl_->header.key_decimals);
}

void NtxIndex::key_of(std::string_view record, std::string& out) const {
    impl_->expr.eval_key_to(record, impl_->header.key_size, impl_->header.key_decimals, out);
}

std::optional<NtxEntry> NtxIndex::first() {
    Impl& d = *impl_;
    return d.reading([&] { return d.result(d.tree.first(d.cur)); });
}

std::optional<NtxEntry> NtxIndex::last() {
    Impl& d = *impl_;
    return d.reading([&] { return d.result(d.tree.last(d.cur)); });
}

std::optional<NtxEntry> NtxIndex::seek(std::string_view key) {
    Impl& d = *impl_;
    if (key.size() > d.key_size()) key = key.substr(0, d.key_size());
    return d.reading([&] {
        return d.result(d.tree.lower_bound(d.cur, reinterpret_cast<const unsigned char*>(key.data()), key.size()));
    });
}

std::optional<NtxEntry> NtxIndex::next(const NtxEntry& from) {
    Impl& d = *impl_;
    return d.reading([&] {
        if (d.at(from)) return d.result(d.tree.next(d.cur));
        const unsigned char* key = d.full_key(from.key);
        if (d.tree.find(d.cur, key, from.recno)) return d.result(d.tree.next(d.cur));
        // The entry is gone (changed by another workstation): go on after its key.
        return d.result(d.tree.upper_bound(d.cur, key));
    });
}

std::optional<NtxEntry> NtxIndex::prev(const NtxEntry& from) {
    Impl& d = *impl_;
    return d.reading([&] {
        if (d.at(from)) return d.result(d.tree.prev(d.cur));
        const unsigned char* key = d.full_key(from.key);
        if (d.tree.find(d.cur, key, from.recno)) return d.result(d.tree.prev(d.cur));
        if (d.tree.lower_bound(d.cur, key, d.key_size())) return d.result(d.tree.prev(d.cur));
        return d.result(d.tree.last(d.cur));
    });
}

void NtxIndex::insert(std::string_view key, std::uint32_t recno) {
    Impl& d = *impl_;
    d.cur_ok = false;
    NtxPager::WriteScope w(d.pager);
    d.tree.insert(d.full_key(key), recno);
    w.commit();
}

void NtxIndex::insert_many(const std::vector<NtxEntry>& entries) {
    if (entries.empty()) return;
    Impl& d = *impl_;
    d.cur_ok = false;
    NtxPager::WriteScope w(d.pager);
    for (const NtxEntry& e : entries) d.tree.insert(d.full_key(e.key), e.recno);
    w.commit();
}

bool NtxIndex::remove(std::string_view key, std::uint32_t recno) {
    Impl& d = *impl_;
    d.cur_ok = false;
    NtxPager::WriteScope w(d.pager);
    bool found = d.tree.remove(d.full_key(key), recno);
    w.commit();
    return found;
}

void NtxIndex::update(std::string_view old_key, std::string_view new_key, std::uint32_t recno) {
    Impl& d = *impl_;
    std::string old_full(reinterpret_cast<const char*>(d.full_key(old_key)), d.key_size());
    std::string new_full(reinterpret_cast<const char*>(d.full_key(new_key)), d.key_size());
    if (old_full == new_full) return;
    d.cur_ok = false;
    NtxPager::WriteScope w(d.pager);
    d.tree.remove(reinterpret_cast<const unsigned char*>(old_full.data()), recno);
    d.tree.insert(reinterpret_cast<const unsigned char*>(new_full.data()), recno);
    w.commit();
}

std::string NtxIndex::verify(std::uint32_t record_count) {
    Impl& d = *impl_;
    try {
        return d.reading([&] { return d.tree.verify(record_count); });
    } catch (const DbError& e) {
        return e.cause();
    }
}

void NtxIndex::flush() { impl_->pager.flush(); }

void NtxIndex::sync_to_disk() { impl_->pager.sync(); }

size_t NtxIndex::cached_pages() const { return impl_->pager.cached_pages(); }
void NtxIndex::shrink_cache(size_t pages) { impl_->pager.shrink(pages); }

void NtxIndex::hold_read_lock() { impl_->pager.hold_read_lock(); }
void NtxIndex::release_read_lock() { impl_->pager.release_read_lock(); }
void NtxIndex::set_lock_waiter(std::weak_ptr<platform::LockWaiter> waiter) {
    impl_->pager.file()->set_lock_waiter(std::move(waiter));
}

std::uint64_t NtxIndex::key_count() {
    Impl& d = *impl_;
    return d.reading([&] { return d.tree.count(); });
}

}  // namespace durva::dbf
