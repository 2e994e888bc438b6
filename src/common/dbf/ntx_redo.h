#pragma once
// The redo record of an index update that rewrites pages in place: a side
// file beside the index (`DOW3.NTX` -> `dow3.ntu`) that holds the update
// whole while its pages are written, so that a process killed between two
// writes, or in the middle of one, leaves nothing the next workstation
// cannot finish. The side file is made once and kept; a record that has
// served has its head cleared, so that no update under way is what a file
// that is empty, or does not start with the record's mark, says.
//
// An update that changes more than one page already in the file, or one
// such page together with new pages, the root or the free list, is written
// in this order:
//   1. the record: the file's end and the header's first 12 bytes before the
//      update, those 12 bytes after it, and every page of the update as it
//      will be, new pages first, all under a checksum;
//   2. the pages beyond the old end (the file grows: a full disk stops the
//      update here, before any page already in the file has changed);
//   3. the pages already in the file;
//   4. the header's first 12 bytes;
//   5. the record's head is cleared.
// Whoever next takes the index's write lock (an opening, an update of a
// workstation that had the index open) looks for a record first:
// - one cut short (checksum wrong, or the file too short for it) was being
//   written before any page changed: it is cleared;
// - a whole one over the header as it was before the update (or over one
//   whose write was cut short): 3 may be torn, so 2, 3 and 4 are written
//   again from it, and it is cleared;
// - a whole one over any other header: the index went on past it (the
//   update was whole, or later updates followed): it is cleared unused.
// Writing again is harmless however often it is cut short, since the record
// goes only after the header is written.
//
// The file is written over from its start by every record and never cut
// (cutting a file and making it grow again costs the file system far more
// than the update), so bytes of older, longer records may follow a record.
//
// Bytes, little-endian:
//    0   8  "NTXREDO2" ("NTXREDO1": an older program's record, the same but
//           for its checksum, FNV-1a over the bytes)
//    8   4  page count n
//   12   4  0
//   16   8  the index's end before the update
//   24  12  the header's first 12 bytes before the update
//   36  12  the same after it
//   48      n times: 4 bytes the page's offset, 1024 bytes the page
//   48 + 1028 n
//            8  checksum of every byte before it (ntx_redo.cpp)
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "common/dbf/ntx_header.h"
#include "platform/file.h"
#include "platform/own_file.h"

namespace durva::dbf {

// The side file of the index at `index_path`: the same name in lower case
// with the extension `.ntu`.
std::string ntx_redo_path(const std::string& index_path);

// True when the side file `side_path` starts with a record's mark: an
// update may be under way, or was left halfway.
bool ntx_redo_pending(const std::string& side_path);

// The checksum of a record: four lanes of multiply-and-rotate rounds over
// blocks of 32 bytes, then the bytes left over one by one. A page costs a
// fraction of what a byte-by-byte sum would, and a record torn or cut short
// is told apart as surely.
class NtxRedoSum {
public:
    void add(const unsigned char* p, size_t len);
    std::uint64_t value() const;

private:
    void round(const unsigned char* p);
    std::uint64_t lanes_[4] = {0x9E3779B185EBCA87ULL, 0xC2B2AE3D27D4EB4FULL, 0x165667B19E3779F9ULL,
                               0x85EBCA77C2B2AE63ULL};
    unsigned char block_[32] = {};
    size_t fill_ = 0;
    std::uint64_t total_ = 0;
};

// The side file of one open index, kept open from the first time it is
// needed, with the buffer its records are put together in: an update
// costs the writes of its record and of its clearing, nothing more.
class NtxRedo {
public:
    explicit NtxRedo(std::string side_path) : path_(std::move(side_path)) {}
    const std::string& path() const { return path_; }

    // With the index's write lock held (or the index held exclusively):
    // finishes or drops the update a record describes, as above. True when
    // pages were written (what is cached of the index is then stale).
    // Throws DbError when the record or the index cannot be read or
    // written; the record then stays for the next attempt.
    bool mend(platform::File& index);

    // The record of one update: begin(), the pages in the order they are to
    // be written, finish() (the record is whole). A record left before
    // finish() is cut short: abandon() clears what of it was written.
    void begin(std::uint64_t old_end, const NtxHeaderPrefix& before, const NtxHeaderPrefix& after,
               std::uint32_t pages);
    void add(std::uint32_t offset, const unsigned char* page);
    void finish();
    void abandon() noexcept;
    // The update is in the index whole, or not at all: the record has served.
    void clear();
    // The side file (as cleared) forced onto the disk.
    void force();

private:
    void write_out();
    platform::OwnFile* look();

    std::string path_;
    std::unique_ptr<platform::OwnFile> file_;
    std::vector<unsigned char> buf_;  // the part of the record not yet written
    std::uint64_t written_ = 0;       // bytes of the record in the file
    NtxRedoSum sum_;
};

// For an opening: the same as NtxRedo::mend with the side file `side_path`.
bool ntx_mend(platform::File& index, const std::string& side_path);

}  // namespace durva::dbf
