#pragma once
// Stand-ins for the driver program in driver-run tests: small shell scripts
// named durvadrv.exe that write down how they were started, and a guard that
// sets the search path (or another variable) for one test.
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <utility>

namespace durva::test {

inline void write_bytes(const std::filesystem::path& path, const std::string& bytes) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

inline std::string read_bytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// An executable shell script at `path` running `body` (shell built-ins only,
// since the tests may empty the search path).
inline void write_script(const std::filesystem::path& path, const std::string& body) {
    write_bytes(path, "#!/bin/sh\n" + body + "\n");
    ::chmod(path.c_str(), 0755);
}

// Sets an environment variable for the life of the guard and puts the old
// value back.
class EnvironmentValue {
public:
    EnvironmentValue(std::string name, const std::string& value) : name_(std::move(name)) {
        if (const char* old = std::getenv(name_.c_str())) old_ = old;
        ::setenv(name_.c_str(), value.c_str(), 1);
    }
    ~EnvironmentValue() {
        if (old_)
            ::setenv(name_.c_str(), old_->c_str(), 1);
        else
            ::unsetenv(name_.c_str());
    }
    EnvironmentValue(const EnvironmentValue&) = delete;
    EnvironmentValue& operator=(const EnvironmentValue&) = delete;

private:
    std::string name_;
    std::optional<std::string> old_;
};

// The search path for the life of the guard.
class SearchPath : public EnvironmentValue {
public:
    explicit SearchPath(const std::string& value) : EnvironmentValue("PATH", value) {}
};

}  // namespace durva::test
