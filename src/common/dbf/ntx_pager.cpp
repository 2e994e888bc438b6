#include "common/dbf/ntx_pager.h"

#include <algorithm>
#include <cstring>

#include "platform/errors.h"

namespace durva::dbf {

namespace {
// Beyond this many cached pages (16 MB) the cache starts again empty.
constexpr size_t kCacheLimit = 16384;
}  // namespace

void ntx_damaged(const std::string& what, const std::string& path) {
    throw DbError("Uszkodzony indeks (" + what + ")", path);
}

NtxPager::NtxPager(std::shared_ptr<platform::File> file, NtxHeader header)
    : file_(std::move(file)), header_(std::move(header)), layout_(NtxLayout::of(header_)), file_end_(file_->size()) {}

NtxPager::~NtxPager() {
    try {
        flush();
    } catch (...) {
        // Nothing can be reported from here; a caller that cares flushes first.
    }
}

void NtxPager::drop_cache() {
    if (!unflushed_.empty() || header_unflushed_) flush();
    cache_.clear();
    cached_pages_ = 0;
    ++generation_;
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
    header_.prefix = now;
}

NtxPager::ReadScope::ReadScope(NtxPager& p) : p_(p) {
    if (p_.cached_pages_ > kCacheLimit) p_.drop_cache();
    if (!p_.shared()) return;
    p_.file_->lock_wait(kNtxLockOffset, 1, false);
    try {
        p_.refresh();
    } catch (...) {
        p_.file_->unlock(kNtxLockOffset, 1);
        throw;
    }
}

NtxPager::ReadScope::~ReadScope() {
    if (p_.shared()) p_.file_->unlock(kNtxLockOffset, 1);
}

NtxPager::WriteScope::WriteScope(NtxPager& p) : p_(p) {
    if (p_.read_only()) throw DbError("Indeks otwarty tylko do odczytu", p_.path());
    if (p_.cached_pages_ > kCacheLimit) p_.drop_cache();
    if (p_.shared()) {
        p_.file_->lock_wait(kNtxLockOffset, 1, true);
        try {
            p_.refresh();
        } catch (...) {
            p_.file_->unlock(kNtxLockOffset, 1);
            throw;
        }
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
            // Pages first, then the header: a reader that sees the new
            // version finds every page it names already written.
            p_.write_pages(pages);
            unsigned char b[12];
            h.write(b);
            p_.file_->write_at(b, sizeof b, 0);
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
}

NtxPager::WriteScope::~WriteScope() {
    if (!done_) {
        p_.put_back();
        p_.header_.prefix = saved_prefix_;
        p_.file_end_ = saved_end_;
        // A write that failed halfway leaves the file unknown: read it afresh.
        if (writing_) {
            p_.cache_.clear();
            p_.cached_pages_ = 0;
            ++p_.generation_;
        }
    }
    if (p_.shared()) p_.file_->unlock(kNtxLockOffset, 1);
}

void NtxPager::put_back() {
    for (auto b = backups_.rbegin(); b != backups_.rend(); ++b) {
        size_t i = b->offset / kNtxPageSize;
        if (!b->existed) {
            if (cache_[i]) --cached_pages_;
            cache_[i].reset();
            continue;
        }
        Cached& c = *cache_[i];
        std::memcpy(c.bytes, b->bytes, kNtxPageSize);
        c.unflushed = b->unflushed;
        c.in_tree = b->in_tree;
        c.unchecked = b->unchecked;
        c.touched = false;
    }
    backups_.clear();
}

void NtxPager::write_pages(std::vector<std::uint32_t>& offsets) {
    std::sort(offsets.begin(), offsets.end());
    for (size_t i = 0; i < offsets.size();) {
        size_t j = i + 1;
        while (j < offsets.size() && offsets[j] == offsets[j - 1] + kNtxPageSize) ++j;
        if (j - i == 1) {
            file_->write_at(find(offsets[i])->bytes, kNtxPageSize, offsets[i]);
        } else {
            // Adjacent pages (a bulk of new ones at the end) go in one write.
            staging_.resize((j - i) * kNtxPageSize);
            for (size_t k = i; k < j; ++k)
                std::memcpy(staging_.data() + (k - i) * kNtxPageSize, find(offsets[k])->bytes, kNtxPageSize);
            file_->write_in_pieces(staging_.data(), staging_.size(), offsets[i]);
        }
        i = j;
    }
}

void NtxPager::flush() {
    if (unflushed_.empty() && !header_unflushed_) return;
    write_pages(unflushed_);
    for (std::uint32_t off : unflushed_) find(off)->unflushed = false;
    unflushed_.clear();
    if (header_unflushed_) {
        unsigned char b[12];
        header_.prefix.write(b);
        file_->write_at(b, sizeof b, 0);
        header_unflushed_ = false;
    }
}

NtxPager::Cached& NtxPager::slot_for(std::uint32_t offset) {
    size_t i = offset / kNtxPageSize;
    if (i >= cache_.size()) cache_.resize(i + 1);
    if (!cache_[i]) {
        cache_[i].reset(new Cached);
        ++cached_pages_;
    }
    return *cache_[i];
}

NtxPager::Cached& NtxPager::load(std::uint32_t offset) {
    Cached* c = find(offset);
    if (c && !c->unchecked) return *c;
    if (!c) {
        if (!ntx_page_offset_ok(offset, file_end_))
            ntx_damaged("odnosnik " + std::to_string(offset) + " poza plikiem", path());
        read_around(offset);
        c = find(offset);
        if (!c) ntx_damaged("strona " + std::to_string(offset) + " obcieta", path());
    }
    // A page that fails stays unchecked in the cache and fails again when asked for.
    std::string fault = NtxPage(c->bytes, layout_).check(file_end_);
    if (!fault.empty()) ntx_damaged("strona " + std::to_string(offset) + ": " + fault, path());
    c->unchecked = false;
    c->in_tree = true;
    return *c;
}

void NtxPager::read_around(std::uint32_t offset) {
    // The page and the pages next to it that are not cached yet, within its
    // stretch of 16 pages: one read of 16 KB costs little more than one of
    // 1 KB, and the pages of an index are mostly wanted sooner or later.
    // Read under the same lock as the page itself, they are exactly as
    // current as it is; each is checked when first asked for as a tree page.
    constexpr std::uint64_t kRun = 16 * kNtxPageSize;
    std::uint64_t first = std::max<std::uint64_t>(offset / kRun * kRun, kNtxPageSize);
    std::uint64_t limit = std::min<std::uint64_t>(offset / kRun * kRun + kRun, file_end_ / kNtxPageSize * kNtxPageSize);
    std::uint64_t lo = offset, hi = offset + kNtxPageSize;
    while (lo > first && !find(static_cast<std::uint32_t>(lo - kNtxPageSize))) lo -= kNtxPageSize;
    while (hi < limit && !find(static_cast<std::uint32_t>(hi))) hi += kNtxPageSize;
    read_buf_.resize(static_cast<size_t>(hi - lo));
    size_t got = file_->read_at(read_buf_.data(), read_buf_.size(), lo);
    for (std::uint64_t off = lo; off + kNtxPageSize <= lo + got; off += kNtxPageSize) {
        Cached& c = slot_for(static_cast<std::uint32_t>(off));
        std::memcpy(c.bytes, read_buf_.data() + (off - lo), kNtxPageSize);
        c.unchecked = true;
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
