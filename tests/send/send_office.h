#pragma once
// A copy of a sample office folder with the company tables opened by the
// program's own start-up routine, the settings of its parameter file, and a
// headless screen that remembers what it showed: the ground every send test
// stands on.
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "send/sample_office.h"
#include "send/watched_session.h"
#include "support/current_folder.h"
#include "support/fixture_folder.h"

namespace durva::testing {

struct SendOffice {
    explicit SendOffice(const std::string& sample, std::initializer_list<platform::ScriptStep> keys = {})
        : folder(sample), here(folder.path()), h(keys) {
        if (!open_sample_office(h.session)) throw std::runtime_error("the company tables of " + sample + " did not open");
    }

    Session& session() { return h.session; }
    dbf::Table& goods() { return h.session.areas.table(2); }

    // The driver input file as bytes, and its records (the lines after the
    // control line).
    std::string input_file() const {
        std::ifstream in(folder.path() / "durva" / "data_in.txt", std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    std::vector<std::string> records() const {
        std::vector<std::string> lines;
        const std::string text = input_file();
        size_t at = 0;
        for (;;) {
            size_t end = text.find("\r\n", at);
            if (end == std::string::npos) break;
            lines.push_back(text.substr(at, end - at));
            at = end + 2;
        }
        if (!lines.empty()) lines.erase(lines.begin());  // the control line
        return lines;
    }

    test::TempFolder folder;
    test::CurrentFolder here;
    WatchedSession h;
    MenuValues menu;
};

}  // namespace durva::testing
