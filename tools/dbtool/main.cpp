// dbtool: looks into the office's tables and indexes, checks and rebuilds
// indexes, for the office's IT person.
#include <iostream>
#include <map>
#include <string>

#include "commands.h"
#include "platform/errors.h"

namespace {

const char* kUsage =
    "usage: dbtool COMMAND ARGS\n"
    "  info TABLE [INDEX...]     structure, record counts, indexes and their key expressions\n"
    "  check TABLE INDEX...      every index complete and ordered (exit 0 only when all are)\n"
    "  reindex TABLE INDEX       rebuild an index from its own key expression\n"
    "  dump TABLE                records as CSV in UTF-8, deleted flag first\n"
    "  seek TABLE INDEX KEY      records under KEY (the plain value, also for DESCEND keys)\n"
    "Paths as the program writes them: 16\\03\\as or 16/03/AS.DBF; extensions optional.\n";

}  // namespace

int main(int argc, char** argv) {
    using namespace durva::dbtool;
    if (argc < 2 || std::string(argv[1]) == "--help" || std::string(argv[1]) == "-h") {
        std::cout << kUsage;
        return argc < 2 ? 2 : 0;
    }
    const std::map<std::string, int (*)(const Args&, std::ostream&, std::ostream&)> commands = {
        {"info", info}, {"check", check}, {"reindex", reindex}, {"dump", dump}, {"seek", seek}};
    auto it = commands.find(argv[1]);
    if (it == commands.end()) {
        std::cerr << "dbtool: unknown command " << argv[1] << "\n" << kUsage;
        return 2;
    }
    Args args(argv + 2, argv + argc);
    try {
        return it->second(args, std::cout, std::cerr);
    } catch (const durva::DbError& e) {
        std::cerr << "dbtool: " << e.cause() << ": " << e.file();
        if (e.os_error()) std::cerr << " (system error " << e.os_error() << ")";
        std::cerr << "\n";
        return 1;
    } catch (const std::exception& e) {
        std::cerr << "dbtool: " << e.what() << "\n";
        return 1;
    }
}
