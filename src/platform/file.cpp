#include "platform/file.h"

#include "platform/disk_sync.h"
#include "platform/folder_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <mutex>
#include <utility>

namespace durva::platform {

WriteObserver g_write_observer = nullptr;
OpenRefusal g_open_refusal = nullptr;

namespace {

// Files this process has open, by device and inode, so a second opening of the
// same file reuses the descriptor (and its locks) instead of refusing itself.
// Read-write and read-only openings keep descriptors of their own: a work area
// opened only for reading must never write through another area's descriptor.
struct Opened {
    std::weak_ptr<File> read_write, read_only;
    std::shared_ptr<File> any() const {
        if (auto f = read_write.lock()) return f;
        return read_only.lock();
    }
};
struct Registry {
    std::mutex mu;
    std::map<std::pair<std::uint64_t, std::uint64_t>, Opened> open;
};
Registry& registry() {
    static Registry r;
    return r;
}

bool ofd_lock(int fd, short type, std::uint64_t offset, std::uint64_t len, bool wait) {
    struct flock fl{};
    fl.l_type = type;
    fl.l_whence = SEEK_SET;
    fl.l_start = static_cast<off_t>(offset);
    fl.l_len = static_cast<off_t>(len);
    fl.l_pid = 0;
    for (;;) {
        if (::fcntl(fd, wait ? F_OFD_SETLKW : F_OFD_SETLK, &fl) == 0) return true;
        if (errno == EINTR) continue;
        return false;
    }
}

// Takes the share-mode locks on a fresh descriptor; false when refused.
// `writable`: the descriptor was opened for writing (a write lock needs it).
bool take_share_locks(int fd, Share mode, bool writable) {
    bool ex = mode == Share::Exclusive;
    if (::flock(fd, (ex ? LOCK_EX : LOCK_SH) | LOCK_NB) != 0) return false;
    // An exclusive opening excludes with a write lock on the share byte, also
    // when it only reads: a program that keeps share modes with byte locks
    // alone would otherwise open the file shared beside it.
    short type = (ex && writable) ? F_WRLCK : F_RDLCK;
    if (!ofd_lock(fd, type, kShareLockByte, 1, false)) {
        ::flock(fd, LOCK_UN);
        return false;
    }
    return true;
}

}  // namespace

File::File(std::string path, int fd, Share mode, bool read_only, std::uint64_t dev, std::uint64_t ino)
    : path_(std::move(path)), fd_(fd), mode_(mode), read_only_(read_only), dev_(dev), ino_(ino) {}

File::~File() {
    {
        std::lock_guard<std::mutex> g(registry().mu);
        auto it = registry().open.find({dev_, ino_});
        if (it != registry().open.end() && !it->second.any()) registry().open.erase(it);
    }
    ::close(fd_);  // drops the flock and every OFD lock of this description
}

std::shared_ptr<File> File::open(const std::string& path, Share mode, bool read_only) {
    // Held exclusively, the descriptor is opened for writing even when the
    // caller only reads, so that the share byte can carry a write lock; the
    // File still refuses every write. Without write permission it falls back
    // to reading, which is all such a file allows anyone anyway.
    bool writable = !read_only || mode == Share::Exclusive;
    int fd = open_regular(path, writable ? O_RDWR : O_RDONLY);
    if (fd < 0 && read_only && writable && (errno == EACCES || errno == EROFS || errno == EPERM)) {
        writable = false;
        fd = open_regular(path, O_RDONLY);
    }
    if (fd < 0) {
        int e = errno;
        throw DbError(opening_failure(e), path, e);
    }
    struct stat st{};
    if (::fstat(fd, &st) != 0) {
        int e = errno;
        ::close(fd);
        throw DbError("Nie moge otworzyc pliku", path, e);
    }
    if (g_open_refusal && g_open_refusal(path, mode)) {
        ::close(fd);
        throw SharingError(path, EACCES);
    }
    std::pair<std::uint64_t, std::uint64_t> id{st.st_dev, st.st_ino};
    std::lock_guard<std::mutex> g(registry().mu);
    Opened& opened = registry().open[id];
    if (auto existing = opened.any()) {
        if (mode != Share::Shared || existing->exclusive()) {
            ::close(fd);
            throw SharingError(path, EACCES);
        }
    }
    // A shared opening reuses the descriptor (and its locks) of an opening
    // of the same kind; read-write and read-only ones each have their own.
    std::weak_ptr<File>& slot = read_only ? opened.read_only : opened.read_write;
    if (auto same = slot.lock()) {
        ::close(fd);
        return same;
    }
    if (!take_share_locks(fd, mode, writable)) {
        ::close(fd);
        if (!opened.any()) registry().open.erase(id);
        throw SharingError(path, EACCES);
    }
    auto f = std::shared_ptr<File>(new File(path, fd, mode, read_only, st.st_dev, st.st_ino));
    slot = f;
    return f;
}

std::shared_ptr<File> File::create(const std::string& path, bool in_place) {
    // The name is made a new file: what stands there that is no regular
    // file of one name is removed, never written through.
    int fd = open_own(path);
    if (fd < 0) {
        int e = errno;
        throw DbError(not_a_regular_file(e) ? kNotARegularFile : "Nie moge utworzyc pliku", path, e);
    }
    struct stat st{};
    if (::fstat(fd, &st) != 0) {
        int e = errno;
        ::close(fd);
        throw DbError("Nie moge utworzyc pliku", path, e);
    }
    std::pair<std::uint64_t, std::uint64_t> id{st.st_dev, st.st_ino};
    std::lock_guard<std::mutex> g(registry().mu);
    if (auto it = registry().open.find(id); it != registry().open.end() && it->second.any()) {
        ::close(fd);
        throw SharingError(path, EACCES);
    }
    if (!take_share_locks(fd, Share::Exclusive, true)) {
        ::close(fd);
        throw SharingError(path, EACCES);
    }
    if (!in_place && ::ftruncate(fd, 0) != 0) {
        int e = errno;
        ::close(fd);
        throw DbError("Nie moge utworzyc pliku", path, e);
    }
    auto f = std::shared_ptr<File>(new File(path, fd, Share::Exclusive, false, st.st_dev, st.st_ino));
    f->unforced_ = true;  // emptied
    registry().open[id] = Opened{f, {}};
    return f;
}

size_t read_all_at(int fd, void* buf, size_t len, std::uint64_t offset, const std::string& path) {
    size_t done = 0;
    auto* p = static_cast<char*>(buf);
    while (done < len) {
        ssize_t n = ::pread(fd, p + done, len - done, static_cast<off_t>(offset + done));
        if (n < 0) {
            if (errno == EINTR) continue;
            throw DbError("Blad odczytu pliku", path, errno);
        }
        if (n == 0) break;
        done += static_cast<size_t>(n);
    }
    return done;
}

void write_all_at(int fd, const void* buf, size_t len, std::uint64_t offset, const std::string& path) {
    size_t done = 0;
    const auto* p = static_cast<const char*>(buf);
    while (done < len) {
        ssize_t n = ::pwrite(fd, p + done, len - done, static_cast<off_t>(offset + done));
        if (n < 0) {
            if (errno == EINTR) continue;
            throw DbError("Blad zapisu pliku", path, errno);
        }
        done += static_cast<size_t>(n);
    }
}

size_t File::read_at(void* buf, size_t len, std::uint64_t offset) const {
    return read_all_at(fd_, buf, len, offset, path_);
}

size_t File::read_pieces(char* const* bufs, size_t count, size_t piece, std::uint64_t offset) const {
    constexpr size_t kAtOnce = 64;
    size_t done = 0;
    for (size_t i = 0; i < count;) {
        const size_t n = std::min(count - i, kAtOnce);
        iovec v[kAtOnce];
        for (size_t k = 0; k < n; ++k) v[k] = {bufs[i + k], piece};
        const ssize_t got = ::preadv(fd_, v, static_cast<int>(n), static_cast<off_t>(offset + done));
        if (got < 0) {
            if (errno == EINTR) continue;
            throw DbError("Blad odczytu pliku", path_, errno);
        }
        const auto g = static_cast<size_t>(got);
        done += g;
        if (g < n * piece) {
            // Cut short (the end of the file, or a signal): the rest of these
            // pieces one at a time, as far as the file goes.
            for (size_t k = g / piece; k < n; ++k) {
                const size_t have = k == g / piece ? g % piece : 0;
                const size_t more =
                    read_all_at(fd_, bufs[i + k] + have, piece - have, offset + (i + k) * piece + have, path_);
                done += more;
                if (more < piece - have) return done;
            }
        }
        i += n;
    }
    return done;
}

void File::write_at(const void* buf, size_t len, std::uint64_t offset) {
    // An exclusive read-only opening has a descriptor that could write.
    if (read_only_) throw DbError("Plik otwarty tylko do odczytu", path_, EBADF);
    if (g_write_observer) g_write_observer(path_, fd_, buf, len, offset);
    unforced_ = true;
    write_all_at(fd_, buf, len, offset, path_);
}

void File::write_in_pieces(const void* buf, size_t len, std::uint64_t offset) {
    constexpr std::uint64_t kPiece = 64 * 1024;
    const auto* p = static_cast<const char*>(buf);
    while (len > 0) {
        size_t n = static_cast<size_t>(std::min<std::uint64_t>(len, kPiece - offset % kPiece));
        write_at(p, n, offset);
        p += n;
        offset += n;
        len -= n;
    }
}

std::uint64_t File::size() const {
    // The end of the file, not fstat(): asking for the file's times (which
    // fstat does) makes the system stamp the next write with a fresh fine
    // time and store the inode again, on every shared append.
    off_t end = ::lseek(fd_, 0, SEEK_END);
    if (end < 0) throw DbError("Blad odczytu pliku", path_, errno);
    return static_cast<std::uint64_t>(end);
}

void File::reserve(std::uint64_t size) {
    if (read_only_ || size == 0) return;
    (void)::fallocate(fd_, FALLOC_FL_KEEP_SIZE, 0, static_cast<off_t>(size));
}

void File::truncate(std::uint64_t size) {
    if (read_only_) throw DbError("Plik otwarty tylko do odczytu", path_, EBADF);
    unforced_ = true;
    if (::ftruncate(fd_, static_cast<off_t>(size)) != 0) throw DbError("Blad zapisu pliku", path_, errno);
}

void File::sync() {
    // A file this program has not written since it was last forced (an
    // index whose keys a booking never changes) has nothing of ours to force.
    if (!unforced_) return;
    if (!force_to_disk(fd_, path_)) throw DbError("Blad zapisu pliku", path_, errno);
    unforced_ = false;
}

bool File::try_lock(std::uint64_t offset, std::uint64_t len, bool write) {
    return ofd_lock(fd_, (write && !read_only_) ? F_WRLCK : F_RDLCK, offset, len, false);
}

void BoundedLockWaiter::refused(const File& file) {
    const std::int64_t now = clock_.now_ms();
    if (since_ < 0) since_ = now;
    if (now - since_ >= limit_ms_) {
        since_ = -1;
        throw DbError(kLockedByAnotherProgram, file.path(), EAGAIN);
    }
    // Such locks are held for milliseconds: retried at once at first, then
    // less often.
    clock_.sleep_ms(std::min<std::int64_t>(1 + (now - since_) / 20, 50));
}

namespace {
LockWaiter& default_waiter() {
    static RealClock clock;
    static BoundedLockWaiter waiter(clock, 30'000);
    return waiter;
}
}  // namespace

void File::lock_wait(std::uint64_t offset, std::uint64_t len, bool write) {
    const short type = (write && !read_only_) ? F_WRLCK : F_RDLCK;
    auto refused_by_others = [] { return errno == EAGAIN || errno == EACCES; };
    if (ofd_lock(fd_, type, offset, len, false)) return;
    if (!refused_by_others()) throw DbError("Blad blokady pliku", path_, errno);
    std::shared_ptr<LockWaiter> given = waiter_.lock();
    LockWaiter& waiter = given ? *given : default_waiter();
    for (;;) {
        waiter.refused(*this);
        bool ok = ofd_lock(fd_, type, offset, len, false);
        int e = errno;
        if (ok || !refused_by_others()) waiter.granted(*this);
        if (ok) return;
        if (!refused_by_others()) throw DbError("Blad blokady pliku", path_, e);
    }
}

void File::unlock(std::uint64_t offset, std::uint64_t len) { ofd_lock(fd_, F_UNLCK, offset, len, false); }

bool File::try_lock_for(const void* owner, std::uint64_t offset, std::uint64_t len) {
    for (const Held& h : held_)
        if (h.owner != owner && h.offset < offset + len && offset < h.offset + h.len) return false;
    if (!try_lock(offset, len, true)) return false;
    for (const Held& h : held_)
        if (h.owner == owner && h.offset == offset && h.len == len) return true;
    held_.push_back({owner, offset, len});
    return true;
}

void File::unlock_for(const void* owner, std::uint64_t offset, std::uint64_t len) {
    std::erase_if(held_, [&](const Held& h) {
        return h.owner == owner && h.offset >= offset && h.offset + h.len <= offset + len;
    });
    unlock(offset, len);
}

void File::unlock_all_for(const void* owner) {
    std::vector<Held> mine;
    for (const Held& h : held_)
        if (h.owner == owner) mine.push_back(h);
    for (const Held& h : mine) unlock_for(owner, h.offset, h.len);
}

namespace {
// Opens the file and holds it exclusively, as an exclusive opening would (flock
// and a write lock on the share byte), so that nobody, this process's own
// tables included, has it open meanwhile. Returns -1 when that is refused,
// -2 when the name holds no regular file (nobody can have it open as a table).
int hold_exclusively(const std::string& path) {
    int fd = open_regular(path, O_RDWR);
    bool writable = fd >= 0;
    if (fd < 0 && !not_a_regular_file(errno)) fd = open_regular(path, O_RDONLY);
    if (fd < 0) {
        int e = errno;
        if (not_a_regular_file(e) && e != EISDIR) return -2;
        throw DbError(opening_failure(e), path, e);
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 ||
        !ofd_lock(fd, writable ? F_WRLCK : F_RDLCK, kShareLockByte, 1, false)) {
        ::close(fd);
        return -1;
    }
    return fd;
}
}  // namespace

bool is_file_in_use(const std::string& path) {
    int fd = hold_exclusively(path);
    if (fd == -2) return false;
    if (fd < 0) return true;
    ::close(fd);
    return false;
}

void remove_file(const std::string& path) { remove_files_together({path}); }

void remove_files_together(const std::vector<std::string>& paths) {
    std::vector<int> held;  // -2: a symlink or a pipe, which nobody holds
    auto release = [&held] {
        for (int fd : held)
            if (fd >= 0) ::close(fd);
    };
    try {
        for (const std::string& path : paths) {
            const int fd = hold_exclusively(path);
            if (fd == -1) throw SharingError(path, EACCES);
            held.push_back(fd);
        }
        // A symlink or a pipe at a name goes itself, never what it points to.
        for (const std::string& path : paths) {
            if (::unlink(path.c_str()) == 0) continue;
            const int e = errno;
            throw DbError("Nie moge usunac pliku", path, e);
        }
    } catch (...) {
        release();
        throw;
    }
    release();
}

void replace_file(const std::string& source, const std::string& target) {
    int fd = -1;
    struct stat st{};
    if (::lstat(target.c_str(), &st) == 0) {
        fd = hold_exclusively(target);
        if (fd == -1) throw SharingError(target, EACCES);
    }
    int rc = ::rename(source.c_str(), target.c_str());
    int e = errno;
    if (fd >= 0) ::close(fd);
    if (rc != 0) throw DbError("Nie moge zastapic pliku", target, e);
}

}  // namespace durva::platform
