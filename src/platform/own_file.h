#pragma once
// Files the program keeps for itself beside the office's files (the record of
// an index update under way). The folder is open to every user of the office,
// so such a file is only ever a regular file of ours, with no other name:
// what stands at its name otherwise (a symlink, a second link to another
// file, a pipe) is removed itself, never followed, and the file made afresh
// and exclusively. It is made once and then kept open and written over
// (what it holds says whether it still matters): making and removing a file,
// or cutting it and letting it grow again, for every update would cost far
// more than the update.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace durva::platform {

class OwnFile {
public:
    // True when the file at `path` holds something (a regular file, not
    // empty). One look at the folder, following no symlink.
    static bool filled(const std::string& path);
    // The file at `path` when it holds something; null when there is none,
    // it is empty, or what stands there is none of ours. DbError when it
    // cannot be opened.
    static std::unique_ptr<OwnFile> open_filled(const std::string& path);
    // The file at `path`, empty, for writing. DbError when it cannot be made.
    static std::unique_ptr<OwnFile> make(const std::string& path);

    ~OwnFile();
    OwnFile(const OwnFile&) = delete;
    OwnFile& operator=(const OwnFile&) = delete;

    const std::string& path() const { return path_; }
    // False when this user may only read it (opened by open_filled).
    bool writable() const { return writable_; }
    // Up to `len` bytes at `offset`; the count read (short at the end).
    size_t read_at(void* buf, size_t len, std::uint64_t offset) const;
    // All bytes at `offset`; DbError on failure (a full disk among them).
    void write_at(const void* buf, size_t len, std::uint64_t offset);
    std::uint64_t size() const;
    // Cuts the file to nothing: it has served. DbError on failure. Where
    // this user may not write it, it is removed instead.
    void empty();
    // What was written forced onto the disk. DbError on failure.
    void force();

private:
    OwnFile(std::string path, int fd, bool writable) : path_(std::move(path)), fd_(fd), writable_(writable) {}
    std::string path_;
    int fd_;
    bool writable_;
};

// Removes the file at `path`; nothing when there is none. DbError when it
// cannot be removed.
void remove_own_file(const std::string& path);

// The file at `path` (when it is there) forced onto the disk as it is now.
// DbError on failure.
void sync_own_file(const std::string& path);

}  // namespace durva::platform
