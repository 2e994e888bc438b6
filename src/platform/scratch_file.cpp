#include "platform/scratch_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

#include "platform/errors.h"
#include "platform/file.h"

namespace durva::platform {

ScratchFile::ScratchFile() {
    const char* tmp = std::getenv("TMPDIR");
    folder_ = tmp && *tmp ? tmp : "/tmp";
    fd_ = ::open(folder_.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd_ >= 0) return;
    // A file system without nameless files: a name of our own, removed at once.
    std::string name = folder_ + "/durva-XXXXXX";
    std::vector<char> buf(name.begin(), name.end());
    buf.push_back('\0');
    fd_ = ::mkostemp(buf.data(), O_CLOEXEC);
    if (fd_ < 0) throw DbError("Nie moge utworzyc pliku roboczego", folder_, errno);
    ::unlink(buf.data());
}

ScratchFile::~ScratchFile() {
    if (fd_ >= 0) ::close(fd_);
}

size_t ScratchFile::read_at(void* buf, size_t len, std::uint64_t offset) const {
    return read_all_at(fd_, buf, len, offset, folder_);
}

void ScratchFile::write_at(const void* buf, size_t len, std::uint64_t offset) {
    write_all_at(fd_, buf, len, offset, folder_);
}

}  // namespace durva::platform
