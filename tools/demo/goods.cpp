#include "goods.h"

#include <cmath>
#include <map>
#include <set>
#include <unordered_set>

#include "common/dbf/xbase_values.h"
#include "common/screen/codepage.h"
#include "ean.h"

namespace durva::demo {

namespace {

// One kind of goods: its name (UTF-8, upper case), unit, VAT rate, a usual
// gross price and the packs it comes in ("" for goods sold loose).
struct Kind {
    const char* name;
    const char* jm;
    const char* vat;
    double price;
    std::vector<const char*> packs;
};

const std::vector<Kind>& catalogue() {
    static const std::vector<Kind> kinds = {
        {"CUKIER BIAŁY", "kg ", " 5", 3.99, {"1KG", "2KG", "5KG"}},
        {"MĄKA PSZENNA", "kg ", " 5", 3.49, {"1KG", "2KG"}},
        {"MĄKA ŻYTNIA", "kg ", " 5", 4.29, {"1KG", "1,5KG"}},
        {"KASZA GRYCZANA", "op.", " 5", 4.99, {"400G", "1KG"}},
        {"RYŻ BIAŁY", "op.", " 5", 4.49, {"400G", "1KG", "4X100G"}},
        {"MAKARON ŚWIDERKI", "op.", " 5", 3.99, {"400G", "500G"}},
        {"MAKARON SPAGHETTI", "op.", " 5", 4.29, {"500G", "1KG"}},
        {"OLEJ RZEPAKOWY", "l  ", " 5", 8.99, {"1L", "3L"}},
        {"OLIWA Z OLIWEK", "l  ", " 5", 27.99, {"500ML", "1L"}},
        {"MASŁO EKSTRA", "szt", " 5", 7.49, {"200G"}},
        {"MLEKO 3,2%", "l  ", " 5", 3.29, {"1L", "0,5L"}},
        {"ŚMIETANA 18%", "szt", " 5", 3.19, {"200G", "400G"}},
        {"JOGURT NATURALNY", "szt", " 5", 2.49, {"180G", "400G"}},
        {"SER ŻÓŁTY GOUDA", "kg ", " 5", 32.90, {"", "150G", "300G"}},
        {"TWARÓG PÓŁTŁUSTY", "kg ", " 5", 17.90, {"", "250G"}},
        {"JAJA ŚWIEŻE L", "op.", " 5", 9.99, {"10SZT", "6SZT", "30SZT"}},
        {"CHLEB ŻYTNI", "szt", " 5", 5.49, {"500G", "800G"}},
        {"BUŁKA KAJZERKA", "szt", " 5", 0.69, {""}},
        {"KIEŁBASA ŻYWIECKA", "kg ", " 5", 29.90, {""}},
        {"SZYNKA GOTOWANA", "kg ", " 5", 39.90, {"", "100G"}},
        {"PARÓWKI Z SZYNKI", "op.", " 5", 8.99, {"250G", "500G"}},
        {"BOCZEK WĘDZONY", "kg ", " 5", 27.90, {"", "250G"}},
        {"ŁOSOŚ WĘDZONY", "szt", " 5", 12.99, {"100G", "200G"}},
        {"ŚLEDŹ W OLEJU", "szt", " 5", 7.99, {"300G"}},
        {"KAWA MIELONA", "szt", "23", 16.99, {"250G", "500G"}},
        {"KAWA ROZPUSZCZALNA", "szt", "23", 24.99, {"100G", "200G"}},
        {"HERBATA CZARNA", "op.", "23", 7.99, {"25 TOR.", "100 TOR."}},
        {"HERBATA ZIELONA", "op.", "23", 8.49, {"20 TOR.", "50 TOR."}},
        {"CZEKOLADA GORZKA", "szt", " 8", 5.99, {"100G"}},
        {"WAFLE RYŻOWE", "op.", " 5", 3.49, {"130G"}},
        {"CIASTKA MAŚLANE", "op.", " 8", 4.99, {"200G", "400G"}},
        {"MIÓD WIELOKWIATOWY", "szt", " 5", 19.99, {"400G", "1KG"}},
        {"DŻEM TRUSKAWKOWY", "szt", " 5", 6.49, {"280G"}},
        {"KETCHUP ŁAGODNY", "szt", " 5", 5.99, {"480G", "1KG"}},
        {"MUSZTARDA SAREPSKA", "szt", " 5", 2.99, {"180G"}},
        {"MAJONEZ", "szt", " 5", 7.49, {"310ML", "700ML"}},
        {"GROCH ŁUSKANY", "op.", " 5", 3.29, {"500G"}},
        {"FASOLA BIAŁA", "op.", " 5", 5.49, {"500G"}},
        {"SÓL KAMIENNA", "kg ", " 5", 1.49, {"1KG"}},
        {"PIEPRZ CZARNY MIELONY", "szt", "23", 3.49, {"20G", "50G"}},
        {"WODA MINERALNA", "szt", " 5", 1.99, {"1,5L", "0,5L"}},
        {"SOK JABŁKOWY", "l  ", " 5", 4.99, {"1L", "2L"}},
        {"PIWO JASNE", "szt", "23", 3.49, {"0,5L", "BUT. 0,5L"}},
        {"WINO CZERWONE WYTRAWNE", "szt", "23", 29.99, {"0,75L"}},
        {"ZIEMNIAKI", "kg ", " 5", 2.49, {""}},
        {"JABŁKA", "kg ", " 5", 3.99, {""}},
        {"POMIDORY", "kg ", " 5", 8.99, {""}},
        {"OGÓRKI KISZONE", "kg ", " 5", 9.99, {"", "900G"}},
        {"MYDŁO TOALETOWE", "szt", "23", 3.99, {"100G", "4X90G"}},
        {"PROSZEK DO PRANIA", "op.", "23", 29.99, {"2KG", "4KG"}},
        {"PŁYN DO NACZYŃ", "szt", "23", 6.99, {"500ML", "1L"}},
        {"RĘCZNIKI PAPIEROWE", "op.", "23", 8.99, {"2 ROLKI", "4 ROLKI"}},
        {"PAPIER TOALETOWY", "op.", "23", 12.99, {"8 ROLEK", "16 ROLEK"}},
        {"ŻARÓWKA LED E27", "szt", "23", 9.99, {"10W", "15W"}},
        {"BATERIA ALKALICZNA", "op.", "23", 11.99, {"AA 4SZT", "AAA 4SZT"}},
        {"ŚWIECA ZNICZ", "szt", "23", 3.49, {"", "DUŻY"}},
        {"PASTA DO ZĘBÓW", "szt", "23", 7.99, {"75ML", "100ML"}},
        {"GĄBKA KUCHENNA", "op.", "23", 3.99, {"5SZT", "10SZT"}},
        {"WORKI NA ŚMIECI", "op.", "23", 5.99, {"35L", "60L", "120L"}},
        {"ZAPAŁKI", "kpl", "23", 2.49, {"10 PUDEŁEK"}},
        {"KWIATY CIĘTE TULIPAN", "szt", " 8", 2.99, {""}},
        {"ZIEMIA DO KWIATÓW", "op.", " 8", 9.99, {"10L", "20L"}},
        {"NASIONA TRAWY", "kg ", " 8", 19.90, {"", "1KG"}},
        {"GAZETA CODZIENNA", "szt", " 0", 3.50, {""}},
        {"KSIĄŻKA KUCHARSKA", "szt", " 5", 39.90, {""}},
        {"KAUCJA ZA BUTELKĘ", "szt", "ZW", 0.50, {""}},
    };
    return kinds;
}

// A few words that tell one product of a kind from another.
const char* const kVariants[] = {"", "", "", "", "BIO", "EKO", "PREMIUM", "LIGHT", "PROMO", "MAX", "MINI", "EXTRA"};

std::string mazovia(const char* utf8) { return screen::from_utf8(utf8); }

// Lower case in the office code page: ASCII letters and the nine Polish
// capitals, which sit at bytes of their own.
char lower(char ch) {
    static const std::map<unsigned char, unsigned char> polish = {
        {0x8F, 0x86}, {0x95, 0x8D}, {0x90, 0x91}, {0x9C, 0x92}, {0xA5, 0xA4},
        {0xA3, 0xA2}, {0x98, 0x9E}, {0xA0, 0xA6}, {0xA1, 0xA7}};
    unsigned char b = static_cast<unsigned char>(ch);
    if (b >= 'A' && b <= 'Z') return static_cast<char>(b - 'A' + 'a');
    auto it = polish.find(b);
    return it == polish.end() ? ch : static_cast<char>(it->second);
}

std::string lower_case(std::string text) {
    for (char& ch : text) ch = lower(ch);
    return text;
}

std::string capitalised(std::string text) {
    for (size_t i = 1; i < text.size(); ++i) text[i] = lower(text[i]);
    return text;
}

std::string fit(std::string text, size_t width) {
    if (text.size() > width) text.resize(width);
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
}

std::string digits(Random& rng, int count) {
    std::string s;
    for (int i = 0; i < count; ++i) s += static_cast<char>('0' + rng.below(10));
    return s;
}

// A selling price as shops write them: ending in 9 grosze.
double shelf_price(double price) { return std::max(0.09, std::floor(price * 10) / 10 + 0.09); }

double round_to(double value, int decimals) { return dbf::round_decimal(value, decimals); }

class GoodsMaker {
public:
    GoodsMaker(Random& rng, Date first_day, Date today) : rng_(rng), first_day_(first_day), today_(today) {}

