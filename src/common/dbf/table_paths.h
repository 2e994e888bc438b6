#pragma once
// Table and index names as the program writes them: "16\03\as" means the
// file as.dbf in folder 16/03, "durva\as2000.ntx" keeps its extension.
#include <string>
#include <string_view>

namespace durva::dbf {

// The path with `ext` (".dbf", ".ntx") added when its last name has no extension.
std::string with_extension(std::string_view path, std::string_view ext);

// The alias a table gets when none is given: its file name without folders
// and extension, upper case.
std::string default_alias(std::string_view path);

}  // namespace durva::dbf
