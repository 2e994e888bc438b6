#include <cctype>
#include <ostream>

#include "commands.h"
#include "common/dbf/dbf_file.h"
#include "common/dbf/ntx_index.h"
#include "common/screen/codepage.h"
#include "csv.h"

namespace durva::dbtool {

namespace {

// The value as the index holds it: in the code page, and in the descending
// form when the whole key expression is DESCEND(...), as the program seeks.
std::string stored_key(const dbf::NtxIndex& idx, const std::string& utf8) {
    std::string key = screen::from_utf8(utf8);
    std::string expr;
    for (char c : idx.expression())
        if (c != ' ') expr += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (expr.rfind("DESCEND(", 0) == 0 && expr.back() == ')')
        for (char& c : key) c = static_cast<char>((256 - static_cast<unsigned char>(c)) & 0xFF);
    return key;
}

}  // namespace

int seek(const Args& args, std::ostream& out, std::ostream& err) {
    if (args.size() != 3) {
        err << "usage: dbtool seek TABLE INDEX KEY\n";
        return 2;
    }
    auto dbf = dbf::DbfFile::open(table_path(args[0]), platform::Share::Shared, true);
    auto idx = dbf::NtxIndex::open(index_path(args[1]), platform::Share::Shared, dbf->fields(), true);
    std::string key = stored_key(*idx, args[2]);
    if (static_cast<int>(key.size()) > idx->key_size()) key.resize(static_cast<size_t>(idx->key_size()));
    auto e = idx->seek(key);
    bool found = e && e->key.compare(0, key.size(), key) == 0;
    out << csv_header(dbf->fields()) << "\n";
    // Every record under an equal key, in index order; when none is equal,
    // the record a soft seek stops on.
    if (!found) {
        if (e) out << csv_record(dbf->record_view(e->recno), dbf->fields()) << "\n";
        err << "not found" << (e ? ", next greater key: record " + std::to_string(e->recno) : ", end of index")
            << "\n";
        return 1;
    }
    while (e && e->key.compare(0, key.size(), key) == 0) {
        out << csv_record(dbf->record_view(e->recno), dbf->fields()) << "\n";
        e = idx->next(*e);
    }
    return 0;
}

}  // namespace durva::dbtool
