// The durva program: started by the operator in the office's shared data
// folder, which is the working folder for every path it uses.
#include <cstdio>
#include <exception>
#include <string>
#include <string_view>
#include <vector>

#include "app/durva.h"
#include "app/scheduled_readout.h"
#include "common/version.h"
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
        "o rozmiarze co najmniej 80 x 25 znakow. Jeden argument (nie zaczynajacy sie\n"
        "od -) jest przyjmowany i nie zmienia dzialania programu; nieznana opcja\n"
        "konczy program z kodem 2.\n"
        "\n"
        "  --help     ten opis\n"
        "  --version  wersja programu\n"
        "\n"
        "Odczyt sprzedazy bez operatora (np. z harmonogramu systemd albo crontab):\n"
        "\n"
        "  durva --odczyt NR [--folder KATALOG]\n"
        "\n"
        "Odbiera sprzedaz z kasy stoiska NR (1 do 99, jak w durva\\durva.DBF) i ksieguje\n"
        "ja tak, jak pozycja 2 menu, bez ekranu i bez pytan: data sprzedazy wedlug\n"
        "okresu firmy, magazyn stoiska. KATALOG to folder danych biura (domyslnie\n"
        "folder biezacy). Wynik to jeden wiersz na standardowym wyjsciu, dopisany tez\n"
        "z data i godzina do pliku durva\\odczyt.log w folderze biura. Wiersze\n"
        "sprzedazy bez towaru trafiaja do wydruku stacji rob\\wydrukNN.prn.\n"
        "\n"
        "  durva --wyslij NR [--folder KATALOG]\n"
        "\n"
        "Wysyla towary do kasy stoiska NR tak, jak pozycja 1 menu (wysylka glowna),\n"
        "bez ekranu i bez pytan, z ustawieniami, jakie proponuje ekran opcji: dokument\n"
        "PZ, bez numerow i daty, od dowolnego znaku, bez warunku ilosci, poziom cen 0,\n"
        "magazyn stoiska (bez niego wszystkie; nigdy magazyny J_MAG_K i J_MAG_U).\n"
        "Plik durva\\as2000.dbf zapamietuje wysylke tylko wtedy, gdy sterownik zglosi\n"
        "powodzenie. Wynik to jeden wiersz z liczba rekordow i odpowiedzia sterownika.\n"
        "\n"
        "Zamiast NR mozna podac: wszystkie - kolejno kazde stoisko z portem w\n"
        "durva\\durva.DBF, po jednym wierszu; kodem wyjscia jest najgorszy z nich.\n"
        "Nieudany przebieg pisze swoj wiersz takze na standardowe wyjscie bledow.\n"
        "\n"
        "Kody wyjscia:\n"
        "   0  sprzedaz zaksiegowana albo brak sprzedazy\n"
        "   1  blad programu\n"
        "   2  bledne argumenty\n"
        "   3  to nie jest folder danych biura (albo jego tabel nie mozna odczytac)\n"
        "   4  nie ma kasy o tym numerze\n"
        "   5  kasa bez portu (albo z bledna predkoscia)\n"
        "   6  poprzedni odczyt tego folderu jeszcze trwa\n"
        "   7  stanowisko pracuje w menu kas (durva\\durva.DBF zajety)\n"
        "   8  wszystkie stacje zajete\n"
        "   9  tabela zajeta przez inny program dluzej, niz odczyt czeka\n"
        "  10  sterownik kasy nie zadzialal albo zglosil blad\n"
        "  11  sprzedazy nie mozna bylo wczytac ani zaksiegowac\n"
        "  12  towarow nie mozna bylo przygotowac do wysylki\n",
        durva::kProgramName, durva::program_version());
}

}  // namespace

int main(int argc, char** argv) {
    const std::string_view argument = argc > 1 ? argv[1] : "";
    const std::vector<std::string> words(argv + 1, argv + argc);
    if (durva::wants_scheduled_run(words)) {
        try {
            return durva::run_scheduled(words, stdout);
        } catch (const std::exception& e) {
            std::printf("durva: blad programu: %s\n", e.what());
            return static_cast<int>(durva::ReadOutStatus::ProgramFault);
        }
    }
    if (argument == "--help" || argument == "-h") {
        print_help();
        return 0;
    }
    if (argument == "--version") {
        durva::print_version("durva");
        return 0;
    }
    // An option the program does not know is refused, never taken for the
    // one plain argument the program accepts and ignores.
    if (argc > 2 || argument.starts_with("-")) {
        std::fprintf(stderr, "durva: nieznany argument %s (durva --help)\n", argc > 2 ? argv[2] : argv[1]);
        return 2;
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
