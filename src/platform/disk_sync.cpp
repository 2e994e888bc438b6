#include "platform/disk_sync.h"

#include <unistd.h>

#include <exception>
#include <mutex>
#include <thread>

namespace durva::platform {

std::function<void(const std::string& path)>& forcing_observer() {
    static std::function<void(const std::string&)> observer;
    return observer;
}

bool force_to_disk(int fd, const std::string& path) {
    if (::fdatasync(fd) != 0) return false;
    if (forcing_observer()) {
        // Forcings run together are heard one at a time.
        static std::mutex heard;
        std::lock_guard<std::mutex> one(heard);
        forcing_observer()(path);
    }
    return true;
}

void force_together(const std::vector<std::function<void()>>& forcings) {
    if (forcings.empty()) return;
    std::vector<std::exception_ptr> failed(forcings.size());
    auto run = [&](std::size_t i) {
        try {
            forcings[i]();
        } catch (...) {
            failed[i] = std::current_exception();
        }
    };
    std::vector<std::thread> others;
    others.reserve(forcings.size() - 1);
    for (std::size_t i = 1; i < forcings.size(); ++i) others.emplace_back(run, i);
    run(0);
    for (std::thread& t : others) t.join();
    for (const std::exception_ptr& e : failed)
        if (e) std::rethrow_exception(e);
}

}  // namespace durva::platform
