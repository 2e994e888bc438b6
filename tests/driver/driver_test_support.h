#pragma once
// Stand-ins for the driver program in driver-run tests: small shell scripts
// named durvadrv.exe that write down how they were started, and a guard that
// sets the search path for one test.
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

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

// Sets PATH for the life of the guard and puts the old value back.
class SearchPath {
public:
    explicit SearchPath(const std::string& value) {
        if (const char* old = std::getenv("PATH")) old_ = old;
        ::setenv("PATH", value.c_str(), 1);
    }
    ~SearchPath() {
        if (old_)
            ::setenv("PATH", old_->c_str(), 1);
        else
            ::unsetenv("PATH");
    }
    SearchPath(const SearchPath&) = delete;
    SearchPath& operator=(const SearchPath&) = delete;

private:
    std::optional<std::string> old_;
};

}  // namespace durva::test
