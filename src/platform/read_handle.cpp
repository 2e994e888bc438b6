#include "platform/read_handle.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "platform/folder_file.h"
#include "platform/path_resolver.h"

namespace durva::platform {

ReadHandle::ReadHandle(std::string_view dos_path) {
    std::string path = resolve_path(dos_path);
    if (path.empty()) { error_ = ENOENT; return; }
    // Another party's file (the driver's output, the PLU list): taken only
    // when it is a regular file at that very name.
    fd_ = open_regular(path, O_RDONLY);
    if (fd_ < 0) error_ = errno;
}

ReadHandle::~ReadHandle() { close(); }

ReadHandle::ReadHandle(ReadHandle&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), error_(other.error_), pos_(other.pos_) {}

ReadHandle& ReadHandle::operator=(ReadHandle&& other) noexcept {
    if (this != &other) {
        close();
        fd_ = std::exchange(other.fd_, -1);
        error_ = other.error_;
        pos_ = other.pos_;
    }
    return *this;
}

size_t ReadHandle::read(void* buf, size_t len) {
    if (fd_ < 0 || len == 0) return 0;
    size_t done = 0;
    auto* out = static_cast<unsigned char*>(buf);
    while (done < len) {
        ssize_t n = ::pread(fd_, out + done, len - done, static_cast<off_t>(pos_ + static_cast<std::int64_t>(done)));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<size_t>(n);
    }
    pos_ += static_cast<std::int64_t>(done);
    return done;
}

std::int64_t ReadHandle::seek_relative(std::int64_t offset) {
    pos_ = offset < -pos_ ? 0 : pos_ + offset;
    return pos_;
}

std::int64_t ReadHandle::size() const {
    struct stat st{};
    if (fd_ < 0 || ::fstat(fd_, &st) != 0) return 0;
    return st.st_size;
}

void ReadHandle::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

}  // namespace durva::platform
