#pragma once
// Reads a sales file line by line, up to the size it had when it was opened:
// what the driver adds later belongs to the next read-out. Lines end with
// CR LF. A line the driver could not have meant as one record is reported as
// such instead of being cut into pieces: a line longer than the 748
// characters a sales line may have, a line holding a lone CR or LF, and a
// last line without its CR LF.
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

class SalesFileReader {
public:
    static constexpr std::size_t kMaxLine = 748;

    // `end` is the file size measured when the file was opened.
    SalesFileReader(platform::ReadHandle& handle, std::int64_t end);

    // The next line without its CR LF; false at the end. A lone end-of-file
    // byte (1A) after the last line end is not a line.
    bool next(std::string& line, LineKind& kind);

private:
    bool fill();

    platform::ReadHandle& handle_;
    std::int64_t end_;
    std::int64_t read_ = 0;  // bytes taken from the file so far
    std::string buf_;
    std::size_t pos_ = 0;
};

}  // namespace durva
