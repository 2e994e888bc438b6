// dbtool: looks into the office's tables and indexes, checks and rebuilds
// indexes, for the office's IT person.
#include <iostream>
#include <map>
#include <string>

#include "commands.h"
#include "common/version.h"
#include "platform/errors.h"

namespace {

// In the program's own language and, like its texts, without Polish letters,
// so that they read the same on any terminal.
const char* kUsage =
    "uzycie: dbtool POLECENIE ARGUMENTY | --help | --version\n"
    "  info TABELA [INDEKS...]    budowa, liczba rekordow, indeksy i ich wyrazenia kluczy\n"
    "  check TABELA INDEKS...     czy kazdy indeks jest pelny i uporzadkowany (kod 0 tylko gdy wszystkie)\n"
    "  reindex TABELA INDEKS      odbudowa indeksu z jego wlasnego wyrazenia klucza\n"
    "  dump TABELA                rekordy jako CSV w UTF-8, na poczatku znacznik usuniecia\n"
    "  seek TABELA INDEKS KLUCZ   rekordy o kluczu KLUCZ; dla indeksu DESCEND(...) calego klucza\n"
    "                             podaje sie zwykla wartosc, dla innych klucz tak, jak go zapisano\n"
    "Sciezki jak w programie: 16\\03\\as albo 16/03/AS.DBF; rozszerzenie mozna pominac.\n";

}  // namespace

int main(int argc, char** argv) {
    using namespace durva::dbtool;
    if (argc < 2 || std::string(argv[1]) == "--help" || std::string(argv[1]) == "-h") {
        std::cout << kUsage;
        return argc < 2 ? 2 : 0;
    }
    if (std::string(argv[1]) == "--version") {
        durva::print_version("dbtool");
        return 0;
    }
    const std::map<std::string, int (*)(const Args&, std::ostream&, std::ostream&)> commands = {
        {"info", info}, {"check", check}, {"reindex", reindex}, {"dump", dump}, {"seek", seek}};
    auto it = commands.find(argv[1]);
    if (it == commands.end()) {
        std::cerr << "dbtool: nieznane polecenie " << argv[1] << "\n" << kUsage;
        return 2;
    }
    Args args(argv + 2, argv + argc);
    try {
        return it->second(args, std::cout, std::cerr);
    } catch (const durva::DbError& e) {
        std::cerr << "dbtool: " << e.cause() << ": " << e.file();
        if (e.os_error()) std::cerr << " (kod bledu systemu " << e.os_error() << ")";
        std::cerr << "\n";
        return 1;
    } catch (const std::exception& e) {
        std::cerr << "dbtool: " << e.what() << "\n";
        return 1;
    }
}
