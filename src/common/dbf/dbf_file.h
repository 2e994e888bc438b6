#pragma once
// One DBF table file: the header and field descriptors, the records, the
// deletion flag, appends and the locks the office's other programs see.
//
// Held exclusively, the records are read and written through a cache of
// blocks that reaches the file at commit and close; no other program can be
// looking. The cache is as large as the table, up to a fixed budget. A
// table that fits is read in blocks and stays. In a larger one, blocks are
// read only while reads run forward through the file (a pass in record
// order reads ahead, and lets the blocks it has gone past go, those it
// changed written first); a record wanted out of that order is read alone,
// and a change to one whose block is not in memory is written at once: a
// walk in index order costs one small read a record, not a block. Blocks
// filled by appends go to the file as soon as a run of them is complete.
// The deletion flag of every record is known without its bytes once records
// read alone add up to about what reading the whole table costs: the flags
// are then gathered in one pass.
// Opened shared, every record is read from the file when asked for and
// written straight back, and the record count follows the file size, so
// what other workstations append and change is seen at once.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "common/date.h"
#include "common/dbf/field.h"
#include "platform/clock.h"
#include "platform/file.h"

namespace durva::dbf {

// The lock offsets every Clipper-style program on the folder uses: record r
// at base + r, the file lock over the billion bytes after the base, the
// append (header) lock on the base byte itself.
inline constexpr std::uint64_t kDbfLockBase = 1'000'000'000;
inline constexpr std::uint64_t kDbfFileLockLength = 1'000'000'000;
// The same at 4,000,000,000, for tables whose index files carry the mark of
// the extended lock scheme.
inline constexpr std::uint64_t kDbfExtendedLockBase = 4'000'000'000;
inline constexpr std::uint64_t kDbfExtendedFileLockLength = 294'967'295;

// The bytes of records one exclusive table keeps in memory at most.
inline constexpr size_t kDbfCacheBytes = 4 * 1024 * 1024;
// The budget tables opened from now on take; tests make it tiny.
size_t dbf_cache_budget();
void set_dbf_cache_budget(size_t bytes);

class DbfFile {
public:
    // Opens an existing table (a DOS or resolved path, ".dbf" included).
    // Throws SharingError when the sharing mode is refused, DbError naming
    // the file when it is missing or its header or field list is damaged.
    static std::unique_ptr<DbfFile> open(std::string_view path, platform::Share mode,
                                         bool read_only = false, const platform::Clock* clock = nullptr);

    // Creates an empty table (replacing a file nobody has open) and returns it
    // held exclusively. The field list is checked first: a bad one is a
    // DbError and no file is touched. With `in_place` (a scratch table made
    // afresh at every run) the file replaced is written over rather than
    // emptied first, and close() cuts it after the last record.
    static std::unique_ptr<DbfFile> create(std::string_view path, const FieldList& fields,
                                           const platform::Clock* clock = nullptr, bool in_place = false);

    // Checks a field list for creating a table and fills in the offsets:
    // names upper-cased (1 to 10 characters, no duplicates), C 1..65535,
    // N 1..255 with decimals below the width, D 8, L 1.
    static FieldList checked_layout(FieldList fields, const std::string& file_for_errors);

    ~DbfFile();
    DbfFile(const DbfFile&) = delete;
    DbfFile& operator=(const DbfFile&) = delete;

    const std::string& path() const { return path_; }
    bool exclusive() const { return file_->exclusive(); }
    bool read_only() const { return file_->read_only(); }
    const FieldList& fields() const { return fields_; }
    // 0-based position of the field (name in any case), -1 when absent.
    int field_index(std::string_view name) const;
    int header_length() const { return header_len_; }
    int record_length() const { return record_len_; }
    std::uint8_t version() const { return header_[0]; }
    // The count and date the header held when last read or written.
    std::uint32_t header_count() const;
    Date header_date() const;

    // The number of records, deleted ones included. Shared, it is derived from
    // the file size each time, so records other workstations appended count.
    std::uint32_t record_count();
    // The count as last derived, without asking the file.
    std::uint32_t known_count() const { return count_; }

