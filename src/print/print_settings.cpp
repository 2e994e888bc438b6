#include "print/print_settings.h"

#include <algorithm>
#include <cctype>
#include <optional>
#include <sstream>

#include "platform/folder_file.h"
#include "platform/path_resolver.h"

namespace durva::print {

namespace {

std::string trim(std::string_view s) {
    const auto first = s.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) return {};
    return std::string(s.substr(first, s.find_last_not_of(" \t\r\n") - first + 1));
}

std::string upper(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::toupper(c); });
    return s;
}

PortQueue parse_queue(const std::string& value) {
    PortQueue q;
    std::istringstream words(value);
    words >> q.queue;
    std::string charset;
    if (words >> charset) parse_charset(charset, q.charset);
    return q;
}

}  // namespace

PrintSettings parse_print_settings(std::string_view text) {
    PrintSettings s;
    std::istringstream in{std::string(text)};
    std::string line;
    while (std::getline(in, line)) {
        const std::string l = trim(line);
        if (l.empty() || l[0] == ';' || l[0] == '#') continue;
        const auto eq = l.find('=');
        if (eq == std::string::npos) continue;
        const std::string key = upper(trim(l.substr(0, eq)));
        const std::string value = trim(l.substr(eq + 1));
        if (key == "LPT1")
            s.lpt1 = parse_queue(value);
        else if (key == "LPT2")
            s.lpt2 = parse_queue(value);
        else if (key == "SERWER")
            s.server = value;
    }
    return s;
}

PrintSettings read_print_settings() {
    // A few lines of settings; anything else at the name is no settings file.
    const std::optional<std::string> text = platform::read_regular(platform::resolve_path(kPrintSettingsFile), 64 * 1024);
    return text ? parse_print_settings(*text) : PrintSettings{};
}

}  // namespace durva::print
