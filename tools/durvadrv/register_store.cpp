#include "register_store.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

#include "platform/path_resolver.h"

namespace durvadrv {

namespace {

std::string system_error(const std::string& what) { return what + ": " + std::strerror(errno); }

std::string file_name(const std::string& path) { return path.substr(path.rfind('/') + 1); }

}  // namespace

bool read_file_whole(const std::string& path, std::string& bytes) {
    bytes.clear();
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st{};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return false;
    }
    char buf[65536];
    for (;;) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            ::close(fd);
            return false;
        }
        if (n == 0) break;
        bytes.append(buf, static_cast<size_t>(n));
    }
    ::close(fd);
    return true;
}

bool write_file_whole(const std::string& path, const std::string& bytes, std::string& error) {
    std::string temp = path + ".new" + std::to_string(::getpid());
    int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        error = system_error("Nie moge utworzyc " + file_name(temp));
        return false;
    }
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<size_t>(n);
    }
    bool ok = done == bytes.size() && ::fsync(fd) == 0;
    if (!ok) error = system_error("Nie moge zapisac " + file_name(temp));
    if (::close(fd) != 0 && ok) {
        ok = false;
        error = system_error("Nie moge zapisac " + file_name(temp));
    }
    if (ok && ::rename(temp.c_str(), path.c_str()) != 0) {
        ok = false;
        error = system_error("Nie moge zastapic " + file_name(path));
    }
    if (!ok) ::unlink(temp.c_str());
    return ok;
}

RegisterStore::RegisterStore(std::string folder, const std::string& port) : folder_(std::move(folder)) {
    state_path_ = durva::platform::resolve_path(folder_ + "/durvadrv_cp" + port + ".dat");
    lock_path_ = durva::platform::resolve_path(folder_ + "/durvadrv_cp" + port + ".lck");
}

RegisterStore::~RegisterStore() {
    if (lock_fd_ >= 0) ::close(lock_fd_);  // closing drops the lock
}

bool RegisterStore::take(int wait_ms, std::string& error) {
    lock_fd_ = ::open(lock_path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (lock_fd_ < 0) {
        error = system_error("Nie moge utworzyc " + file_name(lock_path_));
        return false;
    }
    // The lock file stays in place: removing it would let a run that already
    // opened it lock a file nobody else sees.
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(wait_ms);
    for (;;) {
        if (::flock(lock_fd_, LOCK_EX | LOCK_NB) == 0) return true;
        if (errno != EWOULDBLOCK && errno != EINTR) {
            error = system_error("Nie moge zajac kasy");
            return false;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            error = "Kasa zajeta przez inny przebieg";
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

bool RegisterStore::load(RegisterState& state, std::string& error) {
    std::string text;
    if (!read_file_whole(state_path_, text)) {
        if (errno == ENOENT) {
            state = RegisterState{};
            return true;
        }
        error = system_error("Pamiec kasy nieczytelna: " + file_name(state_path_));
        return false;
    }
    std::string why;
    if (!decode_state(text, state, why)) {
        error = "Pamiec kasy uszkodzona: " + file_name(state_path_) + ", " + why;
        return false;
    }
    return true;
}

bool RegisterStore::save(const RegisterState& state, std::string& error) {
    return write_file_whole(state_path_, encode_state(state), error);
}

}  // namespace durvadrv
