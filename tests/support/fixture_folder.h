#pragma once
// A temporary folder for one test, removed afterwards, optionally filled with
// a copy of one of the sample office folders (tests never change the originals).
#include <cstdlib>
#include <filesystem>
#include <string>

namespace durva::test {

class TempFolder {
public:
    TempFolder() {
        std::string tmpl = (std::filesystem::temp_directory_path() / "durva-XXXXXX").string();
        if (!::mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
        path_ = tmpl;
    }
    // A copy of fixtures/family/<sample> (for example "kod13") inside the folder.
    explicit TempFolder(const std::string& sample) : TempFolder() {
        std::filesystem::copy(std::filesystem::path(DURVA_FIXTURES) / sample, path_,
                              std::filesystem::copy_options::recursive);
    }
    ~TempFolder() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::string file(const std::string& relative) const { return (path_ / relative).string(); }

private:
    std::filesystem::path path_;
};

}  // namespace durva::test
