#include <cstdio>
#include <iomanip>
#include <ostream>

#include "commands.h"
#include "common/dbf/dbf_file.h"
#include "common/dbf/ntx_index.h"

namespace durva::dbtool {

int info(const Args& args, std::ostream& out, std::ostream& err) {
    if (args.empty()) {
        err << "uzycie: dbtool info TABELA [INDEKS...]\n";
        return 2;
    }
    auto dbf = dbf::DbfFile::open(table_path(args[0]), platform::Share::Shared, true);
    std::uint32_t count = dbf->record_count();
    std::uint32_t deleted = 0;
    for (std::uint32_t r = 1; r <= count; ++r)
        if (dbf::DbfFile::is_deleted(dbf->record_view(r))) ++deleted;

    out << "Tabela:   " << dbf->path() << "\n";
    char version[8];
    std::snprintf(version, sizeof version, "%02X", dbf->version());
    out << "Wersja:   " << version << "    ostatnia zmiana " << dbf->header_date().dtoc() << "\n";
    out << "Rekordy:  " << count << " (usunietych " << deleted << ")";
    if (dbf->header_count() != count) out << "    naglowek podaje " << dbf->header_count();
    out << "\n";
    out << "Naglowek: " << dbf->header_length() << " bajtow    rekord: " << dbf->record_length() << " bajtow\n";
    out << "Pola:     " << dbf->fields().size() << "\n";
    int n = 0;
    for (const auto& f : dbf->fields()) {
        out << std::setw(5) << ++n << "  " << std::left << std::setw(11) << f.name << std::right << f.type
            << std::setw(6) << f.length << std::setw(4) << f.decimals << "\n";
    }
    int status = 0;
    for (size_t i = 1; i < args.size(); ++i) {
        std::string path = index_path(args[i]);
        try {
            auto idx = dbf::NtxIndex::open(path, platform::Share::Shared, dbf->fields(), true);
            out << "Indeks:   " << idx->path() << "\n"
                << "          klucz " << idx->expression() << "    dlugosc " << idx->key_size();
            if (idx->key_decimals()) out << "." << idx->key_decimals();
            out << (idx->unique() ? "    unikalny" : "") << "    kluczy " << idx->key_count() << "\n";
        } catch (const DbError& e) {
            err << path << ": " << e.what() << "\n";
            status = 1;
        }
    }
    return status;
}

}  // namespace durva::dbtool
