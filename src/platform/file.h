#pragma once
// A data file opened the way the office's other programs open it: shared or
// exclusive (flock on the whole file plus a lock on byte 0x7FFFFFFF, as the
// Clipper-compatible runtimes on Linux do), with byte-range locks that belong
// to the open file (open-file-description locks), so that closing one table
// never drops the locks of another and the other programs' classic locks
// conflict with ours.
//
// Each file is open at most twice per process, once for reading and writing
// and once only for reading: a shared opening of a file already open here
// the same way returns the same File, a read-only one beside a read-write one
// (or the other way round) gets a descriptor of its own, so that it stays
// read-only; an exclusive opening beside any other is a sharing refusal, as
// DOS would give it.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/clock.h"
#include "platform/errors.h"

namespace durva::platform {

enum class Share { Shared, Exclusive };

class File;

// How the program waits for a lock another program holds for a moment (the
// append lock of a table, the read or write lock of an index). Every attempt
// is one that never blocks; the waiter paces the attempts, tells the operator
// what is waited for and decides when to give up, so that a program that
// hangs while holding such a lock never freezes this one.
class LockWaiter {
public:
    virtual ~LockWaiter() = default;
    // An attempt at a lock on `file` was refused: pauses before the next
    // attempt, or throws to give up.
    virtual void refused(const File& file) = 0;
    // The lock was granted after one or more refusals.
    virtual void granted(const File& file) = 0;
};

// The waiter of files nobody gave one (tools, helper programs): short pauses
// on `clock`, and after `limit_ms` a DbError naming the file.
class BoundedLockWaiter final : public LockWaiter {
public:
    BoundedLockWaiter(Clock& clock, std::int64_t limit_ms) : clock_(clock), limit_ms_(limit_ms) {}
    void refused(const File& file) override;
    void granted(const File&) override { since_ = -1; }

private:
    Clock& clock_;
    std::int64_t limit_ms_;
    std::int64_t since_ = -1;
};

// What the error says when a wait for another program's lock is given up.
inline constexpr char kLockedByAnotherProgram[] = "Plik zablokowany przez inny program";

class File {
public:
    // Opens an existing file (path already resolved). Throws SharingError when
    // another process (or this one) holds it in a conflicting mode, DbError
    // for any other failure (missing file, no permission). Held exclusively,
    // the share byte carries a write lock even for a read-only opening.
    static std::shared_ptr<File> open(const std::string& path, Share mode, bool read_only = false);
    // Creates the file, or empties an existing one, holding it exclusively.
    // An existing file is emptied only after the exclusive share lock was
    // granted, so a file another workstation has open is never cut short.
    // With `in_place` an existing file keeps its bytes, to be written over
    // and cut at its new end by the caller: rewriting a large file whole
    // costs several times less than freeing its pages and taking new ones.
    static std::shared_ptr<File> create(const std::string& path, bool in_place = false);

    ~File();
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    const std::string& path() const { return path_; }
    bool exclusive() const { return mode_ == Share::Exclusive; }
    bool read_only() const { return read_only_; }
    int fd() const { return fd_; }

    // Reads up to `len` bytes at `offset`; returns the count read (short at end of file).
    size_t read_at(void* buf, size_t len, std::uint64_t offset) const;
    // Reads the bytes from `offset` on into `count` buffers of `piece` bytes
    // each, one after the other, in one system call; returns the count read
    // (short at end of file).
    size_t read_pieces(char* const* bufs, size_t count, size_t piece, std::uint64_t offset) const;
    // Writes all bytes at `offset`; throws DbError on failure.
    void write_at(const void* buf, size_t len, std::uint64_t offset);
    // The same in pieces of at most 64 KB, each within one 64 KB stretch of
    // the file, for files that will later be rewritten in small parts in
    // place (index pages). The system's cache then keeps the file in pieces
    // of that size, and each later small write costs a fraction of what it
    // costs inside one cache piece of megabytes.
    void write_in_pieces(const void* buf, size_t len, std::uint64_t offset);
    std::uint64_t size() const;
    void truncate(std::uint64_t size);
    // Room on the disk for the file to grow to `size` bytes, taken at once
    // where the file system can (its size stays as it is): a file about to
    // be filled is then written far more cheaply. Where it cannot, or the
    // disk has not the room, nothing is done; the writes find room as before.
    void reserve(std::uint64_t size);
    // The data written so far forced onto the disk; a failure is thrown.
    // Nothing is done when nothing was written since the last forcing.
    void sync();

