#pragma once
// The redo record of an index update that rewrites pages in place: a side
// file beside the index (`DOW3.NTX` -> `dow3.ntu`) that holds the update
// whole while its pages are written, so that a process killed between two
// writes, or in the middle of one, leaves nothing the next workstation
// cannot finish. The side file is made once and kept; empty, it says that no
// such update is under way.
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
//   5. the record is emptied.
// Whoever next takes the index's write lock (an opening, an update of a
// workstation that had the index open) looks for a record first:
// - one cut short (length or checksum wrong) was being written before any
//   page changed: it is emptied;
// - a whole one over the header as it was before the update (or over one
//   whose write was cut short): 3 may be torn, so 2, 3 and 4 are written
//   again from it, and it is emptied;
// - a whole one over any other header: the index went on past it (the
//   update was whole, or later updates followed): it is emptied unused.
// Writing again is harmless however often it is cut short, since the record
// goes only after the header is written.
//
// Bytes, little-endian:
//    0   8  "NTXREDO1"
//    8   4  page count n
//   12   4  0
//   16   8  the index's end before the update
//   24  12  the header's first 12 bytes before the update
//   36  12  the same after it
//   48      n times: 4 bytes the page's offset, 1024 bytes the page
//   48 + 1028 n
//            8  FNV-1a (64 bits) of every byte before it
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

// Writes the record of one update into the side file `side_path`. Left
// before finish(), it empties what it wrote; finished but not done(), it
// stays for the next writer to finish the update.
class NtxRedoWriter {
public:
    NtxRedoWriter(const std::string& side_path, std::uint64_t old_end, const NtxHeaderPrefix& before,
                  const NtxHeaderPrefix& after, std::uint32_t pages);
    ~NtxRedoWriter();
    NtxRedoWriter(const NtxRedoWriter&) = delete;
    NtxRedoWriter& operator=(const NtxRedoWriter&) = delete;

    // The pages in the order they are to be written.
    void add(std::uint32_t offset, const unsigned char* page);
    // The checksum after the last page: the record is whole.
    void finish();
    // The update is in the index whole, or not at all: the record has served.
    void done();

private:
    void append(const void* bytes, size_t len);
    void write_out();

    std::unique_ptr<platform::OwnFile> file_;
    std::vector<unsigned char> buf_;
    std::uint64_t written_ = 0;
    std::uint64_t hash_;
    bool finished_ = false;
};

// With the index's write lock held (or the index held exclusively): finishes
// or drops the update the side file `side_path` describes, as above. True
// when pages were written (what is cached of the index is then stale).
// Throws DbError when the record or the index cannot be read or written; the
// record then stays for the next attempt.
bool ntx_mend(platform::File& index, const std::string& side_path);

}  // namespace durva::dbf
