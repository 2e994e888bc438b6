#include "platform/path_resolver.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cctype>
#include <vector>

namespace durva::platform {

namespace {

bool same_ignoring_case(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

std::string lower(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

bool exists(const std::string& p) {
    struct stat st{};
    return ::lstat(p.c_str(), &st) == 0;
}

// The name of the entry of `dir` that matches `name` regardless of case; the
// exact spelling wins when several entries match.
std::string find_entry(const std::string& dir, std::string_view name) {
    std::string exact = (dir.empty() ? std::string() : dir + "/") + std::string(name);
    if (exists(exact)) return std::string(name);
    DIR* d = ::opendir(dir.empty() ? "." : dir.c_str());
    if (!d) return {};
    std::string found;
    while (dirent* e = ::readdir(d)) {
        if (same_ignoring_case(e->d_name, name)) { found = e->d_name; break; }
    }
    ::closedir(d);
    return found;
}

}  // namespace

std::string resolve_path(std::string_view dos_path) {
    std::string path(dos_path);
    for (char& c : path) if (c == '\\') c = '/';
    if (path.empty()) return path;

    std::vector<std::string_view> parts;
    std::string_view rest(path);
    bool absolute = rest.front() == '/';
    while (!rest.empty()) {
        size_t slash = rest.find('/');
        std::string_view part = rest.substr(0, slash);
        if (!part.empty()) parts.push_back(part);
        if (slash == std::string_view::npos) break;
        rest.remove_prefix(slash + 1);
    }

    std::string out = absolute ? "/" : "";
    bool missing = false;  // once a component is missing, the rest is new: lower case
    for (std::string_view part : parts) {
        std::string name;
        if (part == "." || part == "..") {
            name = std::string(part);
        } else if (!missing) {
            std::string dir = out.empty() ? std::string() : (out == "/" ? std::string("/") : out);
            if (!dir.empty() && dir != "/" && dir.back() == '/') dir.pop_back();
            name = find_entry(dir, part);
            if (name.empty()) { missing = true; name = lower(part); }
        } else {
            name = lower(part);
        }
        if (!out.empty() && out.back() != '/') out += '/';
        out += name;
    }
    return out;
}

bool file_exists(std::string_view dos_path) {
    struct stat st{};
    std::string p = resolve_path(dos_path);
    return !p.empty() && ::stat(p.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace durva::platform
