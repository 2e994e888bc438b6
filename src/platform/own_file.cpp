#include "platform/own_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "platform/errors.h"
#include "platform/file.h"

namespace durva::platform {

std::unique_ptr<OwnFile> OwnFile::open(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        // ELOOP: a symlink, which the program never makes.
        if (errno == ENOENT || errno == ELOOP || errno == ENOTDIR) return nullptr;
        throw DbError("Nie moge otworzyc pliku", path, errno);
    }
    struct stat st{};
    if (::fstat(fd, &st) != 0) {
        int e = errno;
        ::close(fd);
        throw DbError("Nie moge otworzyc pliku", path, e);
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        return nullptr;
    }
    return std::unique_ptr<OwnFile>(new OwnFile(path, fd));
}

std::unique_ptr<OwnFile> OwnFile::create(const std::string& path) {
    remove_own_file(path);
    // O_EXCL: made here and now, never an existing file or a link's target.
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) throw DbError("Nie moge utworzyc pliku", path, errno);
    return std::unique_ptr<OwnFile>(new OwnFile(path, fd));
}

OwnFile::~OwnFile() { ::close(fd_); }

size_t OwnFile::read_at(void* buf, size_t len, std::uint64_t offset) const {
    size_t done = 0;
    auto* p = static_cast<char*>(buf);
    while (done < len) {
        ssize_t n = ::pread(fd_, p + done, len - done, static_cast<off_t>(offset + done));
        if (n < 0) {
            if (errno == EINTR) continue;
            throw DbError("Blad odczytu pliku", path_, errno);
        }
        if (n == 0) break;
        done += static_cast<size_t>(n);
    }
    return done;
}

void OwnFile::write_at(const void* buf, size_t len, std::uint64_t offset) {
    if (g_write_observer) g_write_observer(path_, fd_, buf, len, offset);
    size_t done = 0;
    const auto* p = static_cast<const char*>(buf);
    while (done < len) {
        ssize_t n = ::pwrite(fd_, p + done, len - done, static_cast<off_t>(offset + done));
        if (n < 0) {
            if (errno == EINTR) continue;
            throw DbError("Blad zapisu pliku", path_, errno);
        }
        done += static_cast<size_t>(n);
    }
}

std::uint64_t OwnFile::size() const {
    struct stat st{};
    if (::fstat(fd_, &st) != 0) throw DbError("Blad odczytu pliku", path_, errno);
    return static_cast<std::uint64_t>(st.st_size);
}

void remove_own_file(const std::string& path) {
    if (g_write_observer) g_write_observer(path, -1, nullptr, 0, 0);
    if (::unlink(path.c_str()) != 0 && errno != ENOENT) throw DbError("Nie moge usunac pliku", path, errno);
}

void sync_folder_of(const std::string& path) {
    std::string folder = std::filesystem::path(path).parent_path().string();
    if (folder.empty()) folder = ".";
    int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) throw DbError("Blad zapisu pliku", folder, errno);
    int rc = ::fsync(fd);
    int e = errno;
    ::close(fd);
    if (rc != 0) throw DbError("Blad zapisu pliku", folder, e);
}

}  // namespace durva::platform
