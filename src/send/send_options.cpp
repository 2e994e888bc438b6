#include "send/send_options.h"

#include "common/_fun1.h"
#include "common/dbf/xbase_values.h"
#include "common/screen/keys.h"

namespace durva {

std::string trim(std::string_view text) {
    const size_t first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) return {};
    return std::string(text.substr(first, text.find_last_not_of(' ') - first + 1));
}

bool is_blank(std::string_view text) { return text.find_first_not_of(' ') == std::string_view::npos; }

bool FUN_RD(std::string_view type, screen::Entry* entry) {
    if (is_blank(type)) return false;
    if (type.starts_with("GZ ") && entry) entry->end_entry();
    return true;
}

namespace {

// Row 7's menu item as the main menu shows it, Ł in the office code page.
const std::string kSendItem = " 1. Przes\x9C" "anie danych do kasy";

std::string padded(std::string text, size_t width) {
    text.resize(std::max(text.size(), width), ' ');
    return text;
}

}  // namespace

bool ask_send_options(Session& s, MenuValues& m, SendOptions& o) {
    auto& scr = s.screen;
    const bool kod13 = s.values.JEST_KOD13;
    const int levels = static_cast<int>(s.vars.number("J_POZIOM"));
    if (kod13) {
        if (is_blank(m.M_MAGAZYN)) m.M_MAGAZYN = m.PS_MAG.substr(0, 1) + std::string(9, ' ');
    } else {
        m.M_MAGAZYN = is_blank(m.PS_MAG) ? "123456789" : m.PS_MAG.substr(0, 1) + std::string(9, ' ');
    }
    // Without an operator the options are what the screen offers.
    if (s.unattended) return true;

    scr.show_cursor(true);
    screen::Entry entry(scr);
    scr.say(5, 10, std::string(51, ' '));
    entry.say_field(5, 10, "Rd:", o.M_RD, "!!!").valid([&] { return FUN_RD(o.M_RD, &entry); });
    entry.say_field(5, 19, "Nrd:", o.M_NRD, std::string(37, '!'));
    entry.say_field(5, 62, "od znaku:", o.M_ZN, "!");
    scr.say(7, 10, padded(kSendItem, 51));
    if (kod13) entry.say_field(7, 10, kSendItem + " z magazynu", m.M_MAGAZYN, std::string(10, '!'));
    entry.say_field(8, 10, " 2. Wyslac tylko wtedy gdy ilosc > 0    ", o.JEST_ILOSC, "!").valid([&] {
        return o.JEST_ILOSC == "T" || o.JEST_ILOSC == "N";
    });
    if (levels > 1) {
        entry.say_field(10, 10, " 3. Z ktorego poziomu cen sprzedazy ?   ", o.M_POZIOM, "9");
        scr.say(11, 10, std::string(50, ' '));
        scr.say(11, 10, "    0,1 - najwyzszy,  " + dbf::str_number(levels, 1, 0) + " - najnizszy");
    }
    // The first three fields keep what they hold: the operator starts in the
    // warehouse field and may go back up to them.
    scr.keyboard("\r\r\r");
    const int key = entry.read();
    scr.show_cursor(false);
    if (key == screen::Key::Esc) return false;

    if (kod13) {
        const std::string question = is_blank(m.M_MAGAZYN) ? std::string("Na pewno z wszystkich magazynow")
                                                           : "Na pewno z magazynu " + trim(m.M_MAGAZYN);
        if (!OKNO(s, question, " ")) return false;
    }
    return true;
}

void read_date_or_numbers(SendOptions& o) {
    std::string entry = o.M_NRD;
    entry.erase(entry.find_last_not_of(' ') + 1);
    if (entry.size() == 10 && entry[2] == '.' && entry[5] == '.') {
        o.M_DATA = Date::from_dtoc(entry).value_or(Date{});
        o.M_NRD = std::string(37, ' ');
        return;
    }
    if (is_blank(o.M_NRD)) return;
    std::string list = "," + trim(o.M_NRD) + ",";
    for (char& c : list)
        if (std::string_view(" .;/\\:|").find(c) != std::string_view::npos) c = ',';
    o.M_NRD = list;
}

namespace {

std::string setting(const Session& s, const char* name, const char* usual) {
    return s.vars.has(name) ? s.vars.text(name) : std::string(usual);
}

}  // namespace

GoodsFilter::GoodsFilter(const Session& s, const MenuValues& m, const SendOptions& o)
    : in_stock_only(o.JEST_ILOSC == "T"),
      warehouses(trim(m.M_MAGAZYN)),
      never_k(setting(s, "J_MAG_K", "K")),
      never_u(setting(s, "J_MAG_U", "U ")),
      start_sign(is_blank(o.M_ZN) ? std::string() : o.M_ZN) {}

bool GoodsFilter::skips(std::string_view mag, std::string_view nazwa, double ilosc) const {
    if (in_stock_only && ilosc <= 0) return true;
    if (!warehouses.empty() && warehouses.find(mag) == std::string::npos) return true;
    if (mag.starts_with(never_k) || never_u.find(mag) != std::string::npos || is_blank(nazwa)) return true;
    if (!start_sign.empty() && !nazwa.empty() &&
        static_cast<unsigned char>(nazwa[0]) < static_cast<unsigned char>(start_sign[0]))
        return true;
    return false;
}

}  // namespace durva
