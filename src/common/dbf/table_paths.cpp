#include "common/dbf/table_paths.h"

namespace durva::dbf {

namespace {
std::string_view last_name(std::string_view path) {
    size_t cut = path.find_last_of("/\\");
    return cut == std::string_view::npos ? path : path.substr(cut + 1);
}
}  // namespace

std::string with_extension(std::string_view path, std::string_view ext) {
    std::string out(path);
    while (!out.empty() && out.back() == ' ') out.pop_back();
    if (last_name(out).find('.') == std::string_view::npos) out.append(ext);
    return out;
}

std::string default_alias(std::string_view path) {
    std::string name(last_name(path));
    if (size_t dot = name.find('.'); dot != std::string::npos) name.resize(dot);
    for (char& c : name)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return name;
}

}  // namespace durva::dbf
