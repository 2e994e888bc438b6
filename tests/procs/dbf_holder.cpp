// A workstation that holds a table open (shared or exclusive) and, when told,
// a record lock on it, until it is told to let go. Answers on standard output:
// "refused" when the opening is refused, "ready" when it holds what it was
// asked to, "locked N" / "busy N" for a lock, "unlocked N".
//
//   dbf_holder TABLE shared|exclusive
// then commands on standard input: "lock N", "unlock N", "lockfile 0"
// (answered "filelocked" or "filebusy"), "unlockfile 0", "sleep MS" (the
// next command waits that long; answered "slept"), "quit".
#include <chrono>
#include <cstdio>
#include <iostream>
#include <thread>
#include <string>

#include "common/dbf/dbf_file.h"
#include "platform/errors.h"

int main(int argc, char** argv) {
    using namespace durva;
    if (argc < 3) return 2;
    std::unique_ptr<dbf::DbfFile> t;
    try {
        t = dbf::DbfFile::open(argv[1], std::string(argv[2]) == "exclusive" ? platform::Share::Exclusive
                                                                          : platform::Share::Shared);
    } catch (const SharingError&) {
        std::printf("refused\n");
        return 3;
    } catch (const DbError& e) {
        std::printf("error %s\n", e.what());
        return 4;
    }
    std::printf("ready\n");
    std::fflush(stdout);
    std::string cmd;
    unsigned long n = 0;
    while (std::cin >> cmd) {
        if (cmd == "quit") break;
        if (!(std::cin >> n)) break;
        if (cmd == "lock") std::printf(t->lock_record(static_cast<std::uint32_t>(n)) ? "locked %lu\n" : "busy %lu\n", n);
        else if (cmd == "lockfile") std::printf(t->lock_file() ? "filelocked\n" : "filebusy\n");
        else if (cmd == "sleep") {
            std::this_thread::sleep_for(std::chrono::milliseconds(n));
            std::printf("slept\n");
        } else if (cmd == "unlockfile") {
            t->unlock_file();
            std::printf("fileunlocked\n");
        } else if (cmd == "unlock") {
            t->unlock_record(static_cast<std::uint32_t>(n));
            std::printf("unlocked %lu\n", n);
        }
        std::fflush(stdout);
    }
    t->close();
    return 0;
}
