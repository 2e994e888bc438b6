// A workstation appending records to a shared table with its indexes open, as
// the office programs do: each append under the append lock, the new record
// locked, its fields filled, then unlocked (which writes it and its keys).
//
//   table_appender TABLE ID COUNT[xBATCH] INDEX...
// Record i of this workstation gets KOD "<ID>-<i>" (zero-padded) and NAZWA
// naming both; prints "done N" at the end, "error ...." on failure. With
// xBATCH the records go BATCH at a time in one write under the table's file
// lock, or one by one as above while someone's record lock refuses it.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "common/dbf/field_codec.h"
#include "common/dbf/table.h"
#include "platform/errors.h"

int main(int argc, char** argv) {
    using namespace durva;
    if (argc < 4) return 2;
    const int id = std::atoi(argv[2]);
    const int count = std::atoi(argv[3]);
    const char* x = std::strchr(argv[3], 'x');
    const int batch = x ? std::atoi(x + 1) : 1;
    dbf::TableSettings settings;
    try {
        auto t = dbf::Table::open(argv[1], platform::Share::Shared, settings);
        for (int i = 4; i < argc; ++i) t->add_index(argv[i]);
        auto fill = [&](auto& put, int i) {
            char kod[16], nazwa[32];
            std::snprintf(kod, sizeof kod, "%02d-%06d", id, i);
            std::snprintf(nazwa, sizeof nazwa, "STACJA %d POZYCJA %d", id, i);
            put("KOD", std::string(kod));
            put("NAZWA", std::string(nazwa));
            put("ILE", static_cast<double>(i));
        };
        for (int i = 1; i <= count;) {
            if (batch > 1 && t->lock_file()) {
                std::string bytes;
                const int end = std::min(count + 1, i + batch);
                for (; i < end; ++i) {
                    std::string rec = t->dbf().blank_record();
                    auto put = [&](const char* name, const dbf::FieldValue& v) {
                        dbf::encode_field(t->fields()[static_cast<size_t>(t->field_pos(name) - 1)], v, rec.data());
                    };
                    fill(put, i);
                    bytes += rec;
                }
                t->append_records(bytes);
                t->unlock();
                continue;
            }
            // The append lock is waited for; only someone's file lock refuses us.
            while (!t->append_blank()) ::usleep(1000);
            auto put = [&](const char* name, const dbf::FieldValue& v) { t->put(name, v); };
            fill(put, i);
            t->unlock();
            ++i;
        }
        t->close();
    } catch (const DbError& e) {
        std::printf("error %s\n", e.what());
        return 4;
    }
    std::printf("done %d\n", count);
    return 0;
}
