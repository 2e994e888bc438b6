#include <ostream>

#include "commands.h"
#include "common/dbf/dbf_file.h"
#include "csv.h"

namespace durva::dbtool {

int dump(const Args& args, std::ostream& out, std::ostream& err) {
    if (args.size() != 1) {
        err << "usage: dbtool dump TABLE\n";
        return 2;
    }
    auto dbf = dbf::DbfFile::open(table_path(args[0]), platform::Share::Shared, true);
    out << csv_header(dbf->fields()) << "\n";
    std::uint32_t count = dbf->record_count();
    for (std::uint32_t r = 1; r <= count; ++r) out << csv_record(dbf->record_view(r), dbf->fields()) << "\n";
    return 0;
}

}  // namespace durva::dbtool
