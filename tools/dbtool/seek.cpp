#include <cctype>
#include <ostream>

#include "commands.h"
#include "common/dbf/dbf_file.h"
#include "common/dbf/ntx_index.h"
#include "common/screen/codepage.h"
#include "csv.h"

namespace durva::dbtool {

namespace {

// True when the expression is one DESCEND(...) of the whole key, such as
// "DESCEND(KOD13+MAG)"; not for "DESCEND(KOD)+STR(ILE,8)", whose DESCEND
// covers only the start of the key. Quoted texts may hold brackets.
bool whole_key_descending(const std::string& expression) {
    std::string expr;
    for (char c : expression)
        if (c != ' ') expr += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    constexpr std::string_view kOpen = "DESCEND(";
    if (expr.rfind(kOpen, 0) != 0) return false;
    int depth = 0;
    char quote = 0;
    for (std::size_t i = kOpen.size() - 1; i < expr.size(); ++i) {
        const char c = expr[i];
        if (quote) {
            if (c == quote) quote = 0;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '(') {
            ++depth;
        } else if (c == ')' && --depth == 0) {
            return i + 1 == expr.size();  // DESCEND's own bracket closes the expression
        }
    }
    return false;
}

// The value as the index holds it: in the code page, and in the descending
// form when the whole key is descending, as the program seeks. Any other key
// is taken as written.
std::string stored_key(const dbf::NtxIndex& idx, const std::string& utf8) {
    std::string key = screen::from_utf8(utf8);
    if (whole_key_descending(idx.expression()))
        for (char& c : key) c = static_cast<char>((256 - static_cast<unsigned char>(c)) & 0xFF);
    return key;
}

}  // namespace

int seek(const Args& args, std::ostream& out, std::ostream& err) {
    if (args.size() != 3) {
        err << "uzycie: dbtool seek TABELA INDEKS KLUCZ\n";
        return 2;
    }
    auto dbf = dbf::DbfFile::open(table_path(args[0]), platform::Share::Shared, true);
    auto idx = dbf::NtxIndex::open(index_path(args[1]), platform::Share::Shared, dbf->fields(), true);
    std::string key = stored_key(*idx, args[2]);
    if (static_cast<int>(key.size()) > idx->key_size()) key.resize(static_cast<size_t>(idx->key_size()));
    auto e = idx->seek(key);
    const bool found = e && e->key.compare(0, key.size(), key) == 0;
    // Standard output holds the records under an equal key and nothing else:
    // where none is equal, the record a soft seek stops on is only named.
    if (!found) {
        err << "dbtool: nie znaleziono klucza";
        if (e)
            err << "; nastepny wiekszy klucz ma rekord " << e->recno;
        else
            err << "; za nim indeks sie konczy";
        err << "\n";
        return 1;
    }
    out << csv_header(dbf->fields()) << "\n";
    while (e && e->key.compare(0, key.size(), key) == 0) {
        out << csv_record(dbf->record_view(e->recno), dbf->fields()) << "\n";
        e = idx->next(*e);
    }
    return 0;
}

}  // namespace durva::dbtool
