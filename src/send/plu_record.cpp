#include "send/plu_record.h"

#include <cmath>

#include "common/dbf/xbase_values.h"
#include "common/newround.h"
#include "common/vat_groups.h"
#include "send/name_cleaning.h"

namespace durva {
namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// The VAT rate, read as VAL() reads it, is above 23. Most rates are two
// digits, read here without the general reading of a number.
bool rate_above_23(std::string_view rate) {
    if (rate.size() == 2 && is_digit(rate[0]) && is_digit(rate[1])) return (rate[0] - '0') * 10 + (rate[1] - '0') > 23;
    return dbf::val_number(rate) > 23;
}

// A code whose numeric value is zero: empty or only zeros.
bool zero_code(std::string_view code) {
    for (char c : code)
        if (c != '0') return false;
    return true;
}

double level_price(const PluSettings& st, const PluGood& g) {
    if (g.cena2 > 0 && g.cena2m > 0 && st.price_levels > 1 && st.level > 1) {
        // Level 1 is CENA2, the last level CENA2M, the others on equal steps
        // between them; a level past the last goes on with the same steps.
        const double step = (g.cena2 - g.cena2m) / (st.price_levels - 1);
        return NEWROUND(g.cena2 - (st.level - 1) * step, 2);
    }
    if (st.level == 0 && g.cena3 && *g.cena3 > 0) return *g.cena3;
    return g.cena2;
}

// The VAT letter and department (its second digit, after a 0) of the first
// group whose rate the good's rate
// begins with; exempt goods ("ZW") go to group Z. Nothing when none fits.
bool vat_group(const PluSettings& st, std::string_view podatek0, char& letter, char& department) {
    for (int i = 0; i < 6; ++i) {
        const auto& rate = st.vat_rates[static_cast<size_t>(i)];
        if (rate && podatek0.starts_with(*rate)) {
            letter = static_cast<char>('A' + i);
            department = static_cast<char>('1' + i);
            return true;
        }
    }
    if (podatek0.starts_with(kExemptRate)) {
        letter = vat_group_letter(kExemptGroup);
        department = '7';
        return true;
    }
    return false;
}

// The name as the record carries it: padded or cut to `width`. A ";" would
// start a new field of the record and a control byte would break its line, so
// neither reaches the register as such.
void append_name(std::string& out, std::string_view name, size_t width) {
    const size_t at = out.size();
    out.resize(at + width, ' ');
    char* to = out.data() + at;
    for (size_t i = 0; i < width && i < name.size(); ++i) {
        char c = name[i];
        if (c == ';') c = ',';
        else if (static_cast<unsigned char>(c) < 0x20) c = ' ';
        to[i] = c;
    }
}

// The PLU code into `code`, emptied first.
void plu_code_to(const PluSettings& st, const PluGood& g, std::string& code) {
    code.clear();
    if (st.jest_kod13) {
        for (size_t i = 0; i < 13 && i < g.kod13.size(); ++i) {
            const char c = g.kod13[i];
            if (c == '0' && code.empty() && st.drop_leading_zeros) continue;
            if (!is_digit(c)) break;
            code += c;
        }
        if (st.shorten_28_codes && code.size() == 7 && code.starts_with("28")) code.erase(0, 2);
    } else {
        for (size_t i = 0; i < 8 && i < g.indeks.size(); ++i) {
            if (!is_digit(g.indeks[i])) break;
            code += g.indeks[i];
        }
    }
}

constexpr int kPriceWidth = 10;

// plu_price_text() in `digits`, without a text of its own to allocate.
std::string_view price_digits(double price, char (&digits)[kPriceWidth]) {
    if (!std::isfinite(price)) return {};
    dbf::str_number_to(price * 100, kPriceWidth, 0, digits);
    const std::string_view text(digits, kPriceWidth);
    if (text.find('*') != std::string_view::npos) return {};
    return text.substr(text.find_first_not_of(' '));
}

}  // namespace

void plu_sent_key(const PluSettings& st, std::string_view kod13, std::string_view indeks, std::string& key) {
    if (st.jest_kod13) {
        key.assign(kod13.substr(0, 13));
        key.resize(13, ' ');
    } else {
        key.assign(indeks.substr(0, 8));
        key.resize(8, ' ');
        key.append(5, ' ');
    }
}

std::string plu_code(const PluSettings& st, const PluGood& g) {
    std::string code;
    plu_code_to(st, g, code);
    return code;
}

std::string plu_price_text(double price) {
    char digits[kPriceWidth];
    return std::string(price_digits(price, digits));
}

PluRecord build_plu_record(const PluSettings& st, const PluGood& g, SendRoad road, std::string& previous_code) {
    PluRecord r;
    build_plu_record(st, g, road, previous_code, r);
    return r;
}

void build_plu_record(const PluSettings& st, const PluGood& g, SendRoad road, std::string& previous_code,
                      PluRecord& r) {
    r.rejection = PluRejection::None;
    r.code.clear();
    r.text.clear();
    r.key.clear();
    if (road == SendRoad::Main && !(g.cena2 > 0)) {
        r.rejection = PluRejection::PriceNotPositive;
        return;
    }
    plu_code_to(st, g, r.code);
    if (rate_above_23(g.podatek0)) r.rejection = PluRejection::VatAbove23;
    else if (g.cena2 < 0) r.rejection = PluRejection::NegativePrice;
    else if (zero_code(r.code)) r.rejection = PluRejection::NoCode;
    else if (road != SendRoad::Leaflet && std::string_view(previous_code).starts_with(r.code))
        r.rejection = PluRejection::RepeatsPrevious;
    if (!r.accepted()) return;
    previous_code = r.code;

    const double price = level_price(st, g);
    if (price < 0) {
        r.rejection = PluRejection::NegativePrice;
        return;
    }
    char digits[kPriceWidth];
    const std::string_view price_text = price_digits(price, digits);
    if (price_text.empty()) {
        r.rejection = PluRejection::PriceTooLong;
        return;
    }
    char letter = 0;
    char department = 0;
    if (!vat_group(st, g.podatek0, letter, department)) {
        r.rejection = PluRejection::NoVatGroup;
        return;
    }
    // The main send's names were cleaned in its sorted copy already.
    std::string cleaned_here;
    if (road != SendRoad::Main) cleaned_here = USUN_PL_TRELOWA(g.nazwa, st.keep_national_letters);
    const std::string_view cleaned = road == SendRoad::Main ? g.nazwa : std::string_view(cleaned_here);
    const char* flags = road == SendRoad::Main && st.kwir_flags ? "01100" : "11100";

    std::string& t = r.text;
    t.reserve(96);
    t += st.long_form ? "I#00;1;" : "I;1;";
    t += r.code;
    t += st.long_form ? ";0;" : ";";
    append_name(t, cleaned, st.long_form ? g.nazwa.size() : 18);
    t += ';';
    t += price_text;
    t += ';';
    t += letter;
    t += ";3;";
    t += flags;
    t += ';';
    t += '0';
    t += department;
    t += st.long_form ? ";00;;00;0;" : ";00;;";

    plu_sent_key(st, g.kod13, g.indeks, r.key);
}

}  // namespace durva
