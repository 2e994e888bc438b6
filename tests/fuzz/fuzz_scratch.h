#pragma once
// A scratch file for fuzz targets: one folder per run, removed when the run
// ends, and the bytes of a file read back to check nothing was written.
#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace durva::fuzz {

struct ScratchFolder {
    std::string dir;
    ScratchFolder() {
        dir = (std::filesystem::temp_directory_path() / "durva-fuzz-XXXXXX").string();
        if (!::mkdtemp(dir.data())) std::abort();
    }
    ~ScratchFolder() {
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }
};

// The path of the run's scratch file with the given name.
inline std::string scratch_path(const std::string& name) {
    static const ScratchFolder folder;
    return folder.dir + "/" + name;
}

inline std::string read_all(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace durva::fuzz
