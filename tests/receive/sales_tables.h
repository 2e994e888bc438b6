#pragma once
// A copy of a sample office folder with its company tables open in the work
// areas the program uses (1 firma, 2 as, 4 dd with its index and relation,
// 5 dow, 6 dowod, 9 slow), a headless screen, and the menu values: what an
// import run finds when the main menu calls it.
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <string>

#include "common/menu_values.h"
#include "receive/sales_tables_open.h"
#include "support/current_folder.h"
#include "support/fixture_folder.h"
#include "send/watched_session.h"

namespace durva::test {

// Writes a sales file of the given lines, each ended by CR LF.
inline void write_sales(const std::string& path, std::initializer_list<std::string> lines) {
    std::ofstream out(path, std::ios::binary);
    for (const std::string& l : lines) out << l << "\r\n";
}

inline std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

struct SalesFolder {
    explicit SalesFolder(const std::string& sample, std::initializer_list<platform::ScriptStep> keys = {},
                         int station = 3)
        : folder(sample), cwd(folder.path()), hs(keys) {
        open_sales_tables(hs.session, sample == "kod13", station);
        std::filesystem::create_directories(folder.path() / "durva");
    }
    Session& s() { return hs.session; }
    // Keys for the waits to come; a message shown for a second needs a
    // silence before the next key, or it takes that key.
    void keys(std::initializer_list<platform::ScriptStep> steps) { hs.terminal.inner.push_keys(steps); }
    bool saw(const std::string& text) const { return hs.saw(text); }
    dbf::Table& table(const char* alias) { return hs.session.areas.table(std::string_view(alias)); }

    TempFolder folder;
    CurrentFolder cwd;
    testing::WatchedSession hs;
    MenuValues m;
};

}  // namespace durva::test
