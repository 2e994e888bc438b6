#pragma once
// Another workstation for multi-process tests: one of the helper programs
// built from tests/procs, started with a pipe to its standard input and one
// from its standard output, so a test can tell it what to do and wait for
// its answers line by line.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>
#include <string>
#include <vector>

namespace durva::test {

// The path of a helper program built beside the tests.
inline std::string proc_path(const std::string& name) { return std::string(DURVA_BUILD_DIR) + "/tests/" + name; }

class ChildProcess {
public:
    ChildProcess(const std::string& program, const std::vector<std::string>& args) {
        int in[2], out[2];
        if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(program.c_str()));
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        pid_ = ::fork();
        if (pid_ < 0) throw std::runtime_error("fork failed");
        if (pid_ == 0) {
            ::dup2(in[0], 0);
            ::dup2(out[1], 1);
            ::execv(program.c_str(), argv.data());
            ::_exit(127);
        }
        ::close(in[0]);
        ::close(out[1]);
        to_child_ = in[1];
        from_child_ = out[0];
    }
    ~ChildProcess() {
        close_input();
        if (pid_ > 0 && !waited_) {
            if (!wait_exit(10'000)) {
                ::kill(pid_, SIGKILL);
                ::waitpid(pid_, nullptr, 0);
            }
        }
        if (from_child_ >= 0) ::close(from_child_);
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // The next line the child wrote, without its line feed; "" at its end or
    // when nothing came within the time.
    std::string read_line(int timeout_ms = 20'000) {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
        for (;;) {
            if (size_t nl = buffer_.find('\n'); nl != std::string::npos) {
                std::string line = buffer_.substr(0, nl);
                buffer_.erase(0, nl + 1);
                return line;
            }
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) return {};
            pollfd p{from_child_, POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) return {};
            char buf[512];
            ssize_t n = ::read(from_child_, buf, sizeof buf);
            if (n <= 0) return {};
            buffer_.append(buf, static_cast<size_t>(n));
        }
    }
    void write_line(const std::string& line) {
        std::string l = line + "\n";
        if (::write(to_child_, l.data(), l.size()) != static_cast<ssize_t>(l.size()))
            throw std::runtime_error("write to child failed");
    }
    void close_input() {
        if (to_child_ >= 0) ::close(to_child_);
        to_child_ = -1;
    }
    // Ends the child at once, as kill -9 would.
    void kill_now() {
        if (pid_ > 0 && !waited_) ::kill(pid_, SIGKILL);
    }
    // The exit code, or -1 when the child did not end within the time.
    int wait_exit_code(int timeout_ms = 60'000) { return wait_exit(timeout_ms) ? code_ : -1; }

private:
    bool wait_exit(int timeout_ms) {
        if (waited_) return true;
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
        for (;;) {
            int status = 0;
            pid_t r = ::waitpid(pid_, &status, WNOHANG);
            if (r == pid_) {
                waited_ = true;
                code_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
                return true;
            }
            if (std::chrono::steady_clock::now() > deadline) return false;
            ::usleep(2000);
        }
    }

    pid_t pid_ = -1;
    int to_child_ = -1, from_child_ = -1;
    std::string buffer_;
    bool waited_ = false;
    int code_ = -1;
};

}  // namespace durva::test
