#include "app/defaults.h"

#include <gtest/gtest.h>

#include <map>

#include "common/mem_file.h"

namespace durva {
namespace {

TEST(SettingDefaults, SeventyFiveSettingsByKindAndValue) {
    Memvars vars;
    create_settings(vars);
    ASSERT_EQ(vars.entries().size(), static_cast<size_t>(kSettingsCount));

    std::map<std::string, int> texts;
    std::map<size_t, int> blanks_by_length;
    int numbers = 0, logicals = 0;
    for (const auto& [name, value] : vars.entries()) {
        EXPECT_EQ(name.compare(0, 2, "J_"), 0) << name;
        EXPECT_LE(name.size(), 10u) << name;
        if (const auto* t = std::get_if<std::string>(&value)) {
            if (!t->empty() && t->find_first_not_of(' ') == std::string::npos && t->size() > 3)
                ++blanks_by_length[t->size()];
            else
                ++texts[*t];
        } else if (std::holds_alternative<MemNumber>(value)) {
            ++numbers;
        } else if (const auto* b = std::get_if<bool>(&value)) {
            EXPECT_FALSE(*b);
            ++logicals;
        } else {
            ADD_FAILURE() << name << " is a date";
        }
    }
    EXPECT_EQ(texts["N"], 29);
    EXPECT_EQ(texts["T"], 16);
    EXPECT_EQ(texts["A"], 2);
    EXPECT_EQ(texts["U "], 2);
    EXPECT_EQ(blanks_by_length, (std::map<size_t, int>{{12, 1}, {20, 1}, {25, 1}, {29, 1}, {35, 2}, {60, 2}}));
    EXPECT_EQ(numbers, 5);
    EXPECT_EQ(logicals, 1);

    EXPECT_EQ(vars.entries().front().first, "J_ZW_D");
    EXPECT_EQ(vars.entries().back().first, "J_ZAOKRAGL");
    EXPECT_EQ(vars.text("J_NAZWA"), " OBS\x9C" "UGA HURTOWNI ");
    EXPECT_EQ(vars.text("J_NAZWA").size(), 18u);
    EXPECT_EQ(vars.text("J_DAT_OPE"), "01/01/94");
    EXPECT_EQ(vars.text("J_TIM_OPE"), "07:34:00");
    EXPECT_EQ(vars.text("J_FV_SYMBO"), "   ");
    EXPECT_EQ(vars.text("J_XKW"), "KW ");
    EXPECT_EQ(vars.text("J_RD"), "FV ");
    EXPECT_EQ(vars.text("J_SD"), "SD ");
    EXPECT_EQ(vars.text("J_KOD13ZN"), "T");
    EXPECT_EQ(vars.text("J_MAG_K"), "K");
    EXPECT_EQ(vars.number("J_POZIOM"), 1);
    EXPECT_EQ(vars.number("J_PAPIER"), 10);
    EXPECT_EQ(vars.number("J_NEC_M2"), 0);
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
    EXPECT_EQ(raw["J_NAZWA"], std::string(" OBS\x9C" "UGA HURTOWNI \0", 19));
    EXPECT_EQ(raw["J_ZAOKRAGL"], std::string("\0", 1));
    EXPECT_EQ(raw["J_PP"], std::string("\0\0\0\0\0\0\xF0\x3F", 8));
    EXPECT_EQ(raw["J_PAPIER"], std::string("\0\0\0\0\0\0\x24\x40", 8));
    EXPECT_EQ(raw["J_RAPORTY"], std::string(60, ' ') + '\0');
}

}  // namespace
}  // namespace durva
