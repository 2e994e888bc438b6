// A workstation making one batch insert into an index, for the tests of
// index updates cut short:
//
//   ntx_updater NTX shared|exclusive FIRST COUNT [kill K [half] | limit BYTES | list]
// Opens NTX (keys of ntx_batch.h) and inserts the keys of records FIRST ..
// FIRST + COUNT - 1 in one insert_many (held exclusively, then closes it,
// which writes them). Every write to the index or to a file beside it counts,
// and so does the emptying of such a file:
//   kill K     SIGKILL at the K-th (from 1) before it is made; with "half"
//              after the first half of its bytes went (a write torn apart)
//   limit B    no file may grow beyond B bytes (SIGXFSZ ignored), as on a
//              full disk
//   list       each one printed as "write PATH OFFSET LENGTH" ("empty PATH")
// Prints "done" at the end, "error ERRNO TEXT" when the update failed.
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "ntx_batch.h"
#include "platform/errors.h"
#include "platform/file.h"

namespace {

long g_kill_at = 0;
bool g_half = false;
bool g_list = false;
long g_seen = 0;

void observe(const std::string& path, int fd, const void* data, size_t len, std::uint64_t offset) {
    ++g_seen;
    if (g_list) {
        if (data)
            std::printf("write %s %llu %zu\n", path.c_str(), static_cast<unsigned long long>(offset), len);
        else
            std::printf("empty %s\n", path.c_str());
        return;
    }
    if (g_seen != g_kill_at) return;
    if (g_half && data && len > 1) {
        if (::pwrite(fd, data, len / 2, static_cast<off_t>(offset)) < 0) std::_Exit(3);
    }
    ::kill(::getpid(), SIGKILL);
}

}  // namespace

int main(int argc, char** argv) {
    using namespace durva;
    if (argc < 5) return 2;
    const std::string path = argv[1];
    const bool shared = std::strcmp(argv[2], "shared") == 0;
    const auto first = static_cast<std::uint32_t>(std::atol(argv[3]));
    const auto count = static_cast<std::uint32_t>(std::atol(argv[4]));
    const std::string what = argc > 5 ? argv[5] : "";
    try {
        auto ntx = dbf::NtxIndex::open(path, shared ? platform::Share::Shared : platform::Share::Exclusive,
                                       test::batch_fields());
        if (what == "kill" && argc > 6) {
            g_kill_at = std::atol(argv[6]);
            g_half = argc > 7 && std::strcmp(argv[7], "half") == 0;
        } else if (what == "limit" && argc > 6) {
            ::signal(SIGXFSZ, SIG_IGN);
            rlimit lim{};
            ::getrlimit(RLIMIT_FSIZE, &lim);
            lim.rlim_cur = static_cast<rlim_t>(std::atoll(argv[6]));
            ::setrlimit(RLIMIT_FSIZE, &lim);
        } else if (what == "list") {
            g_list = true;
        }
        platform::set_write_observer(observe);
        ntx->insert_many(test::batch_entries(first, count));
        ntx->flush();
        ntx.reset();
    } catch (const DbError& e) {
        std::printf("error %d %s\n", e.os_error(), e.what());
        return 1;
    }
    std::printf("done\n");
    return 0;
}