    // Copies record `recno` (1-based, deletion flag first) into `out`, which
    // holds record_length() bytes; false when there is no such record.
    bool read_record(std::uint32_t recno, char* out);
    // The same as a view that stays valid until the next call on this file.
    std::string_view record_view(std::uint32_t recno);
    // Copies up to `count` records from `first` on into `out` (count *
    // record_length() bytes) and returns how many there were: a run of the
    // table in one read, as a copy of a shared table takes it. Shared, it is
    // what the file holds at the moment of the read.
    std::uint32_t read_records(std::uint32_t first, std::uint32_t count, char* out);
    // Held exclusively, for passes over a whole table: runs of records read
    // from and written to the file itself, not through the cache (changes it
    // holds are written first, blocks a run writes over are let go). A run
    // read ends with the table; a run written may start past the last record
    // (those between stay zeros until written) and makes the count reach its
    // last record.
    std::uint32_t read_run(std::uint32_t first, std::uint32_t count, char* out);
    void write_run(std::uint32_t first, const char* bytes, std::uint32_t count);
    // Held exclusively: every record of the file fits in the cache.
    bool fits_cache() const { return (disk_count_ + per_chunk_ - 1) / per_chunk_ <= max_frames_; }
    // Rewrites an existing record. In a shared table the caller holds its lock.
    void write_record(std::uint32_t recno, const char* bytes);
    // Rewrites `count` existing records from `first` on in one write; in a
    // shared table only under its file lock (a DbError otherwise), so that
    // the records between those meant, written back as they were read, are
    // nobody else's change.
    void rewrite_records(std::uint32_t first, const char* bytes, std::uint32_t count);
    // Appends a record and returns its number. Shared: under the append lock
    // (waited for), the count taken from the file size, the new record locked,
    // written, the header rewritten with the new count and today's date, the
    // append lock released; the new record stays locked for the caller.
    // Returns 0 when the new record cannot be locked (someone's file lock).
    // When a write fails (a full disk), the table is left as it was and no
    // lock taken for the append stays; the DbError goes to the caller.
    std::uint32_t append_record(const char* bytes);
    // Appends `n` records (n * record_length() bytes) after the last and
    // returns the number of the first. Only with the table held exclusively
    // or under its file lock (a DbError otherwise), so that no other program
    // can lock or append a record meanwhile: the append lock is taken once,
    // the records go to the file in one write and the header is rewritten
    // once. A failed write leaves the table as it was. Held exclusively,
    // the records go straight to the file, past the cache (whose changes
    // are written first).
    std::uint32_t append_records(const char* bytes, std::uint32_t n);
    // Held exclusively: room on the disk taken beforehand for `n` records
    // more (a table about to be filled); what is not filled is given back
    // when the table is closed.
    void reserve_records(std::uint32_t n);
    std::string blank_record() const;
    static bool is_deleted(std::string_view record) { return !record.empty() && record[0] == '*'; }
    // Held exclusively: whether record `recno` (1..record_count()) is marked
    // deleted, from a compact copy of the flags where it is known, so that
    // moving through a large table need not read each record's bytes.
    bool deleted(std::uint32_t recno);
    // Held exclusively: the blocks of records in memory now (budget tests).
    size_t cached_blocks() const;

    // Record and file locks (non-blocking; retries are the caller's). While
    // the file is locked, record locks are granted without a lock of their
    // own, so that releasing one never cuts a hole in the file lock.
    bool lock_record(std::uint32_t recno);
    void unlock_record(std::uint32_t recno);
    bool lock_file();
    void unlock_file();
    bool file_locked() const { return file_locked_; }
    // Moves every lock of this table to the extended offsets. Only while it
    // holds no lock.
    void use_extended_locks();
    std::uint64_t lock_base() const { return lock_base_; }
    // Who paces the waits for the append lock (platform::File::lock_wait).
    void set_lock_waiter(std::weak_ptr<platform::LockWaiter> waiter) {
        if (file_) file_->set_lock_waiter(std::move(waiter));
    }

    // Writes what the cache holds and, after changes, the header.
    void commit();
    // commit(), then the file's data forced onto the disk.
    void sync_to_disk();
    // Commits; a table held exclusively and changed also gets its end-of-file
    // byte after the last record and is cut there. The object is unusable after.
    void close();
    bool is_open() const { return file_ != nullptr; }

