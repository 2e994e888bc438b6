#include "common/editor_pdf.h"

#include <algorithm>
#include <string>

#include "common/_fun1.h"
#include "common/editor.h"
#include "common/editor_printer.h"
#include "common/screen/codepage.h"
#include "common/screen/entry.h"
#include "common/screen/keys.h"
#include "platform/path_resolver.h"

namespace durva {

namespace {

std::string trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) return {};
    const auto last = text.find_last_not_of(' ');
    return std::string(text.substr(first, last - first + 1));
}

// The last component of a DOS or Unix path, without its extension.
std::string bare_name(std::string_view path) {
    const auto slash = path.find_last_of("\\/");
    std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
    const auto dot = name.find_last_of('.');
    if (dot != std::string_view::npos && dot > 0) name = name.substr(0, dot);
    return std::string(name);
}

}  // namespace

std::string pdf_name_problem(std::string_view name) {
    if (name.empty()) return "Pusta nazwa pliku PDF";
    if (name.front() == '\\' || name.front() == '/' || name.find(':') != std::string_view::npos)
        return "Plik PDF tylko w folderze programu";
    std::string_view rest = name;
    while (!rest.empty()) {
        const auto sep = rest.find_first_of("\\/");
        const std::string_view part = rest.substr(0, sep);
        if (part == "..") return "Plik PDF tylko w folderze programu";
        if (part.empty() || part == ".") return "Nazwa pliku PDF jest bledna";
        rest = sep == std::string_view::npos ? std::string_view{} : rest.substr(sep + 1);
        if (sep != std::string_view::npos && rest.empty()) return "Nazwa pliku PDF jest bledna";
    }
    for (const char c : name) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 32 || b == 127 || std::string_view("<>\"|?*").find(c) != std::string_view::npos)
            return "Niedozwolone znaki w nazwie pliku PDF";
    }
    return {};
}

std::string pdf_file_name(std::string_view typed, std::string_view print_file, std::string_view edited_file) {
    std::string name = trimmed(typed);
    if (name.empty()) name = bare_name(print_file.empty() ? edited_file : print_file);
    if (name.empty()) return name;
    const auto slash = name.find_last_of("\\/");
    const auto dot = name.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) name += ".pdf";
    return name;
}

void export_pdf(Session& s, const std::string& path, std::string_view file_name) {
    auto& scr = s.screen;
    std::string typed(30, ' ');
    for (;;) {
        scr.set_colour("");
        scr.clear();
        scr.set_colour("R+/N");
        scr.frame(9, 8, 11, 70, screen::FrameStyle::Double);
        screen::Entry entry(scr);
        entry.say_field(10, 10, "nazwa pliku PDF:", typed, std::string(30, 'X'));
        scr.show_cursor(true);
        entry.read();
        scr.set_colour("");
        if (entry.abandoned()) return;

        std::string name = pdf_file_name(typed, s.values.PLIK, file_name);
        std::replace(name.begin(), name.end(), '/', '\\');
        std::string problem = pdf_name_problem(name);
        if (problem.empty()) {
            // Folders of the name are found whatever their case; the file
            // itself is named as typed, Polish letters as UTF-8.
            const auto slash = name.find_last_of('\\');
            const std::string folder = slash == std::string::npos ? "." : platform::resolve_path(name.substr(0, slash));
            const std::string pdf_path = folder + "/" + screen::to_utf8(name.substr(slash + 1));
            problem = s.printer == nullptr ? "Eksport PDF niedostepny" : s.printer->export_pdf(path, pdf_path);
            if (problem.empty()) return;
        }
        _OKNO_(s, problem, 0);
    }
}

}  // namespace durva
