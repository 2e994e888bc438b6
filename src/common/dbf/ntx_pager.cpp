#include "common/dbf/ntx_pager.h"

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

void NtxPager::drop_cache() {
    cache_.clear();
    cached_pages_ = 0;
    dirty_.clear();
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
    if (!p_.dirty_.empty() || h != saved_prefix_) {
        for (std::uint32_t off : p_.dirty_) {
            Cached* c = p_.find(off);
            p_.file_->write_at(c->bytes, kNtxPageSize, off);
            c->dirty = false;
        }
        p_.dirty_.clear();
        // Pages first, then the header: a reader that sees the new version
        // finds every page it names already written.
        h.version = static_cast<std::uint16_t>(saved_prefix_.version + 1);
        unsigned char b[12];
        h.write(b);
        p_.file_->write_at(b, sizeof b, 0);
    }
    done_ = true;
}

NtxPager::WriteScope::~WriteScope() {
    if (!done_) {
        p_.drop_cache();
        p_.header_.prefix = saved_prefix_;
        p_.file_end_ = saved_end_;
    }
    if (p_.shared()) p_.file_->unlock(kNtxLockOffset, 1);
}

NtxPager::Cached& NtxPager::slot_for(std::uint32_t offset) {
    size_t i = offset / kNtxPageSize;
    if (i >= cache_.size()) cache_.resize(i + 1);
    if (!cache_[i]) {
        cache_[i] = std::make_unique<Cached>();
        ++cached_pages_;
    }
    return *cache_[i];
}

NtxPager::Cached& NtxPager::load(std::uint32_t offset) {
    if (Cached* c = find(offset)) return *c;
    if (!ntx_page_offset_ok(offset, file_end_)) ntx_damaged("odnosnik " + std::to_string(offset) + " poza plikiem", path());
    auto fresh = std::make_unique<Cached>();
    if (file_->read_at(fresh->bytes, kNtxPageSize, offset) != kNtxPageSize)
        ntx_damaged("strona " + std::to_string(offset) + " obcieta", path());
    std::string fault = NtxPage(fresh->bytes, layout_).check(file_end_);
    if (!fault.empty()) ntx_damaged("strona " + std::to_string(offset) + ": " + fault, path());
    fresh->in_tree = true;
    Cached& c = slot_for(offset);
    c = *fresh;
    return c;
}

NtxPage NtxPager::page(std::uint32_t offset) { return NtxPage(load(offset).bytes, layout_); }

NtxPage NtxPager::writable(std::uint32_t offset) {
    Cached& c = load(offset);
    if (!c.dirty) {
        c.dirty = true;
        dirty_.push_back(offset);
    }
    return NtxPage(c.bytes, layout_);
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
    Cached& c = slot_for(off);
    NtxPage(c.bytes, layout_).init();
    c.in_tree = true;
    if (!c.dirty) {
        c.dirty = true;
        dirty_.push_back(off);
    }
    return off;
}

void NtxPager::release(std::uint32_t offset) {
    NtxPage p = writable(offset);
    p.make_free(header_.prefix.free_list);
    header_.prefix.free_list = offset;
    find(offset)->in_tree = false;
}

}  // namespace durva::dbf
