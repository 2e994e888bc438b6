#include <ostream>

#include "commands.h"
#include "common/dbf/dbf_file.h"
#include "common/dbf/ntx_index.h"
#include "platform/file.h"

namespace durva::dbtool {

// Rebuilds an index from its own key expression into a new file beside it,
// then puts the new file in its place. The table is held exclusively meanwhile,
// so no workstation changes it under the build; the old index is replaced
// only when nobody has it open.
int reindex(const Args& args, std::ostream& out, std::ostream& err) {
    if (args.size() != 2) {
        err << "uzycie: dbtool reindex TABELA INDEKS\n";
        return 2;
    }
    auto dbf = dbf::DbfFile::open(table_path(args[0]), platform::Share::Exclusive);
    std::string path = index_path(args[1]);
    std::string expression;
    dbf::NtxOptions options;  // order, uniqueness and lock-scheme mark stay as they were
    {
        auto old = dbf::NtxIndex::open(path, platform::Share::Exclusive, dbf->fields(), true);
        expression = old->expression();
        options = old->options();
    }
    std::string fresh = path + ".new";
    std::uint64_t keys = 0;
    {
        auto idx = dbf::NtxIndex::create(
            fresh, expression, dbf->fields(), dbf->record_count(),
            [&](std::uint32_t r) { return dbf->record_view(r); }, platform::Share::Exclusive, options);
        keys = idx->key_count();
    }
    try {
        platform::replace_file(fresh, path);
    } catch (const DbError&) {
        platform::remove_file(fresh);
        throw;
    }
    out << path << ": odbudowany, kluczy " << keys << " (" << expression << ")\n";
    return 0;
}

}  // namespace durva::dbtool
