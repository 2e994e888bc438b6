#include <filesystem>
#include <ostream>
#include <system_error>

#include "commands.h"
#include "common/dbf/dbf_file.h"
#include "csv.h"

namespace durva::dbtool {

int dump(const Args& args, std::ostream& out, std::ostream& err) {
    if (args.size() != 1) {
        err << "uzycie: dbtool dump TABELA\n";
        return 2;
    }
    const std::string path = table_path(args[0]);
    auto dbf = dbf::DbfFile::open(path, platform::Share::Shared, true);
    out << csv_header(dbf->fields()) << "\n";
    const std::uint32_t count = dbf->record_count();
    std::uint32_t written = 0;
    for (std::uint32_t r = 1; r <= count; ++r) {
        const std::string_view record = dbf->record_view(r);
        if (record.empty()) break;  // the file shrank while it was read
        out << csv_record(record, dbf->fields()) << "\n";
        ++written;
    }
    // A table cut short (a copy broken off, a full disk) holds fewer records
    // than its header counts, or a piece of one: whoever takes the export
    // must know that it is not the whole table.
    std::error_code ec;
    const auto size = std::filesystem::file_size(path, ec);
    const auto body = ec || size < static_cast<std::uintmax_t>(dbf->header_length())
                          ? 0
                          : size - static_cast<std::uintmax_t>(dbf->header_length());
    const auto tail = body % static_cast<std::uintmax_t>(dbf->record_length());
    const bool piece = tail > 1;  // one byte more is the end-of-file mark
    if (written < dbf->header_count() || piece) {
        err << "dbtool: tabela niepelna: " << dbf->path() << ": naglowek podaje " << dbf->header_count()
            << " rekordow, w pliku jest " << written;
        if (piece) err << " i kawalek nastepnego (" << tail << " bajtow)";
        err << "; wypisano " << written << "\n";
        return 1;
    }
    return 0;
}

}  // namespace durva::dbtool
