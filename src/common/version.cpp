#include "common/version.h"

#include <cstdio>

namespace durva {
const char* program_version() { return "0.1.0"; }
void print_version(const char* program) { std::printf("%s %s\n", program, program_version()); }
}  // namespace durva
