#pragma once
// Files the program keeps for itself beside the office's files (the record of
// an index update under way). The folder is open to every user of the office,
// so such a file is only ever a regular file of ours: it is created afresh and
// exclusively once whatever stood at its name is gone (a symlink is removed
// itself, never what it points to), and it is read without following a
// symlink or waiting on a pipe. Anything else standing at its name is none of
// ours and is not read.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace durva::platform {

class OwnFile {
public:
    // The file at `path`, for reading; null when there is none, or when what
    // stands there is no regular file. DbError when it cannot be opened.
    static std::unique_ptr<OwnFile> open(const std::string& path);
    // A new, empty file at `path`, for writing; what stood there is removed
    // first. DbError when it cannot be made.
    static std::unique_ptr<OwnFile> create(const std::string& path);

    ~OwnFile();
    OwnFile(const OwnFile&) = delete;
    OwnFile& operator=(const OwnFile&) = delete;

    const std::string& path() const { return path_; }
    // Up to `len` bytes at `offset`; the count read (short at the end).
    size_t read_at(void* buf, size_t len, std::uint64_t offset) const;
    // All bytes at `offset`; DbError on failure (a full disk among them).
    void write_at(const void* buf, size_t len, std::uint64_t offset);
    std::uint64_t size() const;

private:
    OwnFile(std::string path, int fd) : path_(std::move(path)), fd_(fd) {}
    std::string path_;
    int fd_;
};

// Removes the file at `path`; nothing when there is none. DbError when it
// cannot be removed.
void remove_own_file(const std::string& path);

// The folder holding `path` forced onto the disk, so that files created or
// removed in it so far stay so after a power cut. DbError on failure.
void sync_folder_of(const std::string& path);

}  // namespace durva::platform
