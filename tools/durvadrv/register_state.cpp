#include "register_state.h"

namespace durvadrv {

namespace {

constexpr std::string_view kHeader = "DURVADRV STAN 1";

std::string two_digits(int n) { return (n < 10 ? "0" : "") + std::to_string(n); }

bool number_field(std::string_view s, size_t max_digits, std::int64_t& out) {
    if (s.empty() || s.size() > max_digits) return false;
    out = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return false;
        out = out * 10 + (c - '0');
    }
    return true;
}

// Each kind of line is stored as a record the register itself reads, so the
// same checks guard the file as guard the input: a department as its
// department record, a PLU as its send record (short or long form).
std::string department_record(const Department& d) {
    return "H;1;" + two_digits(d.number) + ";" + d.name + ";0;" + std::string(1, d.vat) + ";" + d.limit + ";00;";
}

std::string plu_record(const Plu& p) {
    std::string tail = ";" + std::to_string(p.price) + ";" + std::string(1, p.vat) + ";3;" + p.flags + ";" +
                       two_digits(p.department) + ";00;;";
    if (p.long_form) return "I#00;1;" + p.code + ";0;" + p.name + tail + "00;0;";
    return "I;1;" + p.code + ";" + p.name + tail;
}

}  // namespace

std::array<Department, 7> RegisterState::default_departments() {
    std::array<Department, 7> d;
    const char letters[] = "ABCDEFZ";
    for (int i = 0; i < 7; ++i) d[static_cast<size_t>(i)] = Department{i + 1, "Dzial " + std::to_string(i + 1), letters[i], "1000"};
    return d;
}

std::string encode_state(const RegisterState& state) {
    std::string out(kHeader);
    out += "\n";
    for (const Department& d : state.departments) out += "D " + department_record(d) + "\n";
    for (const auto& [code, plu] : state.plus) out += "P " + plu_record(plu) + "\n";
    for (const Sale& s : state.journal) out += "S " + sales_line(s) + "\n";
    return out;
}

bool decode_state(std::string_view text, RegisterState& state, std::string& error) {
    state = RegisterState{};
    size_t line_no = 0;
    auto fail = [&](const std::string& what) {
        error = "wiersz " + std::to_string(line_no) + ": " + what;
        return false;
    };
    bool header = false;
    std::vector<std::string_view> fields;
    while (!text.empty()) {
        size_t lf = text.find('\n');
        if (lf == std::string_view::npos) return fail("plik urwany");
        std::string_view line = text.substr(0, lf);
        text.remove_prefix(lf + 1);
        ++line_no;
        if (!header) {
            if (line != kHeader) return fail("to nie plik stanu kasy");
            header = true;
            continue;
        }
        if (line.size() < 2 || line[1] != ' ') return fail("nieznany wiersz");
        std::string_view body = line.substr(2);
        if (line[0] == 'D') {
            Department d;
            if (Problem p = parse_department(body, d); p.fault != Fault::None) return fail(p.text);
            state.departments[static_cast<size_t>(d.number - 1)] = d;
        } else if (line[0] == 'P') {
            PluRecord r;
            if (Problem p = parse_plu_record(body, r); p.fault != Fault::None || r.deletion)
                return fail(p.fault != Fault::None ? p.text : "zly PLU");
            state.plus[r.plu.code] = r.plu;
        } else if (line[0] == 'S') {
            // Kind and separator, then code;name;value;quantity;
            if (body.size() < 2 || !split_fields(body.substr(2), fields) || fields.size() != 4)
                return fail("zla sprzedaz");
            Sale s{std::string(fields[0]), std::string(fields[1]), 0, 0};
            if (fields[0].empty() || !number_field(fields[2], 18, s.value) || !number_field(fields[3], 18, s.quantity))
                return fail("zla sprzedaz");
            state.journal.push_back(std::move(s));
        } else {
            return fail("nieznany wiersz");
        }
    }
    if (!header) return fail("pusty plik");
    return true;
}

std::string sales_line(const Sale& sale) {
    return "S;" + sale.code + ";" + sale.name + ";" + std::to_string(sale.value) + ";" + std::to_string(sale.quantity) +
           ";";
}

}  // namespace durvadrv
