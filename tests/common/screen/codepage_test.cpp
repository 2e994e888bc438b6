#include <gtest/gtest.h>

#include "common/screen/codepage.h"

namespace durva::screen {

struct PolishLetter {
    std::uint8_t byte;
    char32_t ch;
};

// The office code page's eighteen Polish letters.
constexpr PolishLetter kPolish[] = {
    {0x8F, U'Ą'}, {0x86, U'ą'}, {0x95, U'Ć'}, {0x8D, U'ć'}, {0x90, U'Ę'}, {0x91, U'ę'},
    {0x9C, U'Ł'}, {0x92, U'ł'}, {0xA5, U'Ń'}, {0xA4, U'ń'}, {0xA3, U'Ó'}, {0xA2, U'ó'},
    {0x98, U'Ś'}, {0x9E, U'ś'}, {0xA0, U'Ź'}, {0xA6, U'ź'}, {0xA1, U'Ż'}, {0xA7, U'ż'},
};

TEST(CodePage, PolishLettersBothWays) {
    for (const auto& p : kPolish) {
        EXPECT_EQ(to_unicode(p.byte), p.ch) << int(p.byte);
        auto back = from_unicode(p.ch);
        ASSERT_TRUE(back) << int(p.byte);
        EXPECT_EQ(*back, p.byte);
    }
}

TEST(CodePage, FramesSeparatorsAndBlocks) {
    EXPECT_EQ(to_utf8("\xDA\xC4\xBF\xB3\xD9\xC0"), "┌─┐│┘└");
    EXPECT_EQ(to_utf8("\xC9\xCD\xBB\xBA\xBC\xC8"), "╔═╗║╝╚");
    EXPECT_EQ(to_utf8("\xC2\xC1"), "┬┴");
    EXPECT_EQ(to_utf8("\xDF\xDC\xDB\xB0\xB1\xB2"), "▀▄█░▒▓");
    // The rest of the upper half as the DOS code page has it.
    EXPECT_EQ(to_unicode(0x81), U'ü');
    EXPECT_EQ(to_unicode(0xE1), U'ß');
    EXPECT_EQ(to_unicode(0xF8), U'°');
    EXPECT_EQ(to_unicode(0xFF), U'\u00A0');
}

TEST(CodePage, EveryByteRoundTripsThroughUnicode) {
    for (int b = 0x20; b < 0x100; ++b) {
        auto back = from_unicode(to_unicode(static_cast<std::uint8_t>(b)));
        if (b == 0x7F) continue;  // shown as ⌂, which is typed as nothing
        ASSERT_TRUE(back) << b;
        EXPECT_EQ(*back, b);
    }
    EXPECT_FALSE(from_unicode(U'€'));
    EXPECT_FALSE(from_unicode(U'å'));  // its byte holds ą here
}

TEST(CodePage, ControlBytesShowAsGlyphs) {
    EXPECT_EQ(to_unicode(0), U' ');
    EXPECT_EQ(to_unicode(1), U'☺');
    EXPECT_EQ(to_unicode(0x10), U'►');
}

TEST(CodePage, Utf8TextsBothWays) {
    const std::string bytes = "Przes\x9C" "anie \x86\x8D\x91\x92\xA4\xA2\x9E\xA6\xA7";
    EXPECT_EQ(to_utf8(bytes), "PrzesŁanie ąćęłńóśźż");
    EXPECT_EQ(from_utf8("PrzesŁanie ąćęłńóśźż"), bytes);
    EXPECT_EQ(from_utf8("cena 5€"), "cena 5?");
}

TEST(CodePage, UpperCaseKnowsThePolishLetters) {
    EXPECT_EQ(upper("za\xBF\xA2\x92\xA6 g\x91\x9El\x86 ja\xA7\xA4 \x8D"),
              "ZA\xBF\xA3\x9C\xA0 G\x90\x98L\x8F JA\xA1\xA5 \x95");
    EXPECT_EQ(upper(static_cast<std::uint8_t>('1')), '1');
    EXPECT_EQ(upper(static_cast<std::uint8_t>(0x9C)), 0x9C);
}

}  // namespace durva::screen
