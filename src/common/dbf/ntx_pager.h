#pragma once
// Page access for one NTX file: a cache of checked pages keyed by offset,
// the index lock around every operation, and the header's first 12 bytes.
//
// Shared, every operation takes the lock on byte 1,000,000,000 (read or
// write), reads the 12 header bytes again and drops the cache when another
// workstation changed them; an update writes its changed pages, then the
// header with the version raised by one, then lets go of the lock. Held
// exclusively nobody else can look, so no locks are taken, the cache stays,
// and changed pages wait in it until flush() (the index's close, or the end
// of an update once they fill a quarter of the cache): one write per page
// instead of two system calls per key.
//
// What is written goes in an order a kill or a full disk cannot break: the
// pages beyond the file's end first (the file grows, and a full disk stops
// the update there, the file then cut back to where it ended), then the
// pages already in the file, then the header. When more than one page
// already in the file changes (or one of them with new pages, the root or
// the free list), a redo record beside the index holds the whole update
// while it is written (ntx_redo.h); whoever takes the write lock next
// finishes an update a killed process left halfway. A change of one page
// and the header's version, the common shared append, needs no record.
//
// An update changes cached pages only, keeping a copy of each page it
// touches; if anything fails before the end (a damaged page met halfway),
// the copies are put back and nothing reaches the file.
//
// The cache holds at most a fixed number of pages, however large the index:
// beyond it the page least recently wanted makes room (a changed page of an
// exclusive opening is written first). Pages used by the operation in
// progress are never the ones to go, so the views it holds stay good; an
// operation that walks the whole tree says when it has let go of its views.
// A page missing from the cache is read alone, and together with the pages
// after it only while misses run forward through the file (a walk over
// leaves a bulk build laid out in order).
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "common/dbf/ntx_header.h"
#include "common/dbf/ntx_page.h"
#include "common/dbf/ntx_redo.h"
#include "platform/file.h"

namespace durva::dbf {

// Pages one index file keeps in memory at most (1 KB each).
inline constexpr size_t kNtxCachePages = 2048;
// The budget new pagers take; tests make it tiny to exercise eviction.
size_t ntx_cache_budget();
void set_ntx_cache_budget(size_t pages);

class NtxPager {
public:
    NtxPager(std::shared_ptr<platform::File> file, NtxHeader header);
    ~NtxPager();
    NtxPager(const NtxPager&) = delete;
    NtxPager& operator=(const NtxPager&) = delete;

    // Writes what an exclusive opening still holds back: changed pages, then
    // the header. Nothing to do for a shared opening.
    void flush();
    // flush(), then the file forced onto the disk; when a redo record was
    // cleared since the last time, the cleared record is forced first, so
    // that no record can outlive a newer state of the index on the disk.
    void sync();
    // A read met a damaged page: when a workstation killed halfway through
    // an update left its redo record, the update is finished (under the
    // write lock) and true says the read may be tried again. Shared,
    // writable openings only.
    bool mend_after_damage();

    const NtxHeader& header() const { return header_; }
    const NtxLayout& layout() const { return layout_; }
    const std::string& path() const { return file_->path(); }
    bool shared() const { return !file_->exclusive(); }
    bool read_only() const { return file_->read_only(); }
    const std::shared_ptr<platform::File>& file() const { return file_; }

    // Changes whenever cached pages are dropped; positions remembered with an
    // older value name pages that may no longer be what they were.
    std::uint64_t generation() const { return generation_; }

    // True when the page at `offset` is still cached at `bytes` (a position
    // kept from an earlier operation); it is then kept for this operation.
    bool hold(std::uint32_t offset, const unsigned char* bytes);
    // Counts pages that left the cache to make room: while it stands still,
    // every page a kept position names is where it was.
    std::uint64_t evictions() const { return evictions_; }
    // Keeps for this operation a page known to be cached at `bytes`.
    void keep(const unsigned char* bytes) {
        reinterpret_cast<Cached*>(const_cast<unsigned char*>(bytes) - offsetof(Cached, bytes))->op = op_;
    }
    // The caller holds no view of any page any more: every page read so far
    // may make room (long walks that copy what they keep).
    void release_views() { ++op_; }
    size_t cached_pages() const { return frames_.size() - free_.size(); }
    // Gives back the memory of the cached pages over `pages`, the least
    // recently wanted first (the pages of the last operation and changes not
    // yet written stay), and the room the updates' copies and writes took.
    // Between operations only; what goes is read again when next wanted.
    void shrink(size_t pages);
    size_t budget() const { return budget_; }

    // Holds the read lock across several operations (a run of seeks): those
    // inside neither take the lock nor read the header again, and the cached
    // pages stay good, since no other program can change the file meanwhile.
    // An update inside turns it into the write lock for its own duration.
    // Holds are counted; the lock goes with the last release. Nothing to do
    // when the file is held exclusively.
    void hold_read_lock();
    void release_read_lock();

    // The lock for one read operation (nothing when held exclusively or
    // while the read lock is held across operations).
    class ReadScope {
    public:
        explicit ReadScope(NtxPager& p);
        ~ReadScope();
        ReadScope(const ReadScope&) = delete;
        ReadScope& operator=(const ReadScope&) = delete;

