#include "common/dirmake.h"

#include <sys/stat.h>

#include <cerrno>
#include <string>

#include "platform/path_resolver.h"

namespace durva {

int DIRMAKE(std::string_view path) {
    std::string p = platform::resolve_path(path);
    while (p.size() > 1 && p.back() == '/') p.pop_back();
    if (p.empty()) return -ENOENT;
    return ::mkdir(p.c_str(), 0777) == 0 ? 0 : -errno;
}

}  // namespace durva
