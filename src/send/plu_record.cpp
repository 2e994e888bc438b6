#include "send/plu_record.h"

#include <algorithm>
#include <cmath>
#include <cstring>

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
    if (rate.size() == 2) {
        const char a = rate[0], b = rate[1];
        if (is_digit(a) && is_digit(b)) return (a - '0') * 10 + (b - '0') > 23;
        // One digit, or a text such as "ZW" that holds no number (0).
        if ((a == ' ' && is_digit(b)) || (is_digit(a) && b == ' ') || (a >= 'A' && a <= 'Z')) return false;
    }
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
// group whose rate the good's rate begins with; exempt goods ("ZW") go to
// group Z. Nothing when none fits.
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

// The name as the record carries it, at `to`: padded or cut to `width`. A
// ";" would start a new field of the record and a control byte would break
// its line, so neither reaches the register as such.
void put_name(char* to, std::string_view name, size_t width) {
    const size_t n = std::min(width, name.size());
    for (size_t i = 0; i < n; ++i) {
        char c = name[i];
        if (c == ';') c = ',';
        else if (static_cast<unsigned char>(c) < 0x20) c = ' ';
        to[i] = c;
    }
    std::memset(to + n, ' ', width - n);
}

// The PLU code into `code`: the digits `text` begins with, at most `most`
// of them, after its zeros when `drop_zeros`.
void code_digits(std::string_view text, size_t most, bool drop_zeros, std::string& code) {
    text = text.substr(0, most);
    size_t from = 0;
    if (drop_zeros)
        while (from < text.size() && text[from] == '0') ++from;
    size_t to = from;
    while (to < text.size() && is_digit(text[to])) ++to;
    code.assign(text.substr(from, to - from));
}

void plu_code_to(const PluSettings& st, const PluGood& g, std::string& code) {
    if (st.jest_kod13) {
        code_digits(g.kod13, 13, st.drop_leading_zeros, code);
        if (st.shorten_28_codes && code.size() == 7 && code.starts_with("28")) code.erase(0, 2);
    } else {
        code_digits(g.indeks, 8, false, code);
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

    // The record written straight into its text, made as long as it can be.
    const std::string_view head = st.long_form ? "I#00;1;" : "I;1;";
    const std::string_view after_code = st.long_form ? ";0;" : ";";
    const std::string_view tail = st.long_form ? ";00;;00;0;" : ";00;;";
    const size_t name_width = st.long_form ? g.nazwa.size() : 18;
    std::string& t = r.text;
    t.resize(head.size() + r.code.size() + after_code.size() + name_width + price_text.size() + 16 + tail.size());
    char* to = t.data();
    auto put = [&to](std::string_view v) {
        std::memcpy(to, v.data(), v.size());
        to += v.size();
    };
    put(head);
    put(r.code);
    put(after_code);
    put_name(to, cleaned, name_width);
    to += name_width;
    *to++ = ';';
    put(price_text);
    *to++ = ';';
    *to++ = letter;
    put(";3;");
    put(flags);
    *to++ = ';';
    *to++ = '0';
    *to++ = department;
    put(tail);
    t.resize(static_cast<size_t>(to - t.data()));

    plu_sent_key(st, g.kod13, g.indeks, r.key);
}

}  // namespace durva
