#pragma once
// Reads a file the driver wrote (the sales, the PLU list) line by line, up to
// the size it had when it was opened: what the driver adds later belongs to
// the next read-out. Lines end with CR LF. A line the driver could not have
// meant as one record is reported as such instead of being cut into pieces: a
// line longer than the 748 characters a line may have, a line holding a lone
// CR or LF, and a last line without its CR LF. Of a line longer than that
// only its first 749 characters are kept, however long it is, and its whole
// length is told: memory and time follow what a line may hold, not the file.
#include <cstdint>
#include <string>

#include "platform/read_handle.h"

namespace durva {

enum class LineKind {
    Complete,      // ended by CR LF, at most 748 characters
    TooLong,       // ended by CR LF but longer than 748 characters
    StrayBreak,    // holds a CR or LF that is not its line end
    Unterminated,  // the last line, without CR LF
};

class LineReader {
public:
    static constexpr std::size_t kMaxLine = 748;
    // What is kept of a longer line: enough to show it and to tell it is too long.
    static constexpr std::size_t kKept = kMaxLine + 1;

    // `end` is the file size measured when the file was opened.
    LineReader(platform::ReadHandle& handle, std::int64_t end);

    // The next line without its CR LF; false at the end. A lone end-of-file
    // byte (1A) after the last line end is not a line.
    bool next(std::string& line, LineKind& kind);
    // The whole length of the line last returned, line end not counted.
    std::uint64_t length() const { return length_; }

private:
    bool fill();
    // The line of `len` bytes at pos_, as much of it as is kept; the rest counted.
    void take(std::string& line, std::size_t len, std::uint64_t& dropped, bool& stray) const;

    platform::ReadHandle& handle_;
    std::int64_t end_;
    std::int64_t read_ = 0;  // bytes taken from the file so far
    std::string buf_;
    std::size_t pos_ = 0;
    std::uint64_t length_ = 0;
};

}  // namespace durva
