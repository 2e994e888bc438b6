#include "app/version.h"

namespace durva {
const char* program_version() { return "0.1.0"; }
}  // namespace durva
