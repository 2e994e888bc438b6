#include "commands.h"
#include "common/dbf/table_paths.h"
#include "platform/path_resolver.h"

namespace durva::dbtool {

std::string table_path(const std::string& arg) {
    return platform::resolve_path(dbf::with_extension(arg, ".dbf"));
}

std::string index_path(const std::string& arg) {
    return platform::resolve_path(dbf::with_extension(arg, ".ntx"));
}

}  // namespace durva::dbtool
