#include "receive/sales_file_reader.h"

#include <algorithm>

namespace durva {

namespace {
constexpr std::size_t kChunk = 64 * 1024;
}

SalesFileReader::SalesFileReader(platform::ReadHandle& handle, std::int64_t end) : handle_(handle), end_(end) {
    handle_.seek_relative(-handle_.position());
}

bool SalesFileReader::fill() {
    if (read_ >= end_) return false;
    if (pos_ > 0) {
        buf_.erase(0, pos_);
        pos_ = 0;
    }
    const std::size_t want = static_cast<std::size_t>(std::min<std::int64_t>(kChunk, end_ - read_));
    const std::size_t old = buf_.size();
    buf_.resize(old + want);
    const std::size_t got = handle_.read(buf_.data() + old, want);
    buf_.resize(old + got);
    // A file cut shorter while it is read ends where its bytes end.
    if (got == 0) {
        end_ = read_;
        return false;
    }
    read_ += static_cast<std::int64_t>(got);
    return true;
}

bool SalesFileReader::next(std::string& line, LineKind& kind) {
    std::size_t from = 0;  // bytes after pos_ already searched for a line end
    for (;;) {
        std::size_t cr = buf_.find("\r\n", pos_ + from);
        if (cr != std::string::npos) {
            line.assign(buf_, pos_, cr - pos_);
            pos_ = cr + 2;
            break;
        }
        // A CR at the very end may find its LF in the next piece.
        from = buf_.size() - pos_;
        if (from > 0) --from;
        if (!fill()) {
            if (pos_ >= buf_.size()) return false;
            line.assign(buf_, pos_, std::string::npos);
            pos_ = buf_.size();
            if (line == "\x1A") return false;
            kind = LineKind::Unterminated;
            return true;
        }
    }
    if (line.find_first_of("\r\n") != std::string::npos) kind = LineKind::StrayBreak;
    else if (line.size() > kMaxLine) kind = LineKind::TooLong;
    else kind = LineKind::Complete;
    return true;
}

}  // namespace durva
