#pragma once
// DIRMAKE: creates one folder (not its parents). 0 when it was created,
// otherwise the negated system error code (an existing folder is left as it
// is and gives -EEXIST). Callers do not look at the result.
#include <string_view>

namespace durva {

int DIRMAKE(std::string_view path);

}  // namespace durva
