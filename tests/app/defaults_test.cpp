#include "app/defaults.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "common/mem_file.h"

namespace durva {
namespace {

// The defaults written out on their own, name by name, so that a default
// given to the wrong setting or a misspelt name shows.
struct Expected {
    const char* name;
    MemValue value;
};

MemValue text(const char* t) { return std::string(t); }
MemValue blanks(size_t n) { return std::string(n, ' '); }
MemValue number(double v) { return MemNumber{v, 10, 0}; }

const std::vector<Expected>& expected_defaults() {
    static const std::vector<Expected> table = {
        {"J_ZW_D", text("N")},      {"J_DRUKARKA", text("N")}, {"J_PODATEK", text("N")},
        {"J_ZAKUPU", text("N")},    {"J_UPUST", text("N")},    {"J_KOREKTA_", text("N")},
        {"J_SREDNIA_", text("N")},  {"J_FA_SORT", text("N")},  {"J_AUTOMAT", text("N")},
        {"J_KANTY", text("N")},     {"J_AUTO_ZAP", text("N")}, {"J_FILTR", text("N")},
        {"J_REJ_NETT", text("N")},  {"J_CENA_BRU", text("N")}, {"J_ATEST_DR", text("N")},
        {"J_OPA_DRUK", text("N")},  {"J_PZ", text("N")},       {"J_1_KOMPUT", text("N")},
        {"J_ZM_INDEK", text("N")},  {"J_DRU_RABA", text("N")}, {"J_RABAT_ZB", text("N")},
        {"J_EJECT", text("N")},     {"J_MOD_OPA", text("N")},  {"J_DRUK_IND", text("N")},
        {"J_NEC1", text("N")},      {"J_NEC2", text("N")},     {"J_ZLE_UZGO", text("N")},
        {"J_DOP_UJEM", text("N")},  {"J_BEZ_VIEW", text("N")},
        {"J_INF_UJEM", text("T")},  {"J_ORYGINAL", text("T")}, {"J_WALUTA", text("T")},
        {"J_UZGADNIA", text("T")},  {"J_ATEST", text("T")},    {"J_BOGATY_R", text("T")},
        {"J_CENA_SR", text("T")},   {"J_DOW1_MAG", text("T")}, {"J_OPA_OPA", text("T")},
        {"J_TOCZ_KAS", text("T")},  {"J_SPECYFIK", text("T")}, {"J_SD_RAZEM", text("T")},
        {"J_NOWE_STA", text("T")},  {"J_KOD13ZN", text("T")},  {"J_KOLOR", text("T")},
        {"J_SD_Z1MAG", text("T")},
        {"J_NAPED", text("A")},     {"J_GDZIE", text("A")},
        {"J_VAT", text("23")},      {"J_XKW", text("KW ")},    {"J_XKP", text("KP ")},
        {"J_RD", text("FV ")},      {"J_SD", text("SD ")},     {"J_MAG_GLOW", text("1")},
        {"J_OPA", text("OPA")},     {"J_MAG_K", text("K")},    {"J_MAG_U", text("U ")},
        {"J_MAG_UU", text("U ")},   {"J_FV_SYMBO", text("   ")},
        {"J_NAZWA", text(" OBS\x9C" "UGA HURTOWNI ")},
        {"J_DAT_OPE", text("01/01/94")}, {"J_TIM_OPE", text("07:34:00")},
        {"J_RAPORTY", blanks(60)},  {"J_ARCHIWUM", blanks(60)}, {"J_WITEK1", blanks(35)},
        {"J_WITEK2", blanks(35)},   {"J_FF2", blanks(29)},     {"J_KP_R", blanks(25)},
        {"J_POMINAC", blanks(20)},  {"J_FOLDER", blanks(12)},
        {"J_PP", number(1)},        {"J_POZIOM", number(1)},   {"J_PAPIER", number(10)},
        {"J_NEC_M1", number(0)},    {"J_NEC_M2", number(0)},
        {"J_ZAOKRAGL", MemValue(false)},
    };
    return table;
}

std::string describe(const MemValue& v) {
    if (const auto* t = std::get_if<std::string>(&v)) return "text \"" + *t + "\" (" + std::to_string(t->size()) + ")";
    if (const auto* n = std::get_if<MemNumber>(&v)) return "number " + std::to_string(n->value);
    if (const auto* b = std::get_if<bool>(&v)) return *b ? "logical true" : "logical false";
    return "date";
}

bool same_value(const MemValue& a, const MemValue& b) {
    if (a.index() != b.index()) return false;
    if (const auto* n = std::get_if<MemNumber>(&a)) return n->value == std::get<MemNumber>(b).value;
    if (const auto* t = std::get_if<std::string>(&a)) return *t == std::get<std::string>(b);
    if (const auto* l = std::get_if<bool>(&a)) return *l == std::get<bool>(b);
    return false;
}

TEST(SettingDefaults, EverySettingNameByNameInFileOrder) {
    Memvars vars;
    create_settings(vars);
    const auto& table = expected_defaults();
    ASSERT_EQ(table.size(), static_cast<size_t>(kSettingsCount));
    ASSERT_EQ(vars.entries().size(), table.size());
    for (size_t i = 0; i < table.size(); ++i) {
        const auto& [name, value] = vars.entries()[i];
        EXPECT_EQ(name, table[i].name) << "position " << i;
        EXPECT_TRUE(same_value(value, table[i].value))
            << table[i].name << ": " << describe(value) << ", expected " << describe(table[i].value);
    }
    // The VAT rates of the register's groups come only from the other programs.
    EXPECT_FALSE(vars.has("J_PTUA"));
}

TEST(SettingDefaults, NewParameterFileEntryByEntry) {
    Memvars vars;
    create_settings(vars);
    const std::string bytes = encode_mem(vars, "J_");

    // Walk the file by its own layout: 32-byte header, then the value.
    size_t pos = 0;
    int count = 0;
    std::map<std::string, std::string> raw;
    while (pos + 32 <= bytes.size()) {
        const std::string header = bytes.substr(pos, 32);
        const std::string name = header.substr(0, header.find('\0'));
        for (size_t i : {12u, 13u, 14u, 15u}) EXPECT_EQ(header[i], '\0') << name;
        for (size_t i = 18; i < 32; ++i) EXPECT_EQ(header[i], '\0') << name;
        const auto type = static_cast<unsigned char>(header[11]);
        const auto b16 = static_cast<unsigned char>(header[16]), b17 = static_cast<unsigned char>(header[17]);
        size_t size = 0;
        if (type == 0xC3) size = b16 + 256u * b17;
        else if (type == 0xCE) { size = 8; EXPECT_EQ(b16, 10) << name; EXPECT_EQ(b17, 0) << name; }
        else if (type == 0xCC) { size = 1; EXPECT_EQ(b16, 1) << name; EXPECT_EQ(b17, 0) << name; }
        else ADD_FAILURE() << name << " type " << int(type);
        raw[name] = bytes.substr(pos + 32, size);
        pos += 32 + size;
        ++count;
    }
    EXPECT_EQ(count, 75);
    EXPECT_EQ(pos + 1, bytes.size());
    EXPECT_EQ(bytes.back(), '\x1A');
    for (const auto& e : expected_defaults()) {
        ASSERT_TRUE(raw.count(e.name)) << e.name;
        if (const auto* t = std::get_if<std::string>(&e.value)) {
            EXPECT_EQ(raw[e.name], *t + '\0') << e.name;
        }
    }
    EXPECT_EQ(raw["J_NAZWA"], std::string(" OBS\x9C" "UGA HURTOWNI \0", 19));
    EXPECT_EQ(raw["J_ZAOKRAGL"], std::string("\0", 1));
    EXPECT_EQ(raw["J_PP"], std::string("\0\0\0\0\0\0\xF0\x3F", 8));
    EXPECT_EQ(raw["J_PAPIER"], std::string("\0\0\0\0\0\0\x24\x40", 8));
    EXPECT_EQ(raw["J_RAPORTY"], std::string(60, ' ') + '\0');
}

}  // namespace
}  // namespace durva
