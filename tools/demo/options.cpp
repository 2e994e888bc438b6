#include "options.h"

namespace durva::demo {

const char* const kUsage =
    "uzycie: durvademo [OPCJE] [FOLDER]\n"
    "Zapisuje przykladowy folder biura (domyslnie ./sample): firma.dbf, folder okresu RR/MM\n"
    "biezacego miesiaca z towarami, przyjeciami PZ, licznikami dokumentow, pk, indeksami,\n"
    "PARAMETR.MEM ze stawkami VAT kasy oraz przyklad ustawien drukarek DRUKARKA.TXT.\n"
    "  --old         starszy uklad tabeli towarow, bez kodu kreskowego KOD13\n"
    "  --size N      liczba towarow (domyslnie 3000; 100000 do pomiarow), 1..1000000\n"
    "  --seed N      ziarno losowania: to samo polecenie daje te same bajty (domyslnie 1)\n"
    "  --date DATA   dzien dzisiejszy, dd.mm.rrrr lub rrrr-mm-dd (domyslnie zegar systemu)\n"
    "  --force       zastepuje istniejacy folder biura\n"
    "  --help        ten opis\n"
    "  --version     wersja\n";

bool parse_count(const std::string& text, unsigned long long min, unsigned long long max, unsigned long long& out) {
    if (text.empty() || text.size() > 19) return false;
    unsigned long long value = 0;
    for (char ch : text) {
        if (ch < '0' || ch > '9') return false;
        value = value * 10 + static_cast<unsigned long long>(ch - '0');
    }
    if (value < min || value > max) return false;
    out = value;
    return true;
}

bool parse_day(const std::string& text, Date& out) {
    auto number = [&](size_t from, size_t len, int& v) {
        unsigned long long n = 0;
        if (!parse_count(text.substr(from, len), 0, 9999, n)) return false;
        v = static_cast<int>(n);
        return true;
    };
    int y = 0, m = 0, d = 0;
    bool ok = false;
    if (text.size() == 10 && text[2] == '.' && text[5] == '.')
        ok = number(0, 2, d) && number(3, 2, m) && number(6, 4, y);
    else if (text.size() == 10 && text[4] == '-' && text[7] == '-')
        ok = number(0, 4, y) && number(5, 2, m) && number(8, 2, d);
    if (!ok || y < 1990 || y > 2089) return false;
    Date date = Date::from_ymd(y, m, d);
    if (date.empty()) return false;
    out = date;
    return true;
}

CommandLine parse_command_line(const std::vector<std::string>& args) {
    CommandLine cl;
    bool folder_given = false;
    for (size_t i = 0; i < args.size() && cl.error.empty(); ++i) {
        const std::string& a = args[i];
        auto value = [&]() -> const std::string* {
            if (i + 1 < args.size()) return &args[++i];
            cl.error = "brak wartosci po " + a;
            return nullptr;
        };
        unsigned long long n = 0;
        if (a == "--help" || a == "-h") {
            cl.help = true;
        } else if (a == "--version") {
            cl.version = true;
        } else if (a == "--old") {
            cl.office.with_bar_codes = false;
        } else if (a == "--force") {
            cl.office.force = true;
        } else if (a == "--size") {
            if (const std::string* v = value()) {
                if (parse_count(*v, 1, kMaxGoods, n))
                    cl.office.goods = n;
                else
                    cl.error = "--size: liczba towarow od 1 do 1000000, nie \"" + *v + "\"";
            }
        } else if (a == "--seed") {
            if (const std::string* v = value()) {
                if (parse_count(*v, 0, 999'999'999'999'999'999ULL, n))
                    cl.office.seed = n;
                else
                    cl.error = "--seed: liczba calkowita bez znaku, nie \"" + *v + "\"";
            }
        } else if (a == "--date") {
            if (const std::string* v = value()) {
                if (parse_day(*v, cl.office.today))
                    cl.date_given = true;
                else
                    cl.error = "--date: data dd.mm.rrrr lub rrrr-mm-dd z lat 1990-2089, nie \"" + *v + "\"";
            }
        } else if (!a.empty() && a[0] == '-') {
            cl.error = "nieznana opcja " + a;
        } else if (folder_given) {
            cl.error = "podano wiecej niz jeden folder: " + a;
        } else if (a.empty()) {
            cl.error = "pusta nazwa folderu";
        } else {
            cl.office.folder = a;
            folder_given = true;
        }
    }
    return cl;
}

}  // namespace durva::demo
