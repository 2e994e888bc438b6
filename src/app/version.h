#pragma once

namespace durva {
inline constexpr const char* kProgramName = "DURVA";
const char* program_version();
}  // namespace durva