    void add_fixed(std::vector<Good>& goods, std::size_t count);
    Good make_new();
    bool make_copy(const std::vector<Good>& goods, Good& out);
    void set_prices(Good& g, double usual_price);
    void set_stock(Good& g);

private:
    std::string new_indeks(const std::string& name);
    std::string new_bar_code(bool weighed);
    Date sales_day() { return Date{first_day_.julian + static_cast<int>(rng_.below(today_.julian - first_day_.julian + 1))}; }

    Random& rng_;
    Date first_day_, today_;
    std::unordered_set<std::string> indexes_, codes_;
    std::map<std::string, std::set<char>> warehouses_;  // INDEKS -> warehouses holding it
};

struct FixedGood {
    char mag;
    const char* indeks;
    const char* name;
    const char* jm;
    const char* vat;
    double price;
    const char* code;  // a 12- or 7-digit stem gets its check digit, "" is no code
};

// The goods every sample begins with, one of each kind of case the program
// meets: a good in three warehouses, a bar code with a leading zero, a name
// in lower case and one in mixed case, weighed goods with in-store codes, a
// good without a price, goods in the warehouses that are never sent.
const FixedGood kFixed[] = {
    {'1', "10001", "CUKIER BIAŁY KRYSZTAŁ 1KG", "kg ", " 5", 3.99, "590123412345"},
    {'2', "10001", "CUKIER BIAŁY KRYSZTAŁ 1KG", "kg ", " 5", 4.09, "590123412345"},
    {'K', "10001", "CUKIER BIAŁY KRYSZTAŁ 1KG", "kg ", " 5", 3.99, "590123412345"},
    {'1', "10002", "KAWA MIELONA 250G", "szt", "23", 16.99, "001234567890"},
    {'1', "10003", "mąka żytnia typ 720", "kg ", " 5", 4.29, ""},
    {'1', "10004", "KIEŁBASA ŻYWIECKA WAGOWA", "kg ", " 5", 29.90, "2812345"},
    {'U', "10005", "SER ŻÓŁTY GOUDA WAGOWY", "kg ", " 5", 32.90, "2800017"},
    {'3', "10006", " PROMOCJA ŚWIĄTECZNA", "kpl", "ZW", 0.00, ""},
    {'1', "10007", "Ćwikła z chrzanem 300g", "szt", " 8", 4.49, "590555000001"},
    {'1', "10008", "ŻARÓWKA LED E27 10W", "szt", "23", 9.99, "590777700012"},
    {'2', "10009", "ŁOSOŚ WĘDZONY 100G", "szt", " 5", 12.99, "590777777777"},
    {'1', "10010", "KSIĄŻKA KUCHARSKA", "szt", " 5", 39.90, "978830100000"},
};

void GoodsMaker::add_fixed(std::vector<Good>& goods, std::size_t count) {
    for (const FixedGood& f : kFixed) {
        if (goods.size() >= count) return;
        Good g;
        g.mag = f.mag;
        g.indeks = f.indeks;
        g.nazwa = mazovia(f.name);
        g.jm = f.jm;
        g.podatek0 = f.vat;
        std::string code = f.code;
        g.kod13 = code.size() == 12 ? with_check_digit(code) : code;
        g.pkwiu = "10.81.12.0";
        set_prices(g, f.price);
        if (f.price == 0) g.cena0 = g.cena2 = g.cena2m = g.cena3 = g.cenam = 0;
        set_stock(g);
        indexes_.insert(g.indeks);
        if (!g.kod13.empty()) codes_.insert(g.kod13);
        warehouses_[g.indeks].insert(g.mag);
        goods.push_back(std::move(g));
    }
}

std::string GoodsMaker::new_indeks(const std::string& name) {
    if (rng_.chance(150)) {
        // Three letters of the name and a number, as some offices index goods.
        std::string letters;
        for (char ch : name)
            if (ch >= 'A' && ch <= 'Z' && letters.size() < 3) letters += ch;
        for (int attempt = 0; letters.size() == 3 && attempt < 5; ++attempt) {
            std::string indeks = letters + "-" + digits(rng_, 3);
            if (indexes_.insert(indeks).second) return indeks;
        }
    }
    for (;;) {
        int width = indexes_.size() < 300'000 ? 5 + static_cast<int>(rng_.below(2)) : 8;
        std::string indeks = std::to_string(rng_.between(1, 9)) + digits(rng_, width - 1);
        if (indexes_.insert(indeks).second) return indeks;
    }
}

std::string GoodsMaker::new_bar_code(bool weighed) {
    if (weighed && rng_.chance(400)) {
        // The shop's own 7-digit codes of weighed goods, "28" and five digits.
        for (int attempt = 0; attempt < 20; ++attempt) {
            std::string code = "28" + digits(rng_, 5);
            if (codes_.insert(code).second) return code;
        }
    }
    int kind = static_cast<int>(rng_.below(100));
    if (kind >= 93) return "";
    for (int attempt = 1;; ++attempt) {
        // There are only 10,000 short codes: once they are nearly all taken
        // (about 140,000 goods on), the good gets a long one instead.
        if (kind >= 87 && attempt > 50) kind = 0;
        std::string stem;
        if (kind < 68)
            stem = "590" + digits(rng_, 9);
        else if (kind < 80)
            stem = std::string(rng_.pick({"400", "401", "500", "800", "859", "870"})) + digits(rng_, 9);
        else if (kind < 87)
            stem = "0" + digits(rng_, 11);  // a code with a leading zero
        else
            stem = "590" + digits(rng_, 4);  // a short EAN-8 code
        std::string code = with_check_digit(stem);
        if (codes_.insert(code).second) return code;
    }
}

void GoodsMaker::set_prices(Good& g, double usual_price) {
    g.cena2 = round_to(shelf_price(usual_price), 2);
    double net = g.cena2 / (1 + vat_rate(g.podatek0) / 100);
    g.cena0 = round_to(net / (1.15 + rng_.below(25) / 100.0), 4);
    g.cena2m = rng_.chance(700) ? round_to(g.cena2 * 0.90, 2) : 0;
    g.cena3 = rng_.chance(300) ? round_to(g.cena2 * 0.95, 2) : 0;
    g.cenam = rng_.chance(250) ? round_to(g.cena2 * 0.97, 2) : 0;
}

void GoodsMaker::set_stock(Good& g) {
    bool pieces = !g.weighed();
    double opening = pieces ? rng_.between(0, 300) : rng_.between(0, 150'000) / 1000.0;
    if (rng_.chance(80)) opening = 0;
    g.b_r_i = opening;
    if (rng_.chance(500)) {
        double sold = pieces ? std::floor(opening * rng_.between(5, 60) / 100)
                             : round_to(opening * rng_.between(5, 60) / 100, 3);
        // Now and then the shop sells more than the books say it had.
        if (rng_.chance(60)) sold = opening + (pieces ? rng_.between(1, 12) : rng_.between(100, 5000) / 1000.0);
        if (sold > 0) {
            g.ilosc_sd = sold;
            g.data_sd = sales_day();
        }
    }
}

Good GoodsMaker::make_new() {
    const auto& kinds = catalogue();
    const Kind& kind = kinds[rng_.below(kinds.size())];
    Good g;
    std::string name = kind.name;
    std::string variant = rng_.pick(kVariants);
    if (!variant.empty()) name += " " + variant;
    const char* pack = kind.packs[rng_.below(kind.packs.size())];
    if (*pack) name += std::string(" ") + pack;
    g.nazwa = fit(mazovia(name.c_str()), 30);
    int style = static_cast<int>(rng_.below(1000));
    if (style < 30)
        g.nazwa = lower_case(g.nazwa);
    else if (style < 50)
        g.nazwa = capitalised(g.nazwa);
    else if (style < 60)
        g.nazwa = fit(" " + g.nazwa, 30);
    g.jm = kind.jm;
    if (g.jm == "szt" && rng_.chance(100)) g.jm = "SZT";
    g.podatek0 = kind.vat;
    g.mag = rng_.pick({'1', '1', '1', '1', '1', '2', '2', '3', 'K', 'U'});
    g.indeks = new_indeks(g.nazwa);
    warehouses_[g.indeks].insert(g.mag);
    g.kod13 = new_bar_code(g.weighed());
    if (rng_.chance(100)) g.sww = digits(rng_, 4) + "-" + digits(rng_, 1);
    if (rng_.chance(700))
        g.pkwiu = digits(rng_, 2) + "." + digits(rng_, 2) + "." + digits(rng_, 2) + "." + digits(rng_, 1);
    set_prices(g, kind.price * (70 + rng_.below(80)) / 100.0);
    if (rng_.chance(30)) {
        // Goods taken in but not priced yet.
        g.cena2 = g.cena2m = g.cena3 = g.cenam = 0;
        if (rng_.chance(500)) g.cena0 = 0;
    }
    set_stock(g);
    g.deleted = rng_.chance(10);
    return g;
}

bool GoodsMaker::make_copy(const std::vector<Good>& goods, Good& out) {
    const Good& from = goods[rng_.below(goods.size())];
    std::set<char>& held = warehouses_[from.indeks];
    for (int attempt = 0; attempt < 4; ++attempt) {
        char mag = rng_.pick({'1', '2', '3', 'K', 'U'});
        if (held.count(mag)) continue;
        held.insert(mag);
        out = from;
        out.mag = mag;
        out.data_sd = Date{};
        out.ilosc_sd = 0;
        set_prices(out, from.cena2 > 0 ? from.cena2 * (95 + rng_.below(10)) / 100.0 : 0);
        if (from.cena2 == 0) out.cena0 = out.cena2 = out.cena2m = out.cena3 = out.cenam = 0;
        set_stock(out);
        out.deleted = rng_.chance(10);
        return true;
    }
    return false;
}

}  // namespace

bool Good::weighed() const { return jm == "kg " || jm == "l  " || jm == "m  "; }

double vat_rate(const std::string& podatek0) { return dbf::val_number(podatek0); }

std::vector<Good> make_goods(std::size_t count, Random& rng, Date first_day, Date today) {
    GoodsMaker maker(rng, first_day, today);
    std::vector<Good> goods;
    goods.reserve(count);
    maker.add_fixed(goods, count);
    std::size_t fixed = goods.size();
    while (goods.size() < count) {
        Good copy;
        // About one good in eight is one the office keeps in a second warehouse.
        if (goods.size() > fixed && rng.chance(125) && maker.make_copy(goods, copy))
            goods.push_back(std::move(copy));
        else
            goods.push_back(maker.make_new());
    }
    return goods;
}

}  // namespace durva::demo
