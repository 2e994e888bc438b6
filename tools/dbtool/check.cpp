#include <ostream>
#include <set>

#include "commands.h"
#include "common/dbf/dbf_file.h"
#include "common/dbf/ntx_index.h"

namespace durva::dbtool {

namespace {

// The first fault of one index against its table, or "" when it is complete
// and ordered: the tree itself sound and in order, one key per record (one per
// distinct key in a unique index), and every record found under its own key.
std::string index_fault(dbf::DbfFile& dbf, dbf::NtxIndex& idx) {
    std::uint32_t count = dbf.record_count();
    if (std::string fault = idx.verify(count); !fault.empty()) return fault;

    std::set<std::string> distinct;
    for (std::uint32_t r = 1; r <= count; ++r) {
        std::string key = idx.key_of(dbf.record_view(r));
        auto e = idx.seek(key);
        bool found = false;
        // A unique index holds each key once, under whichever record came first.
        while (e && e->key == key && !found) {
            found = idx.unique() || e->recno == r;
            e = idx.next(*e);
        }
        if (!found) return "rekord " + std::to_string(r) + " nie stoi pod swoim kluczem";
        if (idx.unique()) distinct.insert(std::move(key));
    }
    std::uint64_t expected = idx.unique() ? distinct.size() : count;
    std::uint64_t keys = idx.key_count();
    if (keys != expected)
        return "ma " + std::to_string(keys) + " kluczy, tabela wymaga " + std::to_string(expected);
    return {};
}

}  // namespace

int check(const Args& args, std::ostream& out, std::ostream& err) {
    if (args.size() < 2) {
        err << "uzycie: dbtool check TABELA INDEKS...\n";
        return 2;
    }
    auto dbf = dbf::DbfFile::open(table_path(args[0]), platform::Share::Shared, true);
    int status = 0;
    for (size_t i = 1; i < args.size(); ++i) {
        std::string path = index_path(args[i]);
        try {
            auto idx = dbf::NtxIndex::open(path, platform::Share::Shared, dbf->fields(), true);
            std::string fault = index_fault(*dbf, *idx);
            if (fault.empty()) {
                out << path << ": OK (kluczy " << idx->key_count() << ", " << idx->expression() << ")\n";
            } else {
                out << path << ": BLAD: " << fault << "\n";
                status = 1;
            }
        } catch (const DbError& e) {
            out << path << ": BLAD: " << e.what() << "\n";
            status = 1;
        }
    }
    return status;
}

}  // namespace durva::dbtool
