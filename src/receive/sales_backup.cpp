#include "receive/sales_backup.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>

#include "platform/folder_file.h"
#include "platform/path_resolver.h"

namespace durva {

namespace {

bool write_all(int fd, const char* p, std::size_t n) {
    while (n > 0) {
        ssize_t w = ::write(fd, p, n);
        if (w < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        p += w;
        n -= static_cast<std::size_t>(w);
    }
    return true;
}

// Copies what is left of `in` to `out`; false when a read or a write failed.
bool copy_bytes(int in, int out) {
    char buf[64 * 1024];
    for (;;) {
        const ssize_t n = ::read(in, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return n == 0;
        if (!write_all(out, buf, static_cast<std::size_t>(n))) return false;
    }
}

}  // namespace

std::string backup_name(const platform::LocalTime& t, int attempt) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "DURVA_SD\\DATA_OUT%04d%02d%02d_%02d%02d%02d", t.year % 10000, t.month % 100,
                  t.day % 100, t.hour % 100, t.minute % 100, t.second % 100);
    std::string name = buf;
    if (attempt > 1) name += "_" + std::to_string(attempt);
    return name + ".OUT";
}

BackupResult make_backup(std::string_view file, const platform::LocalTime& t) {
    BackupResult out;
    int in = platform::open_regular(platform::resolve_path(file), O_RDONLY);
    if (in < 0) return out;
    int fd = -1;
    std::string name;
    // O_EXCL: two stations copying in the same second each get a name of their own.
    for (int attempt = 1; attempt < 1000 && fd < 0; ++attempt) {
        name = backup_name(t, attempt);
        fd = ::open(platform::resolve_path(name).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) break;
    }
    const bool ok = fd >= 0 && copy_bytes(in, fd);
    ::close(in);
    if (fd >= 0) {
        if (ok && ::fsync(fd) == 0 && ::close(fd) == 0) out.name = name;
        else ::close(fd);
    }
    return out;
}

std::optional<SourceStamp> sales_file_stamp(std::string_view dos_path) {
    struct stat st {};
    if (::lstat(platform::resolve_path(dos_path).c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    return SourceStamp{static_cast<unsigned long long>(st.st_ino), static_cast<unsigned long long>(st.st_size),
                       static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec};
}

std::string free_backup_name(const platform::LocalTime& t) {
    for (int attempt = 1; attempt < 1000; ++attempt) {
        const std::string name = backup_name(t, attempt);
        struct stat st {};
        if (::lstat(platform::resolve_path(name).c_str(), &st) != 0 && errno == ENOENT) return name;
    }
    return backup_name(t, 1000);
}

namespace {

// The folder of a path, forced to disk so that a rename in it survives a power cut.
void sync_folder_of(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string(".") : path.substr(0, slash + 1);
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

std::string numbered(std::string_view wanted, int attempt) {
    std::string name(wanted);
    if (attempt <= 1) return name;
    const std::size_t dot = name.rfind('.');
    const std::string suffix = "_" + std::to_string(attempt);
    if (dot == std::string::npos) return name + suffix;
    return name.insert(dot, suffix);
}

// Copies the file to a new name and forces it to disk: the way across to
// a backup folder on another file system, where no rename reaches.
bool copy_to(const std::string& from, const std::string& to) {
    const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (in < 0) return false;
    const int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
    if (out < 0) {
        ::close(in);
        return false;
    }
    bool ok = copy_bytes(in, out);
    ::close(in);
    ok = ::fsync(out) == 0 && ok;
    ok = ::close(out) == 0 && ok;
    if (!ok) ::unlink(to.c_str());
    return ok;
}

}  // namespace

std::string take_sales_file(std::string_view source, const SourceStamp& stamp, std::string_view wanted) {
    const std::optional<SourceStamp> now = sales_file_stamp(source);
    if (!now || *now != stamp) return {};
    const std::string from = platform::resolve_path(source);
    for (int attempt = 1; attempt < 1000; ++attempt) {
        const std::string name = numbered(wanted, attempt);
        const std::string to = platform::resolve_path(name);
        // Never over another file: a copy of its own for every read-out.
        if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
            sync_folder_of(to);
            sync_folder_of(from);
            return name;
        }
        if (errno == EEXIST) continue;
        if (errno != EXDEV && errno != EINVAL && errno != ENOSYS) return {};
        // No rename across file systems (or none that refuses to replace):
        // a copy forced to disk, then the driver's file removed.
        if (!copy_to(from, to)) {
            if (errno == EEXIST) continue;
            return {};
        }
        if (::unlink(from.c_str()) != 0) {
            ::unlink(to.c_str());
            return {};
        }
        sync_folder_of(from);
        return name;
    }
    return {};
}

}  // namespace durva
