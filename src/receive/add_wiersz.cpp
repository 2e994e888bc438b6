#include "receive/add_wiersz.h"

#include "common/_fun3.h"
#include "common/dbf/xbase_values.h"
#include "common/screen/codepage.h"
#include "receive/sales_line.h"

namespace durva {

namespace {

bool blank(std::string_view t) { return t.find_first_not_of(' ') == std::string_view::npos; }

std::string descend(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = static_cast<char>((256 - static_cast<unsigned char>(c)) & 0xFF);
    return out;
}

std::string company_name(Session& s) {
    dbf::Table* firma = s.areas.find("firma");
    if (!firma) return {};
    std::string name;
    for (const char* f : {"NODB", "NODB1"})
        if (firma->field_pos(f) != 0) name += firma->text(f);
    return screen::upper(name);
}

bool contains(const std::string& text, std::string_view what) { return text.find(what) != std::string::npos; }

// Copies a text field of the goods record when both tables have it.
void copy_text(dbf::Table& from, dbf::Table& to, const char* field) {
    if (from.field_pos(field) != 0 && to.field_pos(field) != 0) to.put(field, from.text(field));
}

}  // namespace

void prepare_matching(ImportRun& r) {
    Session& s = r.s;
    r.bar_codes = s.values.JEST_KOD13;
    r.bar_code_modes = contains(screen::upper(s.vars.text("J_NAZWA")), "KOD13");
    const std::string name = company_name(s);
    r.short_code_prefix =
        r.bar_codes && !contains(name, "ZELMONT") && (contains(name, "WOLIX") || FILE_X("WOLIX.TXT"));
}

std::optional<std::uint32_t> find_goods(ImportRun& r, const std::string& code) {
    // A code the register cannot have sent for a good: longer than the bar
    // code field (its tail would be taken for a warehouse), or none at all.
    if (code.size() > 13 || blank(code)) return std::nullopt;
    dbf::Table& as = r.s.areas.table("as");
    const std::string& ps_mag = r.m.PS_MAG;
    const std::string& ps_mag_no = r.m.PS_MAG_NO;
    if (!r.bar_codes) {
        std::string key = (blank(ps_mag) ? std::string("1") : ps_mag.substr(0, 1)) + code.substr(0, 8);
        if (as.seek(key)) return as.recno();
        return std::nullopt;
    }
    if (r.bar_code_modes && blank(ps_mag) && !blank(ps_mag_no)) {
        r.m.ZNALAZL = false;
        if (!as.seek(descend(code))) return std::nullopt;
        while (!as.eof() && as.text("KOD13") == code) {
            if (as.text("MAG") != ps_mag_no.substr(0, 1)) {
                r.m.ZNALAZL = true;
                return as.recno();
            }
            as.skip(1);
        }
        return std::nullopt;
    }
    std::string key = code;
    if (r.bar_code_modes && !blank(ps_mag)) key += ps_mag.substr(0, 1);
    if (as.seek(descend(key))) return as.recno();
    return std::nullopt;
}

bool ADD_WIERSZ(ImportRun& r, std::string_view line) {
    std::optional<SalesLine> parsed = parse_sales_line(line);
    if (!parsed) return false;
    const std::string code = search_code(parsed->code, r.short_code_prefix);
    std::optional<std::uint32_t> goods = find_goods(r, code);
    if (!goods) {
        r.list_line(line);
        r.BYL_PPLIK = true;
        return false;
    }
    Session& s = r.s;
    dbf::Table& as = s.areas.table("as");
    RowAmounts a;
    const double cena0 = as.number("CENA0");
    DocumentTotals after = r.totals;
    AmountFault fault = row_amounts(*parsed, as.text("PODATEK0"), a);
    if (fault == AmountFault::None) {
        after.add(r.layout, a.quantity, cena0, a.value, a.vat, a.value);
        if (!after.fits(r.layout)) fault = AmountFault::TooLarge;
    }
    if (fault != AmountFault::None) {
        // Refused as read: a row with other figures than the register's
        // would be a wrong amount in the office's books.
        r.list_line(line);
        r.BYL_PPLIK = true;
        ++r.refused;
        return false;
    }
    r.totals = after;
    r.M_MAG = as.text("MAG");
    r.M_INDEKS = as.text("INDEKS");
    ++r.rows;
    r.P1 = dbf::str_number(r.rows, 3, 0);
    r.goods_recnos.push_back(*goods);

    dbf::Table& dd = s.areas.table("dd");
    dd.append_blank();
    dd.put("RD", s.values.M_SD);
    dd.put("R_P", std::string("R"));
    dd.put("S_Z", std::string("S"));
    dd.put("NRD", r.M_NRD);
    dd.put("DATA", s.values.M_DATA);
    dd.put("MAG", r.M_MAG);
    dd.put("LP", r.P1);
    dd.put("KTO", std::string("O"));
    dd.put("INDEKS", r.M_INDEKS);
    copy_text(as, dd, "NAZWA");
    copy_text(as, dd, "JM");
    dd.put("CENA0", cena0);
    dd.put("CENA", a.price);
    dd.put("NB", std::string("B"));
    dd.put("ILOSC", a.quantity);
    dd.put("WARTOSC", a.value);
    copy_text(as, dd, "PODATEK0");
    dd.put("PODATEK", a.vat);
    dd.put("BRUTTO", a.value);
    copy_text(as, dd, "SWW");
    copy_text(as, dd, "PKWIU");
    return true;
}

}  // namespace durva
