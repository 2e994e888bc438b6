#include "common/record_pipe.h"

#include <algorithm>

namespace durva {

RecordPipe::RecordPipe(size_t record_size, size_t piece_bytes, int pieces)
    : record_size_(std::max<size_t>(record_size, 1)),
      per_piece_(static_cast<std::uint32_t>(std::max<size_t>(1, piece_bytes / record_size_))),
      pieces_(static_cast<size_t>(std::max(pieces, 3))),
      held_(pieces_.size(), 0) {
    // Here rather than on the thread, whose first allocation would give it
    // memory of its own that stays with the process.
    for (std::vector<char>& piece : pieces_) piece.resize(per_piece_ * record_size_);
}

RecordPipe::~RecordPipe() { end_thread(stopping_); }

void RecordPipe::start(Make make, Handed handed) {
    make_ = std::move(make);
    handed_ = std::move(handed);
    thread_ = std::thread([this] { run(); });
}

void RecordPipe::run() {
    const size_t n = pieces_.size();
    try {
        for (std::uint64_t piece = 0;; ++piece) {
            {
                // The piece's room is free once the caller is done with the
                // piece that lay there before.
                std::unique_lock<std::mutex> lock(mutex_);
                freed_.wait(lock, [&] { return stopping_ || unwatched_ || piece < freed_count_ + n; });
                if (stopping_) break;
            }
            std::vector<char>& room = pieces_[piece % n];
            const std::uint32_t count = std::min(make_(room.data(), per_piece_), per_piece_);
            if (count > 0) {
                {
                    std::lock_guard<std::mutex> lock(mutex_);
                    held_[piece % n] = count;
                    made_count_ = piece + 1;
                }
                made_.notify_one();
                handed_(room.data(), count);
            }
            if (count < per_piece_) break;
        }
    } catch (...) {
        std::lock_guard<std::mutex> lock(mutex_);
        failure_ = std::current_exception();
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ended_ = true;
    }
    made_.notify_one();
}

std::string_view RecordPipe::next() {
    const size_t n = pieces_.size();
    if (reading_any_ && at_ < held_[reading_ % n]) {
        // held_ of a piece handed over changes only once the caller frees it.
        return {pieces_[reading_ % n].data() + record_size_ * at_++, record_size_};
    }
    const std::uint64_t wanted = reading_any_ ? reading_ + 1 : 0;
    {
        std::unique_lock<std::mutex> lock(mutex_);
        made_.wait(lock, [&] { return made_count_ > wanted || ended_; });
        if (made_count_ <= wanted) {
            if (failure_) std::rethrow_exception(failure_);
            return {};
        }
        // The piece before the one left stays: its last record may be the
        // one given before the last.
        if (wanted >= 2) freed_count_ = wanted - 1;
    }
    freed_.notify_one();
    reading_ = wanted;
    reading_any_ = true;
    at_ = 1;
    return {pieces_[reading_ % n].data(), record_size_};
}

void RecordPipe::finish() {
    end_thread(unwatched_);
    std::lock_guard<std::mutex> lock(mutex_);
    if (failure_) std::rethrow_exception(failure_);
}

void RecordPipe::end_thread(bool& told) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        told = true;
    }
    freed_.notify_one();
    if (thread_.joinable()) thread_.join();
}

}  // namespace durva