    private:
        NtxPager& p_;
        bool locked_ = false;
    };

    // The lock for one update. commit() writes what changed; leaving the
    // scope without it throws every change away.
    class WriteScope {
    public:
        explicit WriteScope(NtxPager& p);
        ~WriteScope();
        WriteScope(const WriteScope&) = delete;
        WriteScope& operator=(const WriteScope&) = delete;
        void commit();

    private:
        NtxPager& p_;
        NtxHeaderPrefix saved_prefix_;
        std::uint64_t saved_end_;
        bool writing_ = false;
        bool done_ = false;
        bool within_hold_ = false;  // the read lock was held across: back to it afterwards
    };

    // A tree page, read and checked on first use. The view stays valid until
    // the cache is dropped (only ever at the start of an operation).
    NtxPage page(std::uint32_t offset);
    // The same page, to be written at commit.
    NtxPage writable(std::uint32_t offset);
    // A fresh empty page, from the free list or at the end of the file.
    std::uint32_t allocate();
    // Puts a page no longer in the tree on the free list.
    void release(std::uint32_t offset);

    std::uint32_t root() const { return header_.prefix.root; }
    void set_root(std::uint32_t offset) { header_.prefix.root = offset; }
    std::uint32_t free_list() const { return header_.prefix.free_list; }
    std::uint64_t file_end() const { return file_end_; }

    // Reads a page without checking it or keeping it (free-list walks).
    void read_raw(std::uint32_t offset, unsigned char* out);

private:
    // What is known of a page sits in the processor cache line that also
    // holds the page's key count and first slots, which every look at the
    // page reads anyway: finding a page costs one memory access, not two.
    struct alignas(64) Cached {
        Cached() {}  // the bytes are read or laid out at once; no need to clear them first
        std::uint64_t op = 0;     // the operation that last used it
        std::uint32_t offset = 0;
        bool referenced = false;  // used since the eviction hand last passed
        bool touched = false;     // changed by the update in progress
        bool unflushed = false;   // changed by a finished update, not yet written (exclusive)
        bool in_tree = false;     // read or built as a tree page, not yet freed
        bool unchecked = false;   // read along with a neighbour, not yet checked as a tree page
        alignas(8) unsigned char bytes[kNtxPageSize];  // lead back to the page (keep())
    };
    // A page as it was before the update in progress first changed it.
    struct Backup {
        Backup() {}  // the bytes are copied in at once; no need to clear them first
        std::uint32_t offset;
        bool existed;  // false: the page was not cached (new at the end of the file)
        bool unflushed;
        bool in_tree;
        bool unchecked;
        unsigned char bytes[kNtxPageSize];
    };

    void begin_operation();
    void refresh();
    void drop_cache();
    void forget_all();
    Cached& touch(std::uint32_t offset);
    void put_back();
    bool mend();
    void reload();
    void write_update(std::vector<std::uint32_t>& offsets, const NtxHeaderPrefix& before, std::uint64_t old_end);
    void write_pages(const std::uint32_t* first, const std::uint32_t* last);
    void write_prefix();
    Cached& load(std::uint32_t offset);
    void read_missing(std::uint32_t offset);
    Cached* find(std::uint32_t offset) const {
        size_t i = offset / kNtxPageSize;
        return i < by_page_.size() ? by_page_[i] : nullptr;
    }
    Cached& slot_for(std::uint32_t offset);
    void forget(Cached& c);
    size_t victim();
    void trim();
    void trim_to(size_t keep);

    std::shared_ptr<platform::File> file_;
    NtxHeader header_;
    NtxHeaderPrefix disk_prefix_;               // the header's first 12 bytes as the file holds them
    NtxLayout layout_;
    std::uint64_t file_end_;
    std::uint64_t generation_ = 0;
    std::uint64_t evictions_ = 0;
    size_t budget_;
    std::uint64_t op_ = 1;                      // counts operations (and released views)
    std::vector<Cached*> by_page_;              // page number -> cached page, or null
    std::vector<std::unique_ptr<Cached>> frames_;  // every page buffer, cached or free
    std::vector<Cached*> free_;                 // buffers holding no page
    size_t hand_ = 0;                           // where the search for a page to evict goes on
    std::uint32_t last_miss_ = 0;               // the last page read from the file
    std::vector<Backup> backups_;               // the update in progress
    std::vector<std::uint32_t> unflushed_;      // exclusive: pages waiting for flush()
    bool header_unflushed_ = false;
    NtxRedo redo_;                              // the side file of redo records
    std::uint64_t mends_ = 0;                   // updates left halfway by others and finished here
    bool redo_cleared_ = false;                 // a redo record cleared since the last sync()
    int read_holds_ = 0;                        // hold_read_lock() calls not yet released
    std::vector<unsigned char> staging_;        // runs of adjacent pages written at once
    std::vector<std::uint32_t> changed_;        // the pages an update writes (shared)
    std::vector<unsigned char> read_buf_;       // pages read together
};

[[noreturn]] void ntx_damaged(const std::string& what, const std::string& path);

}  // namespace durva::dbf
