// The durva program: started by the operator in the office's shared data
// folder, which is the working folder for every path it uses.
#include <cstdio>
#include <exception>
#include <string>
#include <string_view>

#include "app/durva.h"
#include "app/version.h"
#include "common/error_handler.h"
#include "common/screen/screen.h"
#include "platform/clock.h"
#include "print/cups_printer.h"
#include "platform/terminal_ncurses.h"

namespace {

void print_help() {
    std::printf(
        "%s %s - wymiana danych programow biurowych z kasami fiskalnymi DURVA\n"
        "\n"
        "Uzycie: durva [argument]\n"
        "\n"
        "Program uruchamia sie w folderze danych biura (folder biezacy) na terminalu\n"
        "o rozmiarze co najmniej 80 x 25 znakow. Jeden argument jest przyjmowany\n"
        "i nie zmienia dzialania programu.\n"
        "\n"
        "  --help     ten opis\n"
        "  --version  wersja programu\n",
        durva::kProgramName, durva::program_version());
}

}  // namespace

int main(int argc, char** argv) {
    const std::string_view argument = argc > 1 ? argv[1] : "";
    if (argument == "--help" || argument == "-h") {
        print_help();
        return 0;
    }
    if (argument == "--version") {
        std::printf("%s %s\n", durva::kProgramName, durva::program_version());
        return 0;
    }

    try {
        durva::platform::RealClock clock;
        // Says what is wrong on stderr, with the terminal restored, when it
        // cannot start (no terminal, unknown type, smaller than 80 x 25).
        durva::platform::NcursesTerminal terminal;
        try {
            durva::screen::Screen screen(terminal, clock);
            durva::Session session(clock, screen);
            // The editor prints and exports through the office's print server.
            durva::print::CupsPrinter printer;
            session.printer = &printer;
            const int code = durva::MAIN(session, argument);
            // What the program left on screen stays readable after it ends:
            // the closing line on the second row, or an early ending's message.
            terminal.finish_showing_frame();
            // Ended by the operator after an error: its cause in full as well,
            // where a long file name is not cut to the window.
            if (const std::string& note = durva::program_end_note(); !note.empty())
                std::fprintf(stderr, "durva: program zakonczony po bledzie: %s\n", note.c_str());
            return code;
        } catch (const std::exception& e) {
            terminal.finish_showing_frame();
            std::fprintf(stderr, "durva: blad programu: %s\n", e.what());
            return 1;
        }
    } catch (const durva::platform::TerminalError&) {
        return 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "durva: blad programu: %s\n", e.what());
        return 1;
    }
}
