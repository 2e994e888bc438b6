#include "common/mem_file.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>

#include "platform/errors.h"
#include "support/current_folder.h"
#include "support/fixture_folder.h"

namespace durva {
namespace {

std::string fixture_parametr() {
    std::ifstream in(std::string(DURVA_FIXTURES) + "/kod13/PARAMETR.MEM", std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// One entry written by hand from the file layout, independent of the encoder.
std::string entry(std::string_view name, unsigned char type, unsigned char b16, unsigned char b17,
                  std::string_view value) {
    std::string e(32, '\0');
    std::memcpy(e.data(), name.data(), name.size());
    e[11] = static_cast<char>(type);
    e[16] = static_cast<char>(b16);
    e[17] = static_cast<char>(b17);
    return e + std::string(value);
}

std::string le_double(double d) {
    std::string s(8, '\0');
    std::memcpy(s.data(), &d, 8);  // the test machine is little-endian
    return s;
}

TEST(MemFileRead, FixtureOfTheOfficesOtherPrograms) {
    Memvars vars;
    MemFileResult r = decode_mem(fixture_parametr(), vars);
    EXPECT_TRUE(r.ok()) << r.problem;
    EXPECT_EQ(r.variables, 20);
    EXPECT_EQ(vars.entries().size(), 20u);

    EXPECT_EQ(vars.text("J_PTUA"), "23");
    EXPECT_EQ(vars.text("J_PTUB"), " 8");
    EXPECT_EQ(vars.text("J_PTUZ"), " 0");
    EXPECT_EQ(vars.number("J_POZIOM"), 3);
    EXPECT_EQ(vars.text("J_KOD13ZN"), "T");
    EXPECT_EQ(vars.text("J_MAG_U"), "U ");
    EXPECT_EQ(vars.text("J_SD"), "SD ");
    EXPECT_EQ(vars.text("J_NAZWA"), " OBS\x9C" "UGA HURTOWNI ");
    EXPECT_EQ(vars.text("J_FOLDER"), std::string(12, ' '));
    EXPECT_TRUE(vars.logical("J_ZAOKRAGL"));

    const auto* proc = std::get_if<MemNumber>(vars.find("J_PROC"));
    ASSERT_NE(proc, nullptr);
    EXPECT_EQ(proc->value, 12.5);
    EXPECT_EQ(proc->width, 12);
    EXPECT_EQ(proc->decimals, 1);

    const auto* date = std::get_if<Date>(vars.find("J_DATA_Z"));
    ASSERT_NE(date, nullptr);
    EXPECT_EQ(*date, Date::from_ymd(2016, 3, 1));
}

TEST(MemFileRead, StoredVariablesReplaceExistingOnesOthersStay) {
    Memvars vars;
    vars.set_number("J_POZIOM", 1);
    vars.set_logical("J_ZAOKRAGL", false);
    vars.set_text("J_RD", "FV ");
    vars.set_text("J_PP", "a text the file turns into a number");
    decode_mem(fixture_parametr(), vars);
    EXPECT_EQ(vars.number("J_POZIOM"), 3);
    EXPECT_TRUE(vars.logical("J_ZAOKRAGL"));
    EXPECT_EQ(vars.text("J_RD"), "FV ");
    EXPECT_EQ(vars.number("J_PP"), 1);
    EXPECT_EQ(vars.entries().size(), 4u + 17u);  // 3 of the 20 stored replaced existing ones
}

TEST(MemFileRead, WrittenBackByteForByte) {
    const std::string original = fixture_parametr();
    Memvars vars;
    decode_mem(original, vars);
    EXPECT_EQ(encode_mem(vars, "J_"), original);
}

TEST(MemFileRead, EntriesOfEveryTypeIncludingTypeLettersWithoutTheTopBit) {
    const std::string bytes = entry("J_A", 0xC3, 6, 0, std::string("Hello\0", 6)) +
                              entry("J_N", 'N', 12, 1, le_double(12.5)) +
                              entry("J_D", 0xC4, 1, 0, le_double(2451545.0)) +
                              entry("J_E", 0xC4, 1, 0, le_double(0.0)) +
                              entry("j_l", 'L', 1, 0, std::string("\x01", 1)) +
                              entry("J_EMPTY", 0xC3, 1, 0, std::string("\0", 1)) + "\x1A";
    Memvars vars;
    MemFileResult r = decode_mem(bytes, vars);
    EXPECT_TRUE(r.ok()) << r.problem;
    EXPECT_EQ(r.variables, 6);
    EXPECT_EQ(vars.text("J_A"), "Hello");
    EXPECT_EQ(vars.number("J_N"), 12.5);
    EXPECT_EQ(vars.date("J_D"), Date::from_ymd(2000, 1, 1));
    EXPECT_TRUE(vars.date("J_E").empty());
    EXPECT_TRUE(vars.logical("J_L"));
    ASSERT_TRUE(vars.has("J_EMPTY"));
    EXPECT_EQ(vars.text("J_EMPTY"), "");
}

TEST(MemFileRead, ByteTenAlwaysEndsTheName) {
    std::string e = entry("J_ABCDEFGH", 0xCC, 1, 0, std::string("\x00", 1));
    e[10] = 'X';
    Memvars vars;
    EXPECT_TRUE(decode_mem(e + "\x1A", vars).ok());
    EXPECT_TRUE(vars.has("J_ABCDEFGH"));
}

TEST(MemFileCorrupt, TruncatedFileKeepsWhatCameBeforeTheCut) {
    const std::string original = fixture_parametr();
    // Every shorter file is damaged: an entry is cut or the end byte is gone.
    for (size_t len = 0; len < original.size(); ++len) {
        Memvars vars;
        vars.set_number("J_POZIOM", 1);
        MemFileResult r = decode_mem(std::string_view(original).substr(0, len), vars);
        EXPECT_FALSE(r.ok()) << len;
        EXPECT_LE(r.variables, 20) << len;
        if (len < 0x1D5)  // J_POZIOM's entry ends at byte 0x1D5
            EXPECT_EQ(vars.number("J_POZIOM"), 1) << len;
        else
            EXPECT_EQ(vars.number("J_POZIOM"), 3) << len;
    }
}

TEST(MemFileCorrupt, EachKindOfDamageIsNamed) {
    const std::string good = entry("J_OK", 0xC3, 2, 0, std::string("A\0", 2));
    struct Case {
        std::string bytes;
        std::string problem;
        int variables;
    } cases[] = {
        {"", "pusty plik", 0},
        {good, "brak znaku konca pliku", 1},
        {good + entry("J_X", 0xC1, 1, 0, "?") + "\x1A", "nieznany typ zmiennej nr 2", 1},
        {good + entry("", 0xC3, 1, 0, std::string("\0", 1)) + "\x1A", "zla nazwa zmiennej nr 2", 1},
        {good + entry("J X", 0xC3, 1, 0, std::string("\0", 1)) + "\x1A", "zla nazwa zmiennej nr 2", 1},
        {good + entry("1_X", 0xC3, 1, 0, std::string("\0", 1)) + "\x1A", "zla nazwa zmiennej nr 2", 1},
        {good + entry("J_T", 0xC3, 0x10, 0x27, "short") + "\x1A", "urwana zmienna nr 2", 1},
        {good + std::string(20, 'J'), "urwana zmienna nr 2", 1},
        {entry("J_N", 0xCE, 10, 0, le_double(std::numeric_limits<double>::quiet_NaN())) + good + "\x1A",
         "zla wartosc J_N", 1},
        {entry("J_D", 0xC4, 1, 0, le_double(-5)) + good + "\x1A", "zla wartosc J_D", 1},
        {entry("J_D", 0xC4, 1, 0, le_double(1e300)) + good + "\x1A", "zla wartosc J_D", 1},
    };
    for (const Case& c : cases) {
        Memvars vars;
        MemFileResult r = decode_mem(c.bytes, vars);
        EXPECT_EQ(r.problem, c.problem) << c.problem;
        EXPECT_EQ(r.variables, c.variables) << c.problem;
        EXPECT_EQ(vars.text("J_OK"), c.variables ? "A" : "") << c.problem;
    }
}

TEST(MemFileCorrupt, DamagedBytesAnywhereNeverBreakTheReader) {
    const std::string original = fixture_parametr();
    int damaged_reports = 0;
    for (size_t at = 0; at < original.size(); ++at) {
        for (unsigned char b : {0x00, 0x1A, 0x7F, 0xFF}) {
            std::string bytes = original;
            if (static_cast<unsigned char>(bytes[at]) == b) continue;
            bytes[at] = static_cast<char>(b);
            Memvars vars;
            MemFileResult r = decode_mem(bytes, vars);
            EXPECT_LE(r.variables, 20);
            EXPECT_LE(static_cast<int>(vars.entries().size()), r.variables);
            if (!r.ok()) ++damaged_reports;
        }
    }
    EXPECT_GT(damaged_reports, 0);
}

TEST(MemFileWrite, EveryTypeAsTheOtherProgramsWriteIt) {
    Memvars vars;
    vars.set_text("J_A", "Hello");
    vars.set_number("J_N1", 12.5, 12, 1);
    vars.set_number("J_N2", 100);
    vars.set_date("J_D", Date::from_ymd(2000, 1, 1));
    vars.set_logical("J_L", true);
    vars.set_text("M_LPT", "not saved: another prefix");
    const std::string expected = entry("J_A", 0xC3, 6, 0, std::string("Hello\0", 6)) +
                                 entry("J_N1", 0xCE, 12, 1, std::string("\0\0\0\0\0\0\x29\x40", 8)) +
                                 entry("J_N2", 0xCE, 10, 0, le_double(100)) +
                                 entry("J_D", 0xC4, 1, 0, std::string("\0\0\0\x80\x2C\xB4\x42\x41", 8)) +
                                 entry("J_L", 0xCC, 1, 0, "\x01") + "\x1A";
    EXPECT_EQ(encode_mem(vars, "J_"), expected);
    EXPECT_EQ(encode_mem(Memvars{}, "J_"), "\x1A");
}

TEST(MemFileWrite, LongTextIsCutToWhatTheLengthFieldHolds) {
    Memvars vars;
    vars.set_text("J_LONG", std::string(70000, 'x'));
    const std::string bytes = encode_mem(vars, "");
    EXPECT_EQ(bytes.size(), 32u + 65535u + 1u);
    EXPECT_EQ(static_cast<unsigned char>(bytes[16]), 0xFF);
    EXPECT_EQ(static_cast<unsigned char>(bytes[17]), 0xFF);
    Memvars back;
    EXPECT_TRUE(decode_mem(bytes, back).ok());
    EXPECT_EQ(back.text("J_LONG").size(), 65534u);
}

TEST(MemFileDisk, SavedFileIsRestoredUnderEitherCase) {
    test::TempFolder folder;
    test::CurrentFolder here(folder.path());
    Memvars vars;
    vars.set_text("J_VAT", "23");
    vars.set_number("J_PAPIER", 10);
    EXPECT_EQ(write_mem_file("parametr.mem", vars, "J_"), 2);
    EXPECT_TRUE(std::filesystem::exists(folder.path() / "parametr.mem"));

    Memvars back;
    MemFileResult r = restore_mem_file("PARAMETR.MEM", back);
    EXPECT_TRUE(r.ok()) << r.problem;
    EXPECT_EQ(back.text("J_VAT"), "23");
    EXPECT_EQ(back.number("J_PAPIER"), 10);
}

TEST(MemFileDisk, UnreadableFileIsReportedUnwritableOneIsAnError) {
    test::TempFolder folder;
    test::CurrentFolder here(folder.path());
    Memvars vars;
    vars.set_text("J_VAT", "23");
    MemFileResult r = restore_mem_file("PARAMETR.MEM", vars);
    EXPECT_FALSE(r.ok());
    EXPECT_EQ(vars.text("J_VAT"), "23");

    std::filesystem::create_directory(folder.path() / "parametr.mem");
    EXPECT_FALSE(restore_mem_file("PARAMETR.MEM", vars).ok());
    EXPECT_THROW(write_mem_file("brak\\parametr.mem", vars, "J_"), DbError);
}

}  // namespace
}  // namespace durva
