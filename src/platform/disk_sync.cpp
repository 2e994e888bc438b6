#include "platform/disk_sync.h"

#include <unistd.h>

namespace durva::platform {

std::function<void(const std::string& path)>& forcing_observer() {
    static std::function<void(const std::string&)> observer;
    return observer;
}

bool force_to_disk(int fd, const std::string& path) {
    if (::fdatasync(fd) != 0) return false;
    if (forcing_observer()) forcing_observer()(path);
    return true;
}

}  // namespace durva::platform
