#include "send/plu_settings.h"

#include "common/_fun3.h"
#include "common/vat_groups.h"

namespace durva {
namespace {

std::string upper_ascii(std::string text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return text;
}

std::string company_name(Session& s) {
    dbf::Table* firma = s.areas.find("firma");
    if (!firma) return {};
    std::string name;
    for (const char* field : {"NODB", "NODB1"})
        if (firma->field_pos(field) > 0) name += firma->text(field);
    return upper_ascii(name);
}

std::string register_description(Session& s, const MenuValues& m) {
    dbf::Table* durva = s.areas.find("durva");
    if (durva && durva->field_pos("POPIS") > 0) return durva->text("POPIS");
    return m.OPIS;
}

}  // namespace

PluSettings plu_settings(Session& s, const MenuValues& m, int level) {
    PluSettings st;
    st.jest_kod13 = s.values.JEST_KOD13;
    st.drop_leading_zeros = s.vars.text("J_KOD13ZN").starts_with("N");
    st.price_levels = static_cast<int>(s.vars.number("J_POZIOM"));
    st.level = level;
    for (int g = 0; g < 6; ++g) st.vat_rates[static_cast<size_t>(g)] = vat_group_rate(s.vars, g);
    const std::string company = company_name(s);
    st.shorten_28_codes = st.jest_kod13 && company.find("ZELMONT") == std::string::npos &&
                          (company.find("WOLIX") != std::string::npos || FILE_X("WOLIX.TXT"));
    st.kwir_flags = FILE_X("KWIR.TXT");
    st.keep_national_letters = FILE_X("DAJ.PL");
    st.long_form = register_description(s, m).find("3000") != std::string::npos;
    return st;
}

}  // namespace durva
