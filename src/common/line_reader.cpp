#include "common/line_reader.h"

#include <algorithm>
#include <string_view>

namespace durva {

namespace {
constexpr std::size_t kChunk = 64 * 1024;
}

LineReader::LineReader(platform::ReadHandle& handle, std::int64_t end) : handle_(handle), end_(end) {
    handle_.seek_relative(-handle_.position());
}

bool LineReader::fill() {
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

void LineReader::take(std::string& line, std::size_t len, std::uint64_t& dropped, bool& stray) const {
    const std::size_t keep = std::min(len, kKept);
    line.assign(buf_, pos_, keep);
    const std::string_view gone(buf_.data() + pos_ + keep, len - keep);
    stray = stray || gone.find_first_of("\r\n") != std::string_view::npos;
    dropped += gone.size();
}

bool LineReader::next(std::string& line, LineKind& kind) {
    std::size_t from = 0;       // bytes after pos_ already searched for a line end
    std::uint64_t dropped = 0;  // bytes of the line beyond what is kept of it
    bool stray = false;         // a lone CR or LF among them
    for (;;) {
        std::size_t cr = buf_.find("\r\n", pos_ + from);
        if (cr != std::string::npos) {
            take(line, cr - pos_, dropped, stray);
            pos_ = cr + 2;
            break;
        }
        // A CR at the very end may find its LF in the next piece.
        from = buf_.size() - pos_;
        if (from > 0) --from;
        if (from > kKept) {
            // Searched and beyond what is kept: only counted.
            const std::string_view gone(buf_.data() + pos_ + kKept, from - kKept);
            stray = stray || gone.find_first_of("\r\n") != std::string_view::npos;
            dropped += gone.size();
            buf_.erase(pos_ + kKept, gone.size());
            from = kKept;
        }
        if (!fill()) {
            if (pos_ >= buf_.size()) return false;
            take(line, buf_.size() - pos_, dropped, stray);
            pos_ = buf_.size();
            length_ = line.size() + dropped;
            if (line == "\x1A" && dropped == 0) return false;
            kind = LineKind::Unterminated;
            return true;
        }
    }
    length_ = line.size() + dropped;
    if (stray || line.find_first_of("\r\n") != std::string::npos) kind = LineKind::StrayBreak;
    else if (length_ > kMaxLine) kind = LineKind::TooLong;
    else kind = LineKind::Complete;
    return true;
}

}  // namespace durva
