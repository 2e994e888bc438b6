#pragma once
// Every user of the office can write into the shared data folder, so what
// stands at a file's name there may be anything: a symlink to another user's
// private file, a pipe that no one ever writes, a second name of a file
// elsewhere. Every file of the folder is opened through here: never through a
// symlink (at its name, or at a folder of the data folder on its way to it),
// never waiting on a pipe, and only when it is a regular file.
#include <sys/types.h>

#include <cstddef>
#include <cstdio>
#include <optional>
#include <string>

namespace durva::platform {

// What the operator is told of a name that holds no regular file.
inline constexpr char kNotARegularFile[] = "To nie jest zwykly plik";

// The error number of an opening refused because the name holds a symlink,
// a pipe, a device or a folder (ELOOP for a symlink, ENXIO for the rest).
bool not_a_regular_file(int error);
// The cause to show for a failed opening of a file of the folder.
std::string opening_failure(int error);

// Opens an existing file (or, with O_CREAT in `flags`, a new one) of the
// folder. `flags` as for open(2), without O_TRUNC: a file is emptied only
// once it is known to be the one meant. Returns a descriptor that waits as
// usual on reads and writes, or -1 with errno set.
int open_regular(const std::string& path, int flags, mode_t mode = 0666);

// Opens for reading and writing a file that only this program makes and
// rewrites whole (the print file of a workstation, the driver's request, a
// table about to be made): a regular file with this one name is opened as it
// is, not emptied; whatever else stands at the name (a symlink, a pipe, a
// second name of another file) is removed itself, never followed, and the
// file is made afresh. -1 with errno set when that cannot be done.
int open_own(const std::string& path);

// A stdio stream on one of the openings above (mode "wb", "ab" or "rb"); the
// descriptor is closed when the stream cannot be made. With `empty` the file
// is first cut to nothing.
std::FILE* stream_on(int fd, const char* mode, bool empty = false);

// The whole of a regular file of the folder, when it is one and holds at
// most `limit` bytes; nullopt otherwise, with `error` (when given) set to
// the error number (EFBIG for a file beyond the limit).
std::optional<std::string> read_regular(const std::string& path, std::size_t limit, int* error = nullptr);

}  // namespace durva::platform
