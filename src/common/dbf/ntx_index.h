#pragma once
// One NTX index file: a B-tree of 1024-byte pages keyed by a key expression,
// read and written exactly as the office's other programs do, so that their
// readers and ours can share the file while it changes.
//
// Positions are (key, record number) pairs, so a table can move through the
// index between calls without holding pages; in a shared file every operation
// takes the index lock, re-reads the header and drops cached pages when
// another workstation changed the file.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/dbf/field.h"
#include "common/dbf/key_expr.h"
#include "platform/file.h"

namespace durva::dbf {

struct NtxEntry {
    std::string key;
    std::uint32_t recno = 0;
    friend bool operator==(const NtxEntry&, const NtxEntry&) = default;
};

// What an index file says of itself besides its expression, which a rebuild
// keeps: the other programs go by each of these.
struct NtxOptions {
    bool unique = false;
    bool descending = false;  // the whole order reversed
    // 0x0006, with 0x0010 for the extended lock scheme; 0x0003 in the oldest files.
    std::uint16_t signature = 0x0006;
};

// Supplies the raw bytes of record `recno` (1-based) while an index is built.
using RecordSource = std::function<std::string_view(std::uint32_t recno)>;

class NtxIndex {
public:
    // Opens an existing index file (path already resolved). The key expression
    // is compiled against `fields`. Throws DbError naming the file for a
    // corrupt header, an expression that cannot be evaluated, or a kind of
    // index this program cannot keep current (signature extension bits; a
    // FOR condition unless read_only), SharingError when the file is held
    // elsewhere in a conflicting mode. Damaged pages are found when reached:
    // every operation then throws DbError, never reads past a page.
    static std::unique_ptr<NtxIndex> open(const std::string& path, platform::Share mode,
                                          const FieldList& fields, bool read_only = false);

    // Builds a new index file (replacing an existing one) over records
    // 1..record_count, keys in record-number order among equals, pages filled
    // as a bulk build fills them; returns it opened in `mode`. An expression
    // that cannot be compiled is a DbError naming the file, and no file is touched.
    static std::unique_ptr<NtxIndex> create(const std::string& path, std::string_view expression,
                                            const FieldList& fields, std::uint32_t record_count,
                                            const RecordSource& record, platform::Share mode,
                                            bool unique = false);
    // The same with every header flag given, as a rebuild of an existing
    // index passes what options() said of it. A FOR condition cannot be
    // rebuilt (the condition is not kept): a DbError, no file touched.
    static std::unique_ptr<NtxIndex> create(const std::string& path, std::string_view expression,
                                            const FieldList& fields, std::uint32_t record_count,
                                            const RecordSource& record, platform::Share mode,
                                            const NtxOptions& options);

    ~NtxIndex();

    const std::string& path() const;
    const std::string& expression() const;
    int key_size() const;
    int key_decimals() const;
    bool unique() const;
    NtxOptions options() const;
    // The index carries the mark of the extended lock scheme (signature bit
    // 0x0010): the table's record and file locks then sit at 4,000,000,000.
    bool extended_lock_scheme() const;

    // The record's key, evaluated and padded or cut to the key size.
    std::string key_of(std::string_view record) const;
    // Whether the key depends on any of `length` bytes of a record from `offset` on.
    bool key_reads(int offset, int length) const;
    // The same into `out`, whose storage is kept.
    void key_of(std::string_view record, std::string& out) const;

    // Navigation. seek finds the first entry whose key, compared over the
    // length of `key` only, is not less than `key`. next and prev step from
    // an entry; stepping on from the entry just returned costs no new descent.
    // When the entry is no longer there (another workstation changed the
    // record), next gives the first entry with a greater key and prev the
    // last one with a smaller key.
    std::optional<NtxEntry> first();
    std::optional<NtxEntry> last();
    std::optional<NtxEntry> seek(std::string_view key);
    std::optional<NtxEntry> next(const NtxEntry& at);
    std::optional<NtxEntry> prev(const NtxEntry& at);

    // Updates; each takes the index write lock and bumps the header version
    // (held exclusively: in memory until flush()). An update that meets a
    // damaged page throws DbError and changes nothing.
    void insert(std::string_view key, std::uint32_t recno);
    // Inserts several entries in one update: one lock, each changed page
    // written once, one header write. An entry that cannot go in (a damaged
    // page) throws DbError and none of them is in.
    void insert_many(const std::vector<NtxEntry>& entries);
    // Removes the entry (key, recno); false when it is not there.
    bool remove(std::string_view key, std::uint32_t recno);
    // A record's key changed: remove the old entry and insert the new one.
    // Nothing is touched when the keys are equal.
    void update(std::string_view old_key, std::string_view new_key, std::uint32_t recno);

    // Walks the whole tree and reports the first fault found (order, page
    // structure, a record number out of range); empty when the index is sound.
    std::string verify(std::uint32_t record_count);
    // Held exclusively, changed pages wait in memory; this writes them and
    // the header (the destructor does it too, but cannot report a failure).
    // A shared opening writes every change at once and has nothing to do.
    void flush();
    // flush(), then the file's data forced onto the disk, so that what a
    // journal says was done is there after a power cut too.
    void sync_to_disk();
    std::uint64_t key_count();
    // Pages held in memory now: at most the cache budget once an operation
    // that needed more at once is over.
    size_t cached_pages() const;
    // Gives the memory of the cached pages over `pages` back (see NtxPager::
    // shrink): a long run of work leaves the cache as small as it found it.
    void shrink_cache(size_t pages);
    // Holds the index's read lock across a run of seeks and skips, which
    // then neither lock nor re-read the header; writers of the other programs
    // wait meanwhile, so a hold lasts a moment. Counted; nothing when held
    // exclusively. IndexReadHold releases it on every path. The lock belongs
    // to the file this process opened once: another opening of the same index
    // here would give it up with its own next operation, so a hold is for an
    // index no other work area of the program uses meanwhile.
    void hold_read_lock();
    void release_read_lock();
    // Who paces the waits for the index lock (platform::File::lock_wait).
    void set_lock_waiter(std::weak_ptr<platform::LockWaiter> waiter);

private:
    struct Impl;
    explicit NtxIndex(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

// The read lock of an index held until release() or the object goes.
class IndexReadHold {
public:
    IndexReadHold() = default;
    explicit IndexReadHold(NtxIndex* ix) { hold(ix); }
    ~IndexReadHold() { release(); }
    IndexReadHold(const IndexReadHold&) = delete;
    IndexReadHold& operator=(const IndexReadHold&) = delete;
    // Holds the lock of `ix` (nothing for none) instead of the one held so far.
    void hold(NtxIndex* ix) {
        release();
        if (!ix) return;
        ix->hold_read_lock();
        ix_ = ix;
    }
    void release() {
        NtxIndex* ix = ix_;
        ix_ = nullptr;
        if (ix) ix->release_read_lock();
    }

private:
    NtxIndex* ix_ = nullptr;
};

}  // namespace durva::dbf
