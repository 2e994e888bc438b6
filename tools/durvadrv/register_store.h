#pragma once
// Where a simulated register lives: its state file in the exchange folder,
// taken for the length of a run so that two runs on one port never
// interleave, and replaced whole (a new file renamed over the old one) so
// that a run that dies half way leaves the register as it was.
#include <string>

#include "register_state.h"

namespace durvadrv {

class RegisterStore {
public:
    // `folder` is the resolved exchange folder. Nothing is opened yet.
    RegisterStore(std::string folder, const std::string& port);
    ~RegisterStore();
    RegisterStore(const RegisterStore&) = delete;
    RegisterStore& operator=(const RegisterStore&) = delete;

    // Waits up to `wait_ms` for other runs on the port to finish. False, with
    // `error` set, when the register stays busy or the lock file cannot be made.
    bool take(int wait_ms, std::string& error);

    // Reads the register; a missing file is a new register. False, with
    // `error` set, when the file is damaged or unreadable (it is then left
    // alone for a person to look at).
    bool load(RegisterState& state, std::string& error);
    bool save(const RegisterState& state, std::string& error);

    const std::string& state_path() const { return state_path_; }

private:
    std::string folder_, state_path_, lock_path_;
    int lock_fd_ = -1;
};

// Writes a file of the folder whole: into a new file first, flushed to the
// disk, then renamed over the old one. False, with `error` set, on failure.
bool write_file_whole(const std::string& path, const std::string& bytes, std::string& error);

bool read_file_whole(const std::string& path, std::string& bytes);

}  // namespace durvadrv
