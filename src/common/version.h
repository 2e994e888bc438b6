#pragma once

namespace durva {
inline constexpr const char* kProgramName = "DURVA";
const char* program_version();
// What every program of the suite answers to --version: its name and the
// suite's version, one line.
void print_version(const char* program);
}  // namespace durva
