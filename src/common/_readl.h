#pragma once
// Reading a text file line by line through a low-level handle.
#include <string>

#include "platform/read_handle.h"

namespace durva {

// Returns the next line ended by carriage return and line feed, without its
// line end, reading through a 750-byte window. A line of up to 748 characters
// comes back whole. When the window holds no line end (a longer line, or a
// last line without one), the result is empty and the position moves on by
// exactly one byte, so a caller looping while the position differs from the
// file size always ends.
std::string FREADLINE(platform::ReadHandle& handle);

}  // namespace durva
