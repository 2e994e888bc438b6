#include "records.h"

#include <utility>

namespace durvadrv {

namespace {

bool all_digits(std::string_view s) {
    if (s.empty()) return false;
    for (char c : s)
        if (c < '0' || c > '9') return false;
    return true;
}

// Reads up to 18 digits; the callers have checked the length already.
std::int64_t digits_value(std::string_view s) {
    std::int64_t v = 0;
    for (char c : s) v = v * 10 + (c - '0');
    return v;
}

bool is_vat_letter(std::string_view s) {
    return s.size() == 1 && ((s[0] >= 'A' && s[0] <= 'F') || s[0] == 'Z');
}

// Names go onto the register's display and into its list and sales lines, so
// control bytes are refused; every other byte (the office's national letters
// included) is kept as it is.
bool sound_name(std::string_view name, size_t max_length) {
    if (name.empty() || name.size() > max_length) return false;
    for (char c : name)
        if (static_cast<unsigned char>(c) < 0x20) return false;
    return true;
}

// A department number: exactly two digits, 01 to 07.
bool parse_department_number(std::string_view s, int& number) {
    if (s.size() != 2 || !all_digits(s)) return false;
    number = static_cast<int>(digits_value(s));
    return number >= 1 && number <= 7;
}

Problem problem(Fault f, std::string text) { return Problem{f, std::move(text)}; }

std::string shown(std::string_view field) {
    std::string out;
    for (char c : field.substr(0, 20)) out += static_cast<unsigned char>(c) < 0x20 ? '?' : c;
    return out;
}

Problem check_code(std::string_view code) {
    if (!all_digits(code) || code.size() > kMaxCodeLength) return problem(Fault::BadCode, "Zly kod PLU: " + shown(code));
    return {};
}

Problem check_price(std::string_view price, std::int64_t& out) {
    if (!all_digits(price) || price.size() > kMaxPriceDigits)
        return problem(Fault::BadPrice, "Zla cena: " + shown(price));
    out = digits_value(price);
    return {};
}

// The fields a PLU record carries after its code, the same in both forms but
// for where they sit.
struct PluFieldPositions {
    size_t count, code, name, price, vat, three, flags, department, zeros, empty;
    size_t name_length;
};

constexpr PluFieldPositions kShortForm{11, 2, 3, 4, 5, 6, 7, 8, 9, 10, kShortNameLength};
constexpr PluFieldPositions kLongForm{14, 2, 4, 5, 6, 7, 8, 9, 10, 11, kLongNameLength};

Problem parse_plu_fields(const std::vector<std::string_view>& f, const PluFieldPositions& at, Plu& plu) {
    if (f.size() != at.count)
        return problem(Fault::BadFormat, "Zla liczba pol: " + std::to_string(f.size()) + " zamiast " +
                                             std::to_string(at.count));
    if (f[1] != "1") return problem(Fault::BadFormat, "Zle pole 2: " + shown(f[1]));
    if (Problem p = check_code(f[at.code]); p.fault != Fault::None) return p;
    if (!sound_name(f[at.name], at.name_length))
        return problem(Fault::BadName, "Zla nazwa (dlugosc " + std::to_string(f[at.name].size()) + ")");
    if (Problem p = check_price(f[at.price], plu.price); p.fault != Fault::None) return p;
    if (!is_vat_letter(f[at.vat])) return problem(Fault::BadVat, "Zla litera VAT: " + shown(f[at.vat]));
    if (f[at.three] != "3") return problem(Fault::BadFormat, "Zle pole " + std::to_string(at.three + 1));
    bool flags_ok = f[at.flags].size() == 5;
    for (char c : f[at.flags]) flags_ok = flags_ok && (c == '0' || c == '1');
    if (!flags_ok) return problem(Fault::BadFormat, "Zle flagi: " + shown(f[at.flags]));
    if (!parse_department_number(f[at.department], plu.department))
        return problem(Fault::BadDepartment, "Zly dzial: " + shown(f[at.department]));
    if (f[at.zeros] != "00" || !f[at.empty].empty())
        return problem(Fault::BadFormat, "Zle pola po dziale");
    plu.code = std::string(f[at.code]);
    plu.name = std::string(f[at.name]);
    plu.vat = f[at.vat][0];
    plu.flags = std::string(f[at.flags]);
    return {};
}

}  // namespace

std::vector<std::string_view> split_input_lines(std::string_view file) {
    if (!file.empty() && file.back() == '\x1A') file.remove_suffix(1);
    std::vector<std::string_view> lines;
    while (!file.empty()) {
        size_t lf = file.find('\n');
        std::string_view line = file.substr(0, lf);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines.push_back(line);
        if (lf == std::string_view::npos) break;
        file.remove_prefix(lf + 1);
    }
    return lines;
}

bool split_fields(std::string_view record, std::vector<std::string_view>& fields) {
    fields.clear();
    while (!record.empty()) {
        size_t semi = record.find(';');
        if (semi == std::string_view::npos) return false;
        fields.push_back(record.substr(0, semi));
        record.remove_prefix(semi + 1);
    }
    return true;
}

std::optional<ControlLine> parse_control_line(std::string_view line) {
    if (line == "S;U;2; ; ;") return ControlLine{Operation::ReadSales};
    if (line == "S;I;0; ; ;") return ControlLine{Operation::ReadPluList};
    if (line == "S;I;1; ; ;") return ControlLine{Operation::WritePlus};
    std::vector<std::string_view> f;
    if (!split_fields(line, f) || f.size() != 5 || f[0] != "S" || f[1] != "D" || f[2] != "1") return std::nullopt;
    ControlLine c{Operation::Departments};
    auto number = [](std::string_view s, int& n) {
        if (s.empty() || s.size() > 2 || !all_digits(s)) return false;
        n = static_cast<int>(digits_value(s));
        return n >= 1 && n <= 7;
    };
    if (!number(f[3], c.first_department) || !number(f[4], c.last_department)) return std::nullopt;
    if (c.first_department > c.last_department) return std::nullopt;
    return c;
}

Problem parse_plu_record(std::string_view record, PluRecord& out) {
    out = PluRecord{};
    std::vector<std::string_view> f;
    if (!split_fields(record, f)) return problem(Fault::BadFormat, "Rekord nie konczy sie na ;");
    if (f.empty()) return problem(Fault::BadFormat, "Pusty rekord");
    if (f[0] == "I") return parse_plu_fields(f, kShortForm, out.plu);
    if (f[0] == "I#00") {
        if (Problem p = parse_plu_fields(f, kLongForm, out.plu); p.fault != Fault::None) return p;
        if (f[3] != "0" || f[12] != "00" || f[13] != "0") return problem(Fault::BadFormat, "Zle pola stale");
        out.plu.long_form = true;
        return {};
    }
    if (f[0] == "P") {
        // A PLU list line sent back: only the code counts, the rest is what
        // the register listed and is not looked at.
        if (f.size() < 3) return problem(Fault::BadFormat, "Zla liczba pol: " + std::to_string(f.size()));
        if (f[1] != "1") return problem(Fault::BadFormat, "Zle pole 2: " + shown(f[1]));
        if (Problem p = check_code(f[2]); p.fault != Fault::None) return p;
        out.deletion = true;
        out.plu.code = std::string(f[2]);
        return {};
    }
    return problem(Fault::BadFormat, "Nieznany rekord: " + shown(f[0]));
}

Problem parse_department(std::string_view record, Department& out) {
    out = Department{};
    std::vector<std::string_view> f;
    if (!split_fields(record, f)) return problem(Fault::BadFormat, "Rekord nie konczy sie na ;");
    if (f.size() != 8) return problem(Fault::BadFormat, "Zla liczba pol: " + std::to_string(f.size()) + " zamiast 8");
    if (f[0] != "H" || f[1] != "1") return problem(Fault::BadFormat, "To nie rekord dzialu");
    if (!parse_department_number(f[2], out.number)) return problem(Fault::BadDepartment, "Zly dzial: " + shown(f[2]));
    if (!sound_name(f[3], kDepartmentNameLength))
        return problem(Fault::BadName, "Zla nazwa dzialu (dlugosc " + std::to_string(f[3].size()) + ")");
    if (f[4] != "0") return problem(Fault::BadFormat, "Zle pole 5");
    if (!is_vat_letter(f[5])) return problem(Fault::BadVat, "Zla litera VAT: " + shown(f[5]));
    if (!all_digits(f[6]) || f[6].size() > 6) return problem(Fault::BadFormat, "Zle pole 7: " + shown(f[6]));
    if (f[7] != "00") return problem(Fault::BadFormat, "Zle pole 8");
    out.name = std::string(f[3]);
    out.vat = f[5][0];
    out.limit = std::string(f[6]);
    return {};
}

std::string plu_list_line(const Plu& plu) {
    std::string dept = plu.department < 10 ? "0" + std::to_string(plu.department) : std::to_string(plu.department);
    return "P;1;" + plu.code + ";" + plu.name + ";" + std::to_string(plu.price) + ";" + std::string(1, plu.vat) + ";" +
           dept + ";";
}

bool parse_sale_list(std::string_view text, std::vector<SaleRequest>& out, std::string& error) {
    out.clear();
    if (text.empty()) {
        error = "brak sprzedazy";
        return false;
    }
    for (;;) {
        size_t comma = text.find(',');
        std::string_view item = text.substr(0, comma);
        std::string_view code = item.substr(0, item.find('*'));
        std::string_view qty = item.size() > code.size() ? item.substr(code.size() + 1) : std::string_view("1");
        SaleRequest sale;
        bool ok = all_digits(code) && code.size() <= kMaxCodeLength;
        size_t point = qty.find('.');
        std::string_view whole = qty.substr(0, point);
        std::string_view fraction = point == std::string_view::npos ? std::string_view() : qty.substr(point + 1);
        ok = ok && all_digits(whole) && whole.size() <= 5 && fraction.size() <= 3 &&
             (fraction.empty() ? point == std::string_view::npos : all_digits(fraction));
        if (ok) {
            std::int64_t thousandths = digits_value(whole) * 1000;
            std::int64_t scale = 100;
            for (char c : fraction) {
                thousandths += (c - '0') * scale;
                scale /= 10;
            }
            sale.code = std::string(code);
            sale.quantity = thousandths;
            ok = thousandths > 0;
        }
        if (!ok) {
            error = "zla pozycja sprzedazy: " + std::string(item.substr(0, 40));
            return false;
        }
        out.push_back(std::move(sale));
        if (comma == std::string_view::npos) return true;
        text.remove_prefix(comma + 1);
    }
}

std::int64_t sale_value(std::int64_t price, std::int64_t quantity) {
    // Prices have at most 10 digits and quantities at most 8, so the product
    // stays within 64 bits.
    return (price * quantity + 500) / 1000;
}

std::string format_thousandths(std::int64_t quantity) {
    std::string frac = std::to_string(quantity % 1000);
    return std::to_string(quantity / 1000) + "." + std::string(3 - frac.size(), '0') + frac;
}

}  // namespace durvadrv
