#pragma once
// The program and the office's other programs write DOS paths ("durva\as2000",
// "16\03\as"). Every file access goes through resolve_path: backslashes become
// slashes, each component that exists is found whatever its case (a DOS folder
// is case-blind), and a component that does not exist yet is taken in lower
// case, so that new files and folders are created in lower case.
#include <string>
#include <string_view>

namespace durva::platform {

std::string resolve_path(std::string_view dos_path);

// True if the path names an existing regular file (found regardless of case).
bool file_exists(std::string_view dos_path);

}  // namespace durva::platform
