#pragma once
// Records of one size handed from a thread that makes them to the caller
// that uses them, in pieces: while the caller works through one piece, the
// thread makes the next, and after handing a piece over does with it what
// else it must (writes it to a file, say). The pieces are used in turn;
// the thread waits when all are made and not yet used, the caller when the
// next is not made yet.
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
#include <string_view>
#include <thread>
#include <vector>

namespace durva {

class RecordPipe {
public:
    // Puts up to `room` records at `into` and returns how many; fewer than
    // `room` says there are no more.
    using Make = std::function<std::uint32_t(char* into, std::uint32_t room)>;
    // Told of each piece once it is handed over.
    using Handed = std::function<void(const char* records, std::uint32_t count)>;

    // `pieces` (three or more) of `piece_bytes` each, at least a record each.
    RecordPipe(size_t record_size, size_t piece_bytes, int pieces);
    // Stops the thread at its next piece; what it did not make is not made.
    ~RecordPipe();
    RecordPipe(const RecordPipe&) = delete;
    RecordPipe& operator=(const RecordPipe&) = delete;

    // Starts the thread. Both functions run on it, never at the same time.
    void start(Make make, Handed handed);
    // The next record; empty after the last. Its bytes stay as they are
    // until the call after the next. A failure of the thread (an exception
    // of `make` or `handed`) is thrown here, once the records made before it
    // are used.
    std::string_view next();
    // The caller takes no more records: the thread goes on to the end
    // without waiting for it, and its failure, if any, is thrown here.
    void finish();

private:
    void run();
    // Sets `told` (stopping_ or unwatched_) for the thread and waits for it to end.
    void end_thread(bool& told);

    size_t record_size_;
    std::uint32_t per_piece_;
    std::vector<std::vector<char>> pieces_;
    std::vector<std::uint32_t> held_;  // records in each piece
    Make make_;
    Handed handed_;

    // The caller's place: the piece it reads (by number, as handed over),
    // and the next record in it.
    std::uint64_t reading_ = 0;
    std::uint32_t at_ = 0;
    bool reading_any_ = false;

    // Pieces are numbered as they are made; piece n lies in
    // pieces_[n % pieces_.size()].
    std::mutex mutex_;
    std::condition_variable made_, freed_;
    std::uint64_t made_count_ = 0;   // pieces handed over
    std::uint64_t freed_count_ = 0;  // pieces the caller is done with
    bool ended_ = false;             // the thread made its last piece, or failed
    bool stopping_ = false;
    bool unwatched_ = false;  // finish(): the caller reads no more
    std::exception_ptr failure_;
    std::thread thread_;
};

}  // namespace durva
