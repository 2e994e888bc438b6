// A workstation changing the keys of its own records in a shared table while
// others change theirs, as the office programs do: each record locked,
// its key fields rewritten, some records deleted and others recalled, then
// unlocked (which writes the record and its keys to every index).
//
//   table_changer TABLE ID STATIONS ROUNDS RECORDS INDEX...
// Record r (up to RECORDS; others may be appending meanwhile) belongs to
// station ((r - 1) mod STATIONS) + 1. After round j it
// holds the values changed_kod(r, j) and changed_nazwa(r, j) below, and is
// deleted when (r + j) is a multiple of 5. Prints "done N" (records changed)
// at the end, "error ..." on failure.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "common/dbf/table.h"
#include "platform/errors.h"
#include "table_changes.h"

int main(int argc, char** argv) {
    using namespace durva;
    if (argc < 6) return 2;
    const int id = std::atoi(argv[2]);
    const int stations = std::atoi(argv[3]);
    const int rounds = std::atoi(argv[4]);
    const auto n = static_cast<std::uint32_t>(std::atoi(argv[5]));
    dbf::TableSettings settings;
    settings.deleted_hidden = false;
    int changed = 0;
    try {
        auto t = dbf::Table::open(argv[1], platform::Share::Shared, settings);
        for (int i = 6; i < argc; ++i) t->add_index(argv[i]);
        for (int j = 1; j <= rounds; ++j) {
            for (std::uint32_t r = static_cast<std::uint32_t>(id); r <= n; r += static_cast<std::uint32_t>(stations)) {
                t->go_to(r);
                while (!t->lock_record()) ::usleep(500);
                t->put("KOD", test::changed_kod(r, j));
                t->put("NAZWA", test::changed_nazwa(r, j));
                if (test::changed_deleted(r, j)) t->delete_record();
                else t->recall();
                t->unlock();
                ++changed;
            }
        }
        t->close();
    } catch (const DbError& e) {
        std::printf("error %s\n", e.what());
        return 4;
    }
    std::printf("done %d\n", changed);
    return 0;
}