    // Removes every record of a table held exclusively.
    void zap();

private:
    DbfFile(std::shared_ptr<platform::File> file, const platform::Clock* clock);
    void parse_header(std::uint64_t file_size);
    std::uint32_t count_from_size(std::uint64_t size) const;
    std::uint64_t record_offset(std::uint32_t recno) const {
        return static_cast<std::uint64_t>(header_len_) + static_cast<std::uint64_t>(recno - 1) * record_len_;
    }
    void write_header();
    void stamp_header(std::uint32_t count);
    void require_writable() const;
    std::uint32_t append_locked(const char* bytes, std::uint32_t n);

    static constexpr std::uint32_t kNoChunk = 0xFFFFFFFF;
    // A block of per_chunk_ records in memory.
    struct Chunk {
        std::unique_ptr<char[]> bytes;
        std::uint32_t index = kNoChunk;            // which block of the file it holds
        std::uint32_t dirty_lo = 0, dirty_hi = 0;  // records [lo, hi) within the block
        bool referenced = false;                   // wanted since the eviction hand last passed
    };
    const char* cached_record(std::uint32_t recno);
    char* block_record(std::uint32_t recno);
    bool wants_block(std::uint32_t recno, std::uint32_t idx);
    const char* read_alone(std::uint32_t recno);
    void gather_flags();
    void load_chunks(std::uint32_t idx);
    size_t take_frame();
    void write_dirty(Chunk& c);
    void release_frame(std::uint32_t idx);
    void appended_block_full(std::uint32_t idx);
    void recycle_passed(std::uint32_t idx);
    void mark_dirty(std::uint32_t recno);
    void flush_cache();
    void drop_cache();
    Date today() const;

    std::shared_ptr<platform::File> file_;
    const platform::Clock* clock_;
    std::string path_;
    unsigned char header_[32] = {};
    FieldList fields_;
    // Each field's name as stored, to its place: the program looks fields up
    // by name for nearly every value it reads or writes. A name (at most
    // eleven bytes in a table's header) is packed into two words, and the
    // slots are probed from their hash.
    struct NameSlot {
        std::uint64_t a = 0, b = 0;
        int index = -1;
    };
    std::vector<NameSlot> by_name_;
    void index_names();
    int find_name(std::string_view name) const;
    int header_len_ = 0;
    int record_len_ = 0;
    std::uint32_t count_ = 0;       // records as far as we know
    std::uint32_t disk_count_ = 0;  // records present in the file (cached mode)
    bool changed_ = false;          // something written since open (exclusive close rule)
    bool header_dirty_ = false;
    bool file_locked_ = false;
    std::uint64_t lock_base_ = kDbfLockBase;
    std::uint64_t file_lock_length_ = kDbfFileLockLength;
    std::string buf_;               // one record for shared reads and views, or read alone

    // Exclusive cache: block i holds records i*per_chunk_+1 .. (i+1)*per_chunk_.
    std::uint32_t per_chunk_ = 1;
    size_t max_frames_ = 2;
    std::vector<std::uint32_t> where_;  // block number -> frame + 1, 0 when not cached
    std::vector<Chunk> frames_;
    std::vector<size_t> free_frames_;
    size_t hand_ = 0;
    std::uint32_t append_run_ = kNoChunk;  // first of the full appended blocks not written yet
    std::uint32_t append_next_ = 0;        // the block that would carry the run on
    std::uint32_t pinned_ = kNoChunk;     // the block of the record last handed out
    std::uint32_t last_miss_ = kNoChunk;  // the last block read from the file
    std::uint32_t recycle_from_ = 0;      // the first block a forward pass has not gone past
    std::uint32_t run_lo_ = 0, run_hi_ = 0;  // blocks being read in now
    std::vector<char> read_buf_;  // blocks read or written together
    // Exclusive: the deletion flag of every record, '*' or ' ', 0 while not known.
    std::vector<char> flags_;
    std::uint32_t alone_ = 0;         // the record buf_ holds, read alone (0: none)
    std::uint32_t last_alone_ = 0;    // the last record read alone
    std::uint64_t alone_reads_ = 0;   // records read alone since the flags were last gathered
};

}  // namespace durva::dbf
