#include "app/init_dbf.h"

#include <cstdio>
#include <vector>

#include "common/_fun1.h"
#include "common/_fun3.h"
#include "common/dirmake.h"
#include "common/error_handler.h"
#include "common/locks.h"

namespace durva {

namespace {

constexpr int kCompanyWait = 15;
constexpr int kTableWait = 20;

struct WorkField {
    const char* name;
    char type;
    int width, decimals;
};

// The rows of one sales document while the sales import builds it.
constexpr WorkField kWorkFields[] = {
    {"R_P", 'C', 1, 0},     {"S_Z", 'C', 1, 0},      {"RD", 'C', 3, 0},      {"NRD", 'C', 8, 0},
    {"DATA", 'D', 8, 0},    {"MAG", 'C', 1, 0},      {"LP", 'C', 3, 0},      {"KTO", 'C', 1, 0},
    {"ODB", 'C', 8, 0},     {"INDEKS", 'C', 8, 0},   {"NAZWA", 'C', 30, 0},  {"JM", 'C', 3, 0},
    {"UPUST0", 'N', 4, 1},  {"CENA0", 'N', 14, 4},   {"CENA", 'N', 14, 4},   {"NB", 'C', 1, 0},
    {"ILOSC", 'N', 15, 3},  {"WARTOSC", 'N', 14, 2}, {"PODATEK0", 'C', 2, 0}, {"PODATEK", 'N', 14, 4},
    {"BRUTTO", 'N', 16, 2}, {"SWW", 'C', 8, 0},      {"PKWIU", 'C', 10, 0},  {"CENA_N", 'N', 14, 2},
};

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// A window shown for about a second that then stays on screen: the program
// ends after these messages and they must remain readable.
void tell(Session& s, std::string_view text) {
    _OKNO_(s, text, "...");
    s.screen.inkey(1.0);
}

void tell_missing(Session& s, const std::string& path) { tell(s, "Plik " + path + " niedostepny"); }

// Opens a table shared in the current area with its index files, in order.
bool open_shared(Session& s, const std::string& path, std::string_view alias, const std::vector<std::string>& indexes) {
    if (!NET_USE(s, path, alias, false, kTableWait)) {
        tell_missing(s, path);
        return false;
    }
    for (const std::string& index : indexes)
        with_error_handler(s, [&] { s.areas.table().add_index(index); });
    return true;
}

bool open_goods(Session& s, const std::string& hh) {
    const std::string path = hh + "\\as";
    if (!FILE_X(path + ".dbf")) {
        s.screen.clear();
        tell_missing(s, path);
        return false;
    }
    s.areas.select(2);
    if (!NET_USE(s, path, "as", false, kTableWait)) {
        tell_missing(s, path);
        return false;
    }
    dbf::Table& goods = s.areas.table();
    s.values.JEST_KOD13 = goods.field_pos("KOD13") > 0;
    std::vector<std::string> indexes = {hh + "\\as", hh + "\\as2"};
    if (s.values.JEST_KOD13) indexes.push_back(hh + "\\as3");
    for (const std::string& index : indexes) with_error_handler(s, [&] { goods.add_index(index); });

    // Price levels above the first need the goods' CENAM field.
    if (s.vars.number("J_POZIOM") > 1 && goods.field_pos("CENAM") == 0) {
        MemNumber n{1, 10, 0};
        if (const MemValue* v = s.vars.find("J_POZIOM"); v && std::holds_alternative<MemNumber>(*v))
            n = MemNumber{1, std::get<MemNumber>(*v).width, std::get<MemNumber>(*v).decimals};
        s.vars.set("J_POZIOM", n);
    }
    return true;
}

bool create_work_table(Session& s) {
    const std::string path = "rob\\d" + STR2(s.values.STACJA);
    s.areas.select(4);
    // A new data folder may not have the office's work folder yet.
    if (!FILE_X(path + ".dbf")) DIRMAKE("rob");
    if (!TWORZ(s, work_table_field_list(s.values.STACJA), true, s.values.STACJA)) return false;
    if (!NET_USE(s, path, "dd", true, kTableWait)) {
        tell_missing(s, path);
        return false;
    }
    with_error_handler(s, [&] {
        dbf::Table& dd = s.areas.table();
        dd.create_index(path, "mag+indeks");  // the table's only index
        dd.set_order(0);
        dd.go_top();
    });
    return true;
}

}  // namespace

std::optional<std::string> period_folder(std::string_view bmr) {
    if (bmr.size() < 5 || !is_digit(bmr[0]) || !is_digit(bmr[1]) || !is_digit(bmr[3]) || !is_digit(bmr[4]))
        return std::nullopt;
    const int month = (bmr[0] - '0') * 10 + (bmr[1] - '0');
    if (month < 1 || month > 12) return std::nullopt;
    return std::string(bmr.substr(3, 2)) + "\\" + std::string(bmr.substr(0, 2));
}

std::string work_table_field_list(int station) {
    std::string list = "rob\\d" + STR2(station);
    for (const WorkField& f : kWorkFields) {
        char entry[32];
        std::snprintf(entry, sizeof entry, ",%-10s,%c,%3d,%3d", f.name, f.type, f.width, f.decimals);
        list += entry;
    }
    return list;
}

bool INIT_DBF(Session& s) {
    // 1. The company table, shared now (the sign-in may hold it exclusively).
    s.areas.select(1);
    s.areas.close();
    if (!NET_USE(s, "firma", "firma", false, kCompanyWait)) {
        tell(s, "Musisz zaczekac");
        return false;
    }

    // 2. The period folder. A period that is no month of a year would make a
    // path of whatever BMR holds; nothing is opened then.
    const std::string bmr = with_error_handler(s, [&] { return s.areas.table().text("BMR"); });
    const std::optional<std::string> hh = period_folder(bmr);
    if (!hh) {
        tell(s, "Bledny okres w firma.dbf: \"" + bmr.substr(0, 5) + "\"");
        return false;
    }
    s.values.HH = *hh;

    // 3. The goods; 4. the work table; 5. the document tables and pk.
    if (!open_goods(s, *hh)) return false;
    if (!create_work_table(s)) return false;
    s.areas.select(5);
    if (!open_shared(s, *hh + "\\dow", "dow", {*hh + "\\dow1", *hh + "\\dow2", *hh + "\\dow3"})) return false;
    s.areas.select(6);
    if (!open_shared(s, *hh + "\\dowod", "dowod", {*hh + "\\dowod1", *hh + "\\dowod2"})) return false;
    s.areas.select(9);
    if (!open_shared(s, *hh + "\\slow", "slow", {*hh + "\\slow"})) return false;
    s.areas.select(10);
    if (!open_shared(s, *hh + "\\pk", "pk", {*hh + "\\pk"})) return false;

    // 6. Moving the work table positions the goods on the same good.
    s.areas.select(4);
    with_error_handler(s, [&] {
        dbf::Table& dd = s.areas.table();
        dd.clear_relations();
        dd.set_relation(s.areas.table(2), "mag+indeks");
    });

    // 7.
    s.areas.select(4);
    with_error_handler(s, [&] { s.areas.unlock_all(); });
    return true;
}

}  // namespace durva
