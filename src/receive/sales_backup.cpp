#include "receive/sales_backup.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>

#include "platform/path_resolver.h"

namespace durva {

namespace {

struct Checksum {
    std::uint64_t hash = 1469598103934665603ULL;  // FNV-1a
    std::uint64_t size = 0;
    void add(const char* p, std::size_t n) {
        for (std::size_t i = 0; i < n; ++i) {
            hash ^= static_cast<unsigned char>(p[i]);
            hash *= 1099511628211ULL;
        }
        size += n;
    }
    std::string text() const {
        char buf[64];
        std::snprintf(buf, sizeof buf, "%llu:%016llx", static_cast<unsigned long long>(size),
                      static_cast<unsigned long long>(hash));
        return buf;
    }
};

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
    int in = ::open(platform::resolve_path(file).c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) return out;
    int fd = -1;
    std::string name;
    // O_EXCL: two stations copying in the same second each get a name of their own.
    for (int attempt = 1; attempt < 1000 && fd < 0; ++attempt) {
        name = backup_name(t, attempt);
        fd = ::open(platform::resolve_path(name).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) break;
    }
    Checksum sum;
    char buf[64 * 1024];
    bool ok = true;
    for (;;) {
        ssize_t n = ::read(in, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            ok = false;
            break;
        }
        if (n == 0) break;
        sum.add(buf, static_cast<std::size_t>(n));
        if (fd >= 0 && !write_all(fd, buf, static_cast<std::size_t>(n))) ok = false;
    }
    ::close(in);
    if (ok) out.fingerprint = sum.text();
    if (fd >= 0) {
        if (ok && ::fsync(fd) == 0 && ::close(fd) == 0) out.name = name;
        else ::close(fd);
    }
    return out;
}

std::string file_fingerprint(std::string_view file) {
    int in = ::open(platform::resolve_path(file).c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) return {};
    Checksum sum;
    char buf[64 * 1024];
    for (;;) {
        ssize_t n = ::read(in, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            ::close(in);
            return n < 0 ? std::string() : sum.text();
        }
        sum.add(buf, static_cast<std::size_t>(n));
    }
}

}  // namespace durva
