// durvaedit: the program's text-file editor on its own, to read, change, print
// or export a text file of the office folder (a print file, the driver's
// files, the list of unmatched sales lines) without starting the program.
#include <cstdio>
#include <exception>
#include <string>
#include <string_view>

#include "common/editor.h"
#include "common/screen/screen.h"
#include "common/session.h"
#include "common/version.h"
#include "platform/clock.h"
#include "platform/terminal_ncurses.h"
#include "print/cups_printer.h"

namespace {

void print_help() {
    std::printf(
        "durvaedit - edytor plikow tekstowych programu DURVA\n"
        "\n"
        "Uzycie: durvaedit PLIK | --help | --version\n"
        "\n"
        "Otwiera PLIK (sciezka wzgledem folderu biezacego, jak w programie: \"rob\\wydruk01.prn\")\n"
        "w edytorze programu; brakujacy plik zostaje utworzony. Tekst jest w stronie kodowej\n"
        "Mazovia. Klawisze: strzalki, Home, End, Ctrl-Home/Ctrl-End, PgUp, PgDn, Ins, Del,\n"
        "Backspace, Enter, Tab, Ctrl-N wstawia wiersz, Ctrl-Y kasuje wiersz, F5 drukuje,\n"
        "Alt-P zapisuje PDF (gdy w folderze jest plik PDF.TXT), Esc konczy i zapisuje tekst.\n"
        "\n"
        "Drukarki: plik DRUKARKA.TXT w folderze biezacym, wiersze \"LPT1=kolejka [UTF-8|ISO-8859-2]\",\n"
        "\"LPT2=...\" i opcjonalnie \"SERWER=host\"; bez niego drukuje domyslna kolejka CUPS.\n");
}

}  // namespace

int main(int argc, char** argv) {
    const std::string_view argument = argc > 1 ? argv[1] : "";
    if (argc != 2 || argument == "--help" || argument == "-h") {
        print_help();
        return argc == 2 ? 0 : 2;
    }
    if (argument == "--version") {
        durva::print_version("durvaedit");
        return 0;
    }
    // A file whose name starts with "-" is given as "./-name".
    if (argument.starts_with("-")) {
        std::fprintf(stderr, "durvaedit: nieznana opcja %s (durvaedit --help)\n", argv[1]);
        return 2;
    }
    try {
        durva::platform::RealClock clock;
        durva::platform::NcursesTerminal terminal;
        durva::screen::Screen screen(terminal, clock);
        durva::Session session(clock, screen);
        durva::print::CupsPrinter printer;
        session.printer = &printer;
        // A blank PDF name takes the edited file's own name.
        durva::MEDIT(session, argument);
        return 0;
    } catch (const durva::platform::TerminalError&) {
        return 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "durvaedit: %s\n", e.what());
        return 1;
    }
}
