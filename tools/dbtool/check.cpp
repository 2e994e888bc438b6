#include <algorithm>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "commands.h"
#include "common/dbf/dbf_file.h"
#include "common/dbf/ntx_index.h"

namespace durva::dbtool {

namespace {

// The first fault of one index against its table, or "" when it is complete
// and ordered: the tree itself sound and in order, one key per record (one per
// distinct key in a unique index), and every record found under its own key.
// The index is walked once, in order, under one taking of its read lock: a
// record looked up by its key would walk every entry of an equal key, and
// an index of many equal keys would take hours.
std::string index_fault(dbf::DbfFile& dbf, dbf::NtxIndex& idx) {
    const std::uint32_t count = dbf.record_count();
    dbf::IndexReadHold hold(&idx);
    if (std::string fault = idx.verify(count); !fault.empty()) return fault;
    auto not_under_its_key = [](std::uint32_t r) {
        return "rekord " + std::to_string(r) + " nie stoi pod swoim kluczem";
    };
    std::vector<bool> seen(static_cast<std::size_t>(count) + 1);
    std::vector<std::string> keys;  // of a unique index, in order
    std::uint64_t entries = 0;
    for (auto e = idx.first(); e; e = idx.next(*e)) {
        ++entries;
        if (e->recno == 0 || e->recno > count || seen[e->recno]) continue;  // counted against the table below
        seen[e->recno] = true;
        if (idx.key_of(dbf.record_view(e->recno)) != e->key) return not_under_its_key(e->recno);
        if (idx.unique()) keys.push_back(e->key);
    }
    std::uint64_t expected = count;
    if (idx.unique()) {
        // A unique index holds each key once, under whichever record came first.
        std::set<std::string> distinct(keys.begin(), keys.end());
        for (std::uint32_t r = 1; r <= count; ++r) {
            if (seen[r]) continue;
            std::string key = idx.key_of(dbf.record_view(r));
            if (!std::binary_search(keys.begin(), keys.end(), key)) return not_under_its_key(r);
            distinct.insert(std::move(key));
        }
        expected = distinct.size();
    } else {
        for (std::uint32_t r = 1; r <= count; ++r)
            if (!seen[r]) return not_under_its_key(r);
    }
    if (entries != expected)
        return "ma " + std::to_string(entries) + " kluczy, tabela wymaga " + std::to_string(expected);
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
