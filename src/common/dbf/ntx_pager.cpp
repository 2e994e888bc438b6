#include "common/dbf/ntx_pager.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "common/dbf/ntx_redo.h"
#include "platform/errors.h"

namespace durva::dbf {

namespace {
size_t g_cache_budget = kNtxCachePages;
// Pages read at once while misses run forward through the file.
constexpr std::uint64_t kReadAhead = 16;
}  // namespace

size_t ntx_cache_budget() { return g_cache_budget; }
void set_ntx_cache_budget(size_t pages) { g_cache_budget = std::max<size_t>(pages, 1); }

void ntx_damaged(const std::string& what, const std::string& path) {
    throw DbError("Uszkodzony indeks (" + what + ")", path);
}

NtxPager::NtxPager(std::shared_ptr<platform::File> file, NtxHeader header)
    : file_(std::move(file)),
      header_(std::move(header)),
      disk_prefix_(header_.prefix),
      layout_(NtxLayout::of(header_)),
      file_end_(file_->size()),
      budget_(g_cache_budget),
      redo_(ntx_redo_path(file_->path())) {}

NtxPager::~NtxPager() {
    try {
        flush();
    } catch (...) {
        // Nothing can be reported from here; a caller that cares flushes first.
    }
}

void NtxPager::drop_cache() {
    if (!unflushed_.empty() || header_unflushed_) flush();
    forget_all();
}

void NtxPager::forget_all() {
    for (auto& f : frames_)
        if (find(f->offset) == f.get()) forget(*f);
    unflushed_.clear();
    ++generation_;
}

void NtxPager::forget(Cached& c) {
    by_page_[c.offset / kNtxPageSize] = nullptr;
    ++evictions_;
    c.touched = c.unflushed = c.in_tree = c.unchecked = c.referenced = false;
    free_.push_back(&c);
}

// The next page the clock hand finds that neither the operation in progress
// uses nor was wanted since the hand last came by, nor holds changes not yet
// written (they reach the file together, at flush(), so that the file only
// ever holds whole updates). frames_.size() when every page is in use.
size_t NtxPager::victim() {
    const size_t n = frames_.size();
    for (size_t seen = 0; seen < 2 * n; ++seen) {
        if (hand_ >= n) hand_ = 0;
        Cached& c = *frames_[hand_];
        size_t at = hand_++;
        if (find(c.offset) != &c || c.op == op_ || c.touched || c.unflushed) continue;
        if (c.referenced) {
            c.referenced = false;
            continue;
        }
        ++evictions_;
        return at;
    }
    return n;
}

// Gives back pages over the budget left by an operation that needed more at once.
void NtxPager::trim() { trim_to(budget_); }

void NtxPager::trim_to(size_t keep) {
    while (frames_.size() > keep) {
        if (!free_.empty()) {
            Cached* f = free_.back();
            free_.pop_back();
            for (size_t i = 0; i < frames_.size(); ++i)
                if (frames_[i].get() == f) {
                    frames_[i].swap(frames_.back());
                    break;
                }
            frames_.pop_back();
            continue;
        }
        size_t v = victim();
        if (v == frames_.size()) return;
        by_page_[frames_[v]->offset / kNtxPageSize] = nullptr;
        frames_[v].swap(frames_.back());
        frames_.pop_back();
    }
}

void NtxPager::shrink(size_t pages) {
    // Between operations the copies of the last update are gone already;
    // only their room is left.
    if (!backups_.empty()) return;
    trim_to(pages);
    std::vector<Backup>().swap(backups_);
    std::vector<unsigned char>().swap(staging_);
    std::vector<unsigned char>().swap(read_buf_);
}

void NtxPager::begin_operation() {
    ++op_;
    if (frames_.size() > budget_) trim();
}

bool NtxPager::hold(std::uint32_t offset, const unsigned char* bytes) {
    Cached* c = find(offset);
    if (!c || c->bytes != bytes || c->unchecked) return false;
    c->op = op_;
    c->referenced = true;
    return true;
}

void NtxPager::refresh() {
    unsigned char b[12];
    if (file_->read_at(b, sizeof b, 0) != sizeof b) ntx_damaged("naglowek obciety", path());
    NtxHeaderPrefix now = NtxHeaderPrefix::read(b);
    if (now == header_.prefix) return;
    // Another workstation changed the index: nothing cached can be trusted.
    drop_cache();
    if (now.signature != header_.prefix.signature) ntx_damaged("zmieniona sygnatura", path());
    file_end_ = file_->size();
    NtxHeader::check_prefix(now, file_end_, path());
    header_.prefix = disk_prefix_ = now;
}

// Under the write lock: an update another process left halfway is finished
// before anything else is read or written.
bool NtxPager::mend() {
    if (!redo_.mend(*file_)) return false;
    ++mends_;
    redo_cleared_ = true;
    reload();
    return true;
}

// The file changed under the cache without this pager knowing its header:
// everything is read afresh.
void NtxPager::reload() {
    drop_cache();
    unsigned char b[12];
    if (file_->read_at(b, sizeof b, 0) != sizeof b) ntx_damaged("naglowek obciety", path());
    NtxHeaderPrefix now = NtxHeaderPrefix::read(b);
    if (now.signature != header_.prefix.signature) ntx_damaged("zmieniona sygnatura", path());
    file_end_ = file_->size();
    NtxHeader::check_prefix(now, file_end_, path());
    header_.prefix = disk_prefix_ = now;
}

bool NtxPager::mend_after_damage() {
    if (!shared() || read_only()) return false;
    const std::uint64_t before = mends_;
    { WriteScope look(*this); }  // taking the write lock finishes what was left
    return mends_ != before;
}

void NtxPager::hold_read_lock() {
    if (!shared()) return;
    if (read_holds_ > 0) {
        ++read_holds_;
        return;
    }
    file_->lock_wait(kNtxLockOffset, 1, false);
    try {
        refresh();
    } catch (...) {
        file_->unlock(kNtxLockOffset, 1);
        throw;
    }
    read_holds_ = 1;
}

void NtxPager::release_read_lock() {
    if (read_holds_ == 0) return;
    if (--read_holds_ == 0) file_->unlock(kNtxLockOffset, 1);
}

NtxPager::ReadScope::ReadScope(NtxPager& p) : p_(p) {
    p_.begin_operation();
    if (!p_.shared() || p_.read_holds_ > 0) return;
    p_.file_->lock_wait(kNtxLockOffset, 1, false);
    try {
        p_.refresh();
    } catch (...) {
        p_.file_->unlock(kNtxLockOffset, 1);
        throw;
    }
    locked_ = true;
}

NtxPager::ReadScope::~ReadScope() {
    if (locked_) p_.file_->unlock(kNtxLockOffset, 1);
}

NtxPager::WriteScope::WriteScope(NtxPager& p) : p_(p) {
    if (p_.read_only()) throw DbError("Indeks otwarty tylko do odczytu", p_.path());
    p_.begin_operation();
    if (p_.shared()) {
        // Within a hold our read lock becomes the write lock (the same byte);
        // nobody can have written since it was taken, so the header is as we
        // know it.
        const bool held = p_.read_holds_ > 0;
        p_.file_->lock_wait(kNtxLockOffset, 1, true);
        try {
            // One look for a redo record per update: a workstation killed
            // halfway through its own left the tree (and maybe the header)
            // torn until this; mending reads the header afresh.
            if (!p_.mend() && !held) p_.refresh();
        } catch (...) {
            if (!held) {
                p_.file_->unlock(kNtxLockOffset, 1);
                throw;
            }
            try {
                p_.file_->lock_wait(kNtxLockOffset, 1, false);
            } catch (...) {
                // Left a write lock, which the release of the hold gives up all the same.
            }
            throw;
        }
        within_hold_ = held;
    }
    saved_prefix_ = p_.header_.prefix;
    saved_end_ = p_.file_end_;
}

void NtxPager::WriteScope::commit() {
    NtxHeaderPrefix& h = p_.header_.prefix;
    if (!p_.backups_.empty() || h != saved_prefix_) {
        h.version = static_cast<std::uint16_t>(saved_prefix_.version + 1);
        if (p_.shared()) {
            writing_ = true;
            std::vector<std::uint32_t>& pages = p_.changed_;
            pages.clear();
            for (const Backup& b : p_.backups_) pages.push_back(b.offset);
            p_.write_update(pages, saved_prefix_, saved_end_);
        } else {
            for (const Backup& b : p_.backups_) {
                Cached* c = p_.find(b.offset);
                if (!c->unflushed) {
                    c->unflushed = true;
                    p_.unflushed_.push_back(b.offset);
                }
            }
            p_.header_unflushed_ = true;
        }
    }
    for (const Backup& b : p_.backups_) p_.find(b.offset)->touched = false;
    p_.backups_.clear();
    done_ = true;
    // Changed pages stay in the cache until written; once they take a
    // quarter of it they are written, whole updates at a time.
    if (!p_.shared() && p_.unflushed_.size() > p_.budget_ / 4) p_.flush();
}

NtxPager::WriteScope::~WriteScope() {
    if (!done_) {
        p_.put_back();
        p_.header_.prefix = saved_prefix_;
        p_.file_end_ = saved_end_;
        // A write that failed halfway leaves the file unknown: read it afresh.
        if (writing_) p_.forget_all();
    }
    if (!p_.shared()) return;
    // Back to the read lock held across: turning a write lock into a read
    // lock of the same byte is never refused.
    if (!within_hold_) {
        p_.file_->unlock(kNtxLockOffset, 1);
        return;
    }
    try {
        p_.file_->lock_wait(kNtxLockOffset, 1, false);
    } catch (...) {
        // Left a write lock, which the release of the hold gives up all the same.
    }
}

void NtxPager::put_back() {
    for (auto b = backups_.rbegin(); b != backups_.rend(); ++b) {
        Cached* now = find(b->offset);
        if (!now) continue;  // a touched page never leaves the cache; nothing to put back
        if (!b->existed) {
            forget(*now);
            continue;
        }
        Cached& c = *now;
        std::memcpy(c.bytes, b->bytes, kNtxPageSize);
        c.unflushed = b->unflushed;
        c.in_tree = b->in_tree;
        c.unchecked = b->unchecked;
        c.touched = false;
    }
    backups_.clear();
}

// Writes an update (or, exclusive, every update since the last flush) so
// that a kill at any write or a full disk leaves an index the next opening
// makes whole (the order and the redo record: ntx_pager.h, ntx_redo.h).
// `before` and `old_end` are the header's first 12 bytes and the file's end
// as the file holds them now.
void NtxPager::write_update(std::vector<std::uint32_t>& offsets, const NtxHeaderPrefix& before,
                            std::uint64_t old_end) {
    std::sort(offsets.begin(), offsets.end());
    const std::uint32_t* first = offsets.data();
    const std::uint32_t* last = first + offsets.size();
    const std::uint32_t* fresh = std::lower_bound(first, last, old_end,
                                                  [](std::uint32_t off, std::uint64_t end) { return off < end; });
    const NtxHeaderPrefix& after = header_.prefix;
    const size_t in_place = static_cast<size_t>(fresh - first);
    const bool record = in_place > 1 || (in_place == 1 && (fresh != last || after.root != before.root ||
                                                           after.free_list != before.free_list));
    if (record) {
        try {
            redo_.begin(old_end, before, after, static_cast<std::uint32_t>(offsets.size()));
            for (const std::uint32_t* o = fresh; o != last; ++o) redo_.add(*o, find(*o)->bytes);
            for (const std::uint32_t* o = first; o != fresh; ++o) redo_.add(*o, find(*o)->bytes);
            redo_.finish();
        } catch (...) {
            redo_.abandon();
            throw;
        }
    }
    try {
        write_pages(fresh, last);
    } catch (...) {
        // The file could not grow (a full disk): no page in it has changed.
        // It is cut back to its end and the record has served, so that the
        // index is exactly as it was.
        try {
            file_->truncate(old_end);
            if (record) redo_.clear();
        } catch (const DbError&) {
            // Pages past the end that nothing names, or a record over the
            // header it starts from, which the next writer finishes.
        }
        throw;
    }
    write_pages(first, fresh);
    write_prefix();
    if (!record) return;
    try {
        redo_.clear();
        redo_cleared_ = true;
    } catch (const DbError&) {
        // The update is whole; a record over the header it made is dropped
        // by the next writer.
    }
}

void NtxPager::write_pages(const std::uint32_t* first, const std::uint32_t* last) {
    for (const std::uint32_t* i = first; i != last;) {
        const std::uint32_t* j = i + 1;
        while (j != last && *j == *(j - 1) + kNtxPageSize) ++j;
        if (j - i == 1) {
            file_->write_at(find(*i)->bytes, kNtxPageSize, *i);
        } else {
            // Adjacent pages (a bulk of new ones at the end) go in one write.
            staging_.resize(static_cast<size_t>(j - i) * kNtxPageSize);
            for (const std::uint32_t* k = i; k != j; ++k)
                std::memcpy(staging_.data() + (k - i) * kNtxPageSize, find(*k)->bytes, kNtxPageSize);
            file_->write_in_pieces(staging_.data(), staging_.size(), *i);
        }
        i = j;
    }
}

void NtxPager::write_prefix() {
    unsigned char b[12];
    header_.prefix.write(b);
    file_->write_at(b, sizeof b, 0);
    disk_prefix_ = header_.prefix;
}

void NtxPager::flush() {
    if (unflushed_.empty() && !header_unflushed_) return;
    // Pages listed twice after coming back drop out.
    std::vector<std::uint32_t>& pages = changed_;
    pages.clear();
    for (std::uint32_t off : unflushed_) {
        Cached* c = find(off);
        if (c && c->unflushed) pages.push_back(off);
    }
    std::sort(pages.begin(), pages.end());
    pages.erase(std::unique(pages.begin(), pages.end()), pages.end());
    write_update(pages, disk_prefix_, file_->size());
    for (std::uint32_t off : pages) find(off)->unflushed = false;
    unflushed_.clear();
    header_unflushed_ = false;
}

void NtxPager::sync() {
    flush();
    if (read_only()) return;
    if (redo_cleared_) {
        redo_.force();
        redo_cleared_ = false;
    }
    file_->sync();
}

NtxPager::Cached& NtxPager::slot_for(std::uint32_t offset) {
    size_t i = offset / kNtxPageSize;
    if (i >= by_page_.size()) by_page_.resize(i + 1);
    Cached* c = by_page_[i];
    if (!c) {
        if (!free_.empty()) {
            c = free_.back();
            free_.pop_back();
        } else if (size_t v = frames_.size() < budget_ ? frames_.size() : victim(); v < frames_.size()) {
            c = frames_[v].get();
            by_page_[c->offset / kNtxPageSize] = nullptr;
        } else {
            // Under the budget, or every page is in use by this operation.
            frames_.emplace_back(new Cached);
            c = frames_.back().get();
        }
        c->offset = offset;
        c->touched = c->unflushed = c->in_tree = c->unchecked = false;
        by_page_[i] = c;
    }
    c->op = op_;
    c->referenced = true;
    return *c;
}

NtxPager::Cached& NtxPager::load(std::uint32_t offset) {
    Cached* c = find(offset);
    if (c && !c->unchecked) {
        c->op = op_;
        c->referenced = true;
        return *c;
    }
    if (!c) {
        if (!ntx_page_offset_ok(offset, file_end_))
            ntx_damaged("odnosnik " + std::to_string(offset) + " poza plikiem", path());
        read_missing(offset);
        c = find(offset);
        if (!c) ntx_damaged("strona " + std::to_string(offset) + " obcieta", path());
    }
    c->op = op_;
    c->referenced = true;
    // A page that fails stays unchecked in the cache and fails again when asked for.
    std::string fault = NtxPage(c->bytes, layout_).check(file_end_);
    if (!fault.empty()) ntx_damaged("strona " + std::to_string(offset) + ": " + fault, path());
    c->unchecked = false;
    c->in_tree = true;
    return *c;
}

void NtxPager::read_missing(std::uint32_t offset) {
    // While the cache has room, the page comes with the uncached pages of
    // its stretch of 16: one read of 16 KB costs little more than one of
    // 1 KB, and an index that fits is then read in a few hundred reads
    // instead of one per page. Once the cache is full a page is read alone,
    // as a seek needs, and only misses that follow each other through the
    // file (a walk over the leaves of a bulk build) bring the pages after
    // them along. Read under the same lock as the page itself, the others
    // are exactly as current as it is; each is checked when first asked for
    // as a tree page, and is the first to make room if no one asks.
    std::uint64_t lo = offset, hi = offset + kNtxPageSize;
    if (cached_pages() + kReadAhead <= budget_) {
        constexpr std::uint64_t kRun = kReadAhead * kNtxPageSize;
        std::uint64_t first = std::max<std::uint64_t>(offset / kRun * kRun, kNtxPageSize);
        std::uint64_t limit = std::min<std::uint64_t>(offset / kRun * kRun + kRun, file_end_ / kNtxPageSize * kNtxPageSize);
        while (lo > first && !find(static_cast<std::uint32_t>(lo - kNtxPageSize))) lo -= kNtxPageSize;
        while (hi < limit && !find(static_cast<std::uint32_t>(hi))) hi += kNtxPageSize;
    } else if (last_miss_ != 0 && offset == last_miss_ + kNtxPageSize) {
        std::uint64_t limit = std::min<std::uint64_t>(offset + kReadAhead * kNtxPageSize, file_end_ / kNtxPageSize * kNtxPageSize);
        limit = std::min<std::uint64_t>(limit, offset + budget_ / 2 * kNtxPageSize);
        while (hi < limit && !find(static_cast<std::uint32_t>(hi))) hi += kNtxPageSize;
    }
    read_buf_.resize(static_cast<size_t>(hi - lo));
    size_t got = file_->read_at(read_buf_.data(), read_buf_.size(), lo);
    for (std::uint64_t off = lo; off + kNtxPageSize <= lo + got; off += kNtxPageSize) {
        Cached& c = slot_for(static_cast<std::uint32_t>(off));
        std::memcpy(c.bytes, read_buf_.data() + (off - lo), kNtxPageSize);
        c.unchecked = true;
        c.referenced = off == offset;
        last_miss_ = static_cast<std::uint32_t>(off);
    }
}

NtxPage NtxPager::page(std::uint32_t offset) { return NtxPage(load(offset).bytes, layout_); }

NtxPager::Cached& NtxPager::touch(std::uint32_t offset) {
    Cached* c = find(offset);
    if (c && c->touched) return *c;
    backups_.emplace_back();
    Backup& b = backups_.back();
    b.offset = offset;
    b.existed = c != nullptr;
    if (c) {
        b.unflushed = c->unflushed;
        b.in_tree = c->in_tree;
        b.unchecked = c->unchecked;
        std::memcpy(b.bytes, c->bytes, kNtxPageSize);
    }
    Cached& now = slot_for(offset);
    now.touched = true;
    return now;
}

NtxPage NtxPager::writable(std::uint32_t offset) {
    load(offset);
    return NtxPage(touch(offset).bytes, layout_);
}

void NtxPager::read_raw(std::uint32_t offset, unsigned char* out) {
    if (!ntx_page_offset_ok(offset, file_end_)) ntx_damaged("odnosnik " + std::to_string(offset) + " poza plikiem", path());
    if (Cached* c = find(offset)) {
        std::memcpy(out, c->bytes, kNtxPageSize);
        return;
    }
    if (file_->read_at(out, kNtxPageSize, offset) != kNtxPageSize)
        ntx_damaged("strona " + std::to_string(offset) + " obcieta", path());
}

std::uint32_t NtxPager::allocate() {
    std::uint32_t off;
    if (header_.prefix.free_list != 0) {
        off = header_.prefix.free_list;
        if (Cached* c = find(off); c && c->in_tree) ntx_damaged("strona z listy wolnych jest w drzewie", path());
        unsigned char raw[kNtxPageSize];
        read_raw(off, raw);
        // The next free page is the child of the item at slot[0]; the key
        // count of a freed page may be stale, so it is not looked at.
        int s0 = ntx_load16(raw + 2);
        if (s0 < layout_.items_start() || s0 > static_cast<int>(kNtxPageSize) - layout_.item_size)
            ntx_damaged("lista wolnych stron", path());
        std::uint32_t next = ntx_load32(raw + s0);
        if (next != 0 && (next == off || !ntx_page_offset_ok(next, file_end_)))
            ntx_damaged("lista wolnych stron", path());
        header_.prefix.free_list = next;
    } else {
        std::uint64_t end = (file_end_ + kNtxPageSize - 1) / kNtxPageSize * kNtxPageSize;
        if (end + kNtxPageSize > 0xFFFFFC00ULL) throw DbError("Indeks przekroczyl najwiekszy rozmiar pliku", path());
        off = static_cast<std::uint32_t>(end);
        file_end_ = end + kNtxPageSize;
    }
    Cached& c = touch(off);
    NtxPage(c.bytes, layout_).init();
    c.in_tree = true;
    c.unchecked = false;
    return off;
}

void NtxPager::release(std::uint32_t offset) {
    NtxPage p = writable(offset);
    p.make_free(header_.prefix.free_list);
    header_.prefix.free_list = offset;
    find(offset)->in_tree = false;
}

}  // namespace durva::dbf
