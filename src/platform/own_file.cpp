#include "platform/own_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/disk_sync.h"
#include "platform/errors.h"
#include "platform/file.h"
#include "platform/folder_file.h"

namespace durva::platform {

namespace {

// A regular file with this one name: writing it changes nothing else.
bool ours_alone(int fd) {
    struct stat st{};
    return ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_nlink == 1;
}

}  // namespace

bool OwnFile::filled(const std::string& path) {
    struct stat st{};
    return ::fstatat(AT_FDCWD, path.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode) && st.st_size > 0;
}

std::unique_ptr<OwnFile> OwnFile::open_filled(const std::string& path) {
    if (!filled(path)) return nullptr;
    // Read and write, to empty it once it has served; read only where this
    // user may not write it (it is then removed instead).
    bool writable = true;
    int fd = ::open(path.c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0 && errno == EACCES) {
        writable = false;
        fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    }
    if (fd < 0) {
        if (errno == ENOENT || errno == ELOOP) return nullptr;  // gone, or replaced by a symlink
        throw DbError("Nie moge otworzyc pliku", path, errno);
    }
    if (!ours_alone(fd)) {
        ::close(fd);
        return nullptr;
    }
    return std::unique_ptr<OwnFile>(new OwnFile(path, fd, writable));
}

std::unique_ptr<OwnFile> OwnFile::make(const std::string& path) {
    const int fd = open_own(path);
    if (fd < 0) throw DbError("Nie moge utworzyc pliku", path, errno);
    auto f = std::unique_ptr<OwnFile>(new OwnFile(path, fd, true));
    if (f->size() > 0) f->empty();
    return f;
}

OwnFile::~OwnFile() { ::close(fd_); }

size_t OwnFile::read_at(void* buf, size_t len, std::uint64_t offset) const {
    return read_all_at(fd_, buf, len, offset, path_);
}

void OwnFile::write_at(const void* buf, size_t len, std::uint64_t offset) {
    if (g_write_observer) g_write_observer(path_, fd_, buf, len, offset);
    write_all_at(fd_, buf, len, offset, path_);
}

std::uint64_t OwnFile::size() const {
    struct stat st{};
    if (::fstat(fd_, &st) != 0) throw DbError("Blad odczytu pliku", path_, errno);
    return static_cast<std::uint64_t>(st.st_size);
}

void OwnFile::empty() {
    if (g_write_observer) g_write_observer(path_, fd_, nullptr, 0, 0);
    if (!writable_) {
        remove_own_file(path_);
        return;
    }
    if (::ftruncate(fd_, 0) != 0) throw DbError("Blad zapisu pliku", path_, errno);
}

void OwnFile::force() {
    if (!force_to_disk(fd_, path_)) throw DbError("Blad zapisu pliku", path_, errno);
}

void sync_own_file(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT || errno == ELOOP) return;
        throw DbError("Blad zapisu pliku", path, errno);
    }
    const bool forced = force_to_disk(fd, path);
    const int e = errno;
    ::close(fd);
    if (!forced) throw DbError("Blad zapisu pliku", path, e);
}

void remove_own_file(const std::string& path) {
    if (::unlink(path.c_str()) != 0 && errno != ENOENT) throw DbError("Nie moge usunac pliku", path, errno);
}

}  // namespace durva::platform
