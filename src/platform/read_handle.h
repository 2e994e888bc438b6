#pragma once
// A file opened for reading through a low-level handle with an explicit
// position, the way the driver's output and error files are read line by line:
// read from the position, move the position by an offset, compare it with the
// file size.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace durva::platform {

class ReadHandle {
public:
    ReadHandle() = default;
    // Opens a DOS path (resolved, case-blind) for reading; check is_open().
    explicit ReadHandle(std::string_view dos_path);
    ~ReadHandle();
    ReadHandle(ReadHandle&& other) noexcept;
    ReadHandle& operator=(ReadHandle&& other) noexcept;
    ReadHandle(const ReadHandle&) = delete;
    ReadHandle& operator=(const ReadHandle&) = delete;

    bool is_open() const { return fd_ >= 0; }
    // The operating system's error code of a failed opening, 0 otherwise.
    int open_error() const { return error_; }

    // Reads up to `len` bytes from the position and moves the position past
    // them; returns the count read (0 at or beyond the end, or on error).
    size_t read(void* buf, size_t len);
    // Moves the position by `offset` bytes from where it is; it never goes
    // below 0. Returns the new position.
    std::int64_t seek_relative(std::int64_t offset);
    std::int64_t position() const { return pos_; }
    std::int64_t size() const;
    void close();

private:
    int fd_ = -1;
    int error_ = 0;
    std::int64_t pos_ = 0;
};

}  // namespace durva::platform
