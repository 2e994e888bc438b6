#pragma once
// Forcing a file's written bytes to the disk. Whatever the program must find
// again after a power cut goes through here, in the order the program needs
// it on the disk.
#include <functional>
#include <string>
#include <vector>

namespace durva::platform {

// fdatasync() of the open file `fd`, which `path` names; false when it failed
// (errno tells why).
bool force_to_disk(int fd, const std::string& path);

// Runs forcings that do not depend on one another (the files of several
// tables, none of which must reach the disk before another) at the same
// time, and returns when all have ended: the disk then takes them together
// instead of one after the other. The first failure is thrown once all ended.
void force_together(const std::vector<std::function<void()>>& forcings);

// Hears of every forcing that succeeded, with the file's path: the
// multi-process tests keep a copy of the file as it then was, and emulate a
// power cut by putting back only what was forced.
std::function<void(const std::string& path)>& forcing_observer();

}  // namespace durva::platform
