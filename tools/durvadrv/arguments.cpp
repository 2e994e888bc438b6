#include "arguments.h"

#include <cctype>
#include <set>

namespace durvadrv {

const char* const kUsage =
    "durvadrv.exe: symulator kasy w miejsce sterownika kasy (--help ten opis, --version wersja).\n"
    "\n"
    "Przebiegi sterownika (tak, jak je uruchamia program; slowa w dowolnej kolejnosci):\n"
    "  durvadrv.exe dp=FOLDER if=PLIK [af=T] cp=PORT [ct=MS] cs=PREDKOSC\n"
    "    Wykonuje plik FOLDER/PLIK na kasie portu PORT i zapisuje FOLDER/error.txt\n"
    "    (\"kod;wiersz;tekst\": kod 0 gdy wszystko dobrze, wiersz = rekord, na ktorym\n"
    "    kasa stanela, liczony od 1 po wierszu sterujacym).\n"
    "    Wiersze sterujace: S;U;2; ; ;  odczyt sprzedazy do FOLDER/data_out.xxx\n"
    "                       S;I;0; ; ;  lista PLU do FOLDER/data_out.txt\n"
    "                       S;I;1; ; ;  rekordy PLU do zapisu, wiersze listy PLU do skasowania\n"
    "                       S;D;1;1;7;  siedem rekordow dzialow\n"
    "    Rekordy przed zlym zostaja w kasie, po nim zaden. ct= to czas (ms) czekania\n"
    "    na kase zajeta przez inny przebieg; af= (T albo N) niczego nie zmienia.\n"
    "\n"
    "Sprzedaz na kasie:\n"
    "  durvadrv.exe dp=FOLDER cp=PORT sell=KOD*ILOSC[,KOD*ILOSC...]\n"
    "    ILOSC do trzech miejsc po kropce (1, 2.5, 0.125); sam KOD sprzedaje 1.\n"
    "  durvadrv.exe dp=FOLDER cp=PORT sell=random:N [seed=S]\n"
    "    N sprzedazy losowych PLU z kasy.\n"
    "  Kod, ktorego kasa nie ma, jest odrzucany (kod wyjscia 1, nic nie sprzedano).\n"
    "\n"
    "Co jest w kasie:\n"
    "  durvadrv.exe dp=FOLDER cp=PORT show\n"
    "\n"
    "Pamiec kasy kazdego portu: FOLDER/durvadrv_cpPORT.dat.\n";

namespace {

bool digits(const std::string& s, size_t max) {
    if (s.empty() || s.size() > max) return false;
    for (char c : s)
        if (c < '0' || c > '9') return false;
    return true;
}

std::string lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

}  // namespace

Arguments parse_arguments(const std::vector<std::string>& words) {
    Arguments a;
    std::set<std::string> seen;
    bool show = false;
    auto bad = [&](const std::string& why) {
        if (a.error.empty()) a.error = why;
    };
    for (const std::string& w : words) {
        std::string lw = lower(w);
        if (lw == "--help" || lw == "-h" || lw == "/?") {
            a.mode = Mode::Help;
            return a;
        }
        if (lw == "--version") {
            a.mode = Mode::Version;
            return a;
        }
        if (lw == "show") {
            show = true;
            continue;
        }
        size_t eq = w.find('=');
        if (eq == std::string::npos) {
            bad("Zly argument: " + w.substr(0, 24));
            continue;
        }
        std::string key = lower(w.substr(0, eq));
        std::string value = w.substr(eq + 1);
        if (!seen.insert(key).second) {
            bad("Powtorzony argument: " + key + "=");
            continue;
        }
        if (key == "dp") {
            if (value.empty()) bad("Pusty argument dp=");
            else a.folder = value;
        } else if (key == "if") {
            if (value.empty() || value.find('/') != std::string::npos || value.find('\\') != std::string::npos ||
                value == "." || value == "..")
                bad("Zly argument if=" + value.substr(0, 20));
            else a.input_file = value;
        } else if (key == "af") {
            std::string v = lower(value);
            if (v != "t" && v != "n") bad("Zly argument af=" + value.substr(0, 20));
        } else if (key == "cp") {
            if (!digits(value, 3)) bad("Zly argument cp=" + value.substr(0, 20));
            else a.port = std::to_string(std::stoi(value));
        } else if (key == "ct") {
            if (!digits(value, 7)) bad("Zly argument ct=" + value.substr(0, 20));
            else a.wait_ms = std::stoi(value);
        } else if (key == "cs") {
            if (!digits(value, 7) || std::stol(value) == 0) bad("Zly argument cs=" + value.substr(0, 20));
            else a.speed = value;
        } else if (key == "sell") {
            a.sell = value;
        } else if (key == "seed") {
            if (!digits(value, 9)) bad("Zly argument seed=" + value.substr(0, 20));
            else a.seed = static_cast<std::uint32_t>(std::stoul(value));
        } else {
            bad("Nieznany argument " + w.substr(0, 24));
        }
    }
    bool selling = seen.count("sell") > 0;
    if (selling && show) bad("sell= i show razem");
    a.mode = selling ? Mode::Sell : show ? Mode::Show : Mode::DriverRun;
    if (a.folder.empty() && !seen.count("dp")) bad("Brak argumentu dp=");
    if (a.port.empty() && !seen.count("cp")) bad("Brak argumentu cp=");
    if (a.mode == Mode::DriverRun) {
        if (!seen.count("if")) bad("Brak argumentu if=");
        if (!seen.count("cs")) bad("Brak argumentu cs=");
    } else {
        for (const char* driver_only : {"if", "af", "cs"})
            if (seen.count(driver_only)) bad(std::string(driver_only) + "= nie z sell= ani show");
    }
    if (a.mode != Mode::Sell && a.seed) bad("seed= tylko z sell=");
    return a;
}

}  // namespace durvadrv