    // Byte-range locks (open-file-description locks). try_lock never waits.
    bool try_lock(std::uint64_t offset, std::uint64_t len, bool write);
    // Takes a lock others hold only for a moment (the index and append
    // locks): attempts paced by the file's waiter until it is granted, or
    // until the waiter gives up (its exception comes through).
    void lock_wait(std::uint64_t offset, std::uint64_t len, bool write);
    // The waiter of lock_wait(); while it is not set or gone, a bounded one
    // on the workstation's clock.
    void set_lock_waiter(std::weak_ptr<LockWaiter> waiter) { waiter_ = std::move(waiter); }
    void unlock(std::uint64_t offset, std::uint64_t len);

    // Record and file locks taken for one user of a file this process opened
    // more than once (two work areas on one table). The users share the
    // descriptor, whose locks never conflict with each other, so these keep
    // count of who holds what and refuse a range another user holds, as two
    // DOS handles would refuse each other.
    bool try_lock_for(const void* owner, std::uint64_t offset, std::uint64_t len);
    // Releases the range and every range of the owner's inside it.
    void unlock_for(const void* owner, std::uint64_t offset, std::uint64_t len);
    void unlock_all_for(const void* owner);

private:
    File(std::string path, int fd, Share mode, bool read_only, std::uint64_t dev, std::uint64_t ino);
    std::string path_;
    int fd_;
    Share mode_;
    bool read_only_;
    std::uint64_t dev_, ino_;
    bool unforced_ = false;  // written (or made) since it was last forced
    struct Held {
        const void* owner;
        std::uint64_t offset, len;
    };
    std::vector<Held> held_;
    std::weak_ptr<LockWaiter> waiter_;
};

// Deletes a file as DOS would allow it: only when no other process has it open.
// Throws SharingError when it is open elsewhere, DbError when it cannot be removed.
void remove_file(const std::string& path);
// Deletes files that belong together (a table and its index) as one: all are
// held exclusively first, so that when any is open elsewhere none is deleted.
void remove_files_together(const std::vector<std::string>& paths);

// Replaces `target` by `source` (a rename), only when nobody has `target` open.
void replace_file(const std::string& source, const std::string& target);

// True when anyone, this process's own open tables included, holds the file
// open in any mode (probed with a non-blocking exclusive share lock).
bool is_file_in_use(const std::string& path);

// The byte that carries the share-mode lock beside flock().
inline constexpr std::uint64_t kShareLockByte = 0x7FFFFFFF;

// Told of every write to a data file or one of the program's own files
// before it is made, and of every emptying of an own file (as a write of
// nothing, `data` null): multi-process tests stop a workstation at a chosen
// write to see what a kill there leaves. None in the program, where the
// check costs one test of a pointer per write.
using WriteObserver = void (*)(const std::string& path, int fd, const void* data, size_t len, std::uint64_t offset);
extern WriteObserver g_write_observer;
inline void set_write_observer(WriteObserver observer) { g_write_observer = observer; }

// Asked at every opening of an existing data file, before its share locks
// are taken: true refuses the opening as a sharing conflict, as when another
// workstation holds the file. Tests refuse a file a chosen number of times
// to see which waits outlast that; none in the program.
using OpenRefusal = bool (*)(const std::string& path, Share mode);
extern OpenRefusal g_open_refusal;
inline void set_open_refusal(OpenRefusal refusal) { g_open_refusal = refusal; }

// Reads up to `len` bytes at `offset` of the open file `fd`, short only at the
// end of the file; writes all `len` bytes there. A failure is a DbError
// naming `path`. Data files and the program's own files share them.
size_t read_all_at(int fd, void* buf, size_t len, std::uint64_t offset, const std::string& path);
void write_all_at(int fd, const void* buf, size_t len, std::uint64_t offset, const std::string& path);

}  // namespace durva::platform
