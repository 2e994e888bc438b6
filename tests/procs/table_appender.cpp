// A workstation appending records to a shared table with its indexes open, as
// the office programs do: each append under the append lock, the new record
// locked, its fields filled, then unlocked (which writes it and its keys).
//
//   table_appender TABLE ID COUNT INDEX...
// Record i of this workstation gets KOD "<ID>-<i>" (zero-padded) and NAZWA
// naming both; prints "done N" at the end, "error ..." on failure.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "common/dbf/table.h"
#include "platform/errors.h"

int main(int argc, char** argv) {
    using namespace durva;
    if (argc < 4) return 2;
    const int id = std::atoi(argv[2]);
    const int count = std::atoi(argv[3]);
    dbf::TableSettings settings;
    try {
        auto t = dbf::Table::open(argv[1], platform::Share::Shared, settings);
        for (int i = 4; i < argc; ++i) t->add_index(argv[i]);
        for (int i = 1; i <= count; ++i) {
            // The append lock is waited for; only someone's file lock refuses us.
            while (!t->append_blank()) ::usleep(1000);
            char kod[16], nazwa[32];
            std::snprintf(kod, sizeof kod, "%02d-%06d", id, i);
            std::snprintf(nazwa, sizeof nazwa, "STACJA %d POZYCJA %d", id, i);
            t->put("KOD", std::string(kod));
            t->put("NAZWA", std::string(nazwa));
            t->put("ILE", static_cast<double>(i));
            t->unlock();
        }
        t->close();
    } catch (const DbError& e) {
        std::printf("error %s\n", e.what());
        return 4;
    }
    std::printf("done %d\n", count);
    return 0;
}
