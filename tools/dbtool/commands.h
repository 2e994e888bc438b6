#pragma once
// The commands of dbtool, the table and index tool for the office's IT
// person. Each prints to `out`, reports problems on `err` and returns the
// process exit status.
#include <iosfwd>
#include <string>
#include <vector>

namespace durva::dbtool {

using Args = std::vector<std::string>;

int info(const Args& args, std::ostream& out, std::ostream& err);
int check(const Args& args, std::ostream& out, std::ostream& err);
int reindex(const Args& args, std::ostream& out, std::ostream& err);
int dump(const Args& args, std::ostream& out, std::ostream& err);
int seek(const Args& args, std::ostream& out, std::ostream& err);

// Table and index paths as the program takes them: DOS or Unix separators,
// any case, extension optional.
std::string table_path(const std::string& arg);
std::string index_path(const std::string& arg);

}  // namespace durva::dbtool
