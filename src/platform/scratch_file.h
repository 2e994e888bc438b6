#pragma once
// A file for data the program works through but need not hold in memory all
// at once (the keys of a large index being built). It is made in the
// system's folder for temporary files ($TMPDIR, else /tmp), never in the
// office folder, and has no name from the start, so that it leaves nothing
// behind however the program ends.
#include <cstddef>
#include <cstdint>
#include <string>

namespace durva::platform {

class ScratchFile {
public:
    // DbError naming the folder when no such file can be made there.
    ScratchFile();
    ~ScratchFile();
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;

    // Up to `len` bytes at `offset`, short only at the end; all of them
    // written. DbError on failure (a full disk among them).
    size_t read_at(void* buf, size_t len, std::uint64_t offset) const;
    void write_at(const void* buf, size_t len, std::uint64_t offset);

private:
    std::string folder_;
    int fd_ = -1;
};

}  // namespace durva::platform
