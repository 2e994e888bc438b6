#include "platform/folder_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

namespace durva::platform {

namespace {

// True when a folder on the way to a file of the data folder is a symlink.
// Only names inside the data folder (relative ones) are looked at: where the
// folder itself lies is the office's choice.
bool symlink_on_way(const std::string& path) {
    if (path.empty() || path.front() == '/') return false;
    for (std::size_t slash = path.find('/'); slash != std::string::npos; slash = path.find('/', slash + 1)) {
        const std::string folder = path.substr(0, slash);
        struct stat st{};
        if (::lstat(folder.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) return true;
    }
    return false;
}

}  // namespace

bool not_a_regular_file(int error) { return error == ELOOP || error == ENXIO || error == EISDIR; }

std::string opening_failure(int error) {
    if (not_a_regular_file(error)) return kNotARegularFile;
    if (error == ENOENT) return "Brak pliku";
    return "Nie moge otworzyc pliku";
}

int open_regular(const std::string& path, int flags, mode_t mode) {
    if (symlink_on_way(path)) {
        errno = ELOOP;
        return -1;
    }
    // Without waiting: an opening of a pipe would wait for a writer that
    // never comes, and freeze every workstation that reaches the name.
    const int fd = ::open(path.c_str(), (flags & ~O_TRUNC) | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, mode);
    if (fd < 0) return -1;
    struct stat st{};
    const bool looked = ::fstat(fd, &st) == 0;
    if (!looked || !S_ISREG(st.st_mode)) {
        const int e = looked ? ENXIO : errno;
        ::close(fd);
        errno = e;
        return -1;
    }
    const int fl = ::fcntl(fd, F_GETFL);
    if (fl >= 0) ::fcntl(fd, F_SETFL, fl & ~O_NONBLOCK);
    return fd;
}

int open_own(const std::string& path) {
    for (int attempt = 0; attempt < 3; ++attempt) {
        int fd = open_regular(path, O_RDWR | O_CREAT);
        if (fd >= 0) {
            struct stat st{};
            if (::fstat(fd, &st) == 0 && st.st_nlink <= 1) return fd;
            ::close(fd);  // a second name of a file that may be anyone's
        } else if (!not_a_regular_file(errno) || symlink_on_way(path)) {
            return -1;  // a folder on the way is not this program's to remove
        }
        // The name itself goes, never what it points to; a folder stays.
        if (::unlink(path.c_str()) != 0 && errno != ENOENT) return -1;
        fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) return fd;
        // Something else was put there meanwhile: look again.
    }
    errno = EEXIST;
    return -1;
}

std::FILE* stream_on(int fd, const char* mode, bool empty) {
    if (fd < 0) return nullptr;
    if (empty && ::ftruncate(fd, 0) != 0) {
        const int e = errno;
        ::close(fd);
        errno = e;
        return nullptr;
    }
    std::FILE* f = ::fdopen(fd, mode);
    if (!f) {
        const int e = errno;
        ::close(fd);
        errno = e;
    }
    return f;
}

std::optional<std::string> read_regular(const std::string& path, std::size_t limit, int* error) {
    auto fail = [&](int e) -> std::optional<std::string> {
        if (error) *error = e;
        return std::nullopt;
    };
    const int fd = open_regular(path, O_RDONLY);
    if (fd < 0) return fail(errno);
    std::string text;
    // Room for the whole file at once where its size is known (a journal of
    // megabytes would otherwise grow to twice its size on the way).
    struct stat st {};
    if (::fstat(fd, &st) == 0 && st.st_size > 0 && static_cast<std::uint64_t>(st.st_size) <= limit)
        text.reserve(static_cast<std::size_t>(st.st_size));
    char buf[64 * 1024];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            const int e = errno;
            ::close(fd);
            return fail(e);
        }
        if (n == 0) break;
        if (text.size() + static_cast<std::size_t>(n) > limit) {
            ::close(fd);
            return fail(EFBIG);
        }
        text.append(buf, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return text;
}

}  // namespace durva::platform
