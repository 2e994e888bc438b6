#include "common/_fun3.h"

#include <cctype>

#include "common/dbf/xbase_values.h"
#include "platform/path_resolver.h"

namespace durva {

std::string STR2(double n) {
    if (n == 0 || n > 99) return "00";
    std::string two = dbf::str_number(n, 2, 0);
    if (two[0] == ' ') return "0" + dbf::str_number(n, 1, 0);
    return two;
}

bool FILE_X(std::string_view name) {
    std::string upper, lower;
    for (char c : name) {
        if (c == ' ') continue;
        upper += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    if (upper.empty()) return false;
    return platform::file_exists(upper) || platform::file_exists(lower);
}

}  // namespace durva
