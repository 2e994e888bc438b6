#include <curses.h>
#include <gtest/gtest.h>

#include "platform/key_codes.h"
#include "platform/key_decoder.h"
#include "platform/utf8.h"

namespace durva::platform {

TEST(KeyDecoder, LibraryKeyCodesBecomeXbaseCodes) {
    EXPECT_EQ(xbase_from_curses_key(KEY_UP), 5);
    EXPECT_EQ(xbase_from_curses_key(KEY_DOWN), 24);
    EXPECT_EQ(xbase_from_curses_key(KEY_LEFT), 19);
    EXPECT_EQ(xbase_from_curses_key(KEY_RIGHT), 4);
    EXPECT_EQ(xbase_from_curses_key(KEY_HOME), 1);
    EXPECT_EQ(xbase_from_curses_key(KEY_END), 6);
    EXPECT_EQ(xbase_from_curses_key(KEY_PPAGE), 18);
    EXPECT_EQ(xbase_from_curses_key(KEY_NPAGE), 3);
    EXPECT_EQ(xbase_from_curses_key(KEY_IC), 22);
    EXPECT_EQ(xbase_from_curses_key(KEY_DC), 7);
    EXPECT_EQ(xbase_from_curses_key(KEY_BACKSPACE), 8);
    EXPECT_EQ(xbase_from_curses_key(KEY_BTAB), 271);
    EXPECT_EQ(xbase_from_curses_key(KEY_ENTER), 13);
    EXPECT_EQ(xbase_from_curses_key(KEY_MOUSE), 0);
}

TEST(KeyDecoder, FunctionKeysWithAndWithoutModifiers) {
    EXPECT_EQ(xbase_from_curses_key(KEY_F(1)), 28);
    EXPECT_EQ(xbase_from_curses_key(KEY_F(2)), -1);
    EXPECT_EQ(xbase_from_curses_key(KEY_F(4)), -3);
    EXPECT_EQ(xbase_from_curses_key(KEY_F(10)), -9);
    EXPECT_EQ(xbase_from_curses_key(KEY_F(11)), -40);
    EXPECT_EQ(xbase_from_curses_key(KEY_F(12)), -41);
    EXPECT_EQ(xbase_from_curses_key(KEY_F(13)), -10);  // Shift-F1
    EXPECT_EQ(xbase_from_curses_key(KEY_F(22)), -19);  // Shift-F10
    EXPECT_EQ(xbase_from_curses_key(KEY_F(25)), -20);  // Ctrl-F1
    EXPECT_EQ(xbase_from_curses_key(KEY_F(49)), -30);  // Alt-F1
    EXPECT_EQ(xbase_from_curses_key(KEY_F(23)), 0);    // Shift-F11: no code
}

TEST(KeyDecoder, ControlBytesAreKeysAndTheRestIsTyped) {
    EXPECT_EQ(key_from_char(3).code, Key::PgDn);  // Ctrl-C does not break the program off
    EXPECT_EQ(key_from_char(13).code, Key::Enter);
    EXPECT_EQ(key_from_char(9).code, Key::Tab);
    EXPECT_EQ(key_from_char(8).code, Key::Backspace);
    EXPECT_EQ(key_from_char(127).code, Key::Backspace);
    EXPECT_EQ(key_from_char(25).code, ctrl_key('Y'));
    EXPECT_EQ(key_from_char(27).code, Key::Esc);
    // Ctrl-\ must not pass for F1 (28).
    auto fs = key_from_char(28);
    EXPECT_EQ(fs.code, 0);
    EXPECT_EQ(fs.ch, 0u);
    auto a = key_from_char(U'a');
    EXPECT_EQ(a.code, 0);
    EXPECT_EQ(a.ch, U'a');
    EXPECT_EQ(key_from_char(U'ż').ch, U'ż');
}

TEST(KeyDecoder, EscPrefixGivesAltKeys) {
    EXPECT_EQ(alt_with_char(U'k'), 293);
    EXPECT_EQ(alt_with_char(U'K'), 293);
    EXPECT_EQ(alt_with_char(U'p'), 281);
    EXPECT_EQ(alt_with_char(U'a'), 286);
    EXPECT_EQ(alt_with_char(U'z'), 300);
    EXPECT_EQ(alt_with_char(U'm'), 306);
    EXPECT_EQ(alt_with_char(U'1'), 376);
    EXPECT_EQ(alt_with_char(U'0'), 385);
    EXPECT_EQ(alt_with_char(U'['), 0);
    EXPECT_EQ(alt_with_key(Key::F1), -30);
    EXPECT_EQ(alt_with_key(Key::F10), -39);
    EXPECT_EQ(alt_with_key(Key::Up), 0);
}

TEST(KeyDecoder, SequencesForCtrlCursorKeys) {
    EXPECT_EQ(xbase_from_sequence("\033[1;5D"), Key::CtrlLeft);
    EXPECT_EQ(xbase_from_sequence("\033[1;5C"), Key::CtrlRight);
    EXPECT_EQ(xbase_from_sequence("\033[1;5H"), Key::CtrlHome);
    EXPECT_EQ(xbase_from_sequence("\033[1;5F"), Key::CtrlEnd);
    EXPECT_EQ(xbase_from_sequence("\033[5;5~"), Key::CtrlPgUp);
    EXPECT_EQ(xbase_from_sequence("\033[6;5~"), Key::CtrlPgDn);
    EXPECT_EQ(xbase_from_sequence("\033[Z"), Key::ShiftTab);
    EXPECT_EQ(xbase_from_sequence("\033[15~"), Key::F5);
    EXPECT_EQ(xbase_from_sequence("\033[x"), 0);
    EXPECT_EQ(xbase_from_key_name("kLFT5"), 26);
    EXPECT_EQ(xbase_from_key_name("kRIT5"), 2);
    EXPECT_EQ(xbase_from_key_name("kPRV5"), 31);
    EXPECT_EQ(xbase_from_key_name("kNXT5"), 30);
    EXPECT_EQ(xbase_from_key_name("kHOM5"), 29);
    EXPECT_EQ(xbase_from_key_name("kEND5"), 23);
    EXPECT_EQ(xbase_from_key_name("kUP3"), 0);
    // Every sequence taught to the library starts with Esc and is listed once.
    for (std::size_t i = 0; i < known_sequences().size(); ++i) {
        const auto& s = known_sequences()[i];
        EXPECT_EQ(s.sequence.front(), '\033');
        for (std::size_t j = i + 1; j < known_sequences().size(); ++j)
            EXPECT_NE(s.sequence, known_sequences()[j].sequence);
    }
}

TEST(KeyDecoder, SequencesAreReadToTheirEndKnownOrNot) {
    using S = SequenceState;
    const struct {
        std::u32string after_esc;
        SequenceState state;
    } cases[] = {
        {U"", S::Partial},          {U"[", S::Partial},         {U"[1;5", S::Partial},
        {U"[1;5D", S::Complete},    {U"[99~", S::Complete},     {U"[200~", S::Complete},
        {U"[Z", S::Complete},       {U"O", S::Partial},         {U"OP", S::Complete},
        {U"[[", S::Partial},        {U"[[A", S::Complete},      {U"[1\u20AC", S::Complete},
        {U"k", S::NotASequence},    {U"5", S::NotASequence},    {U"\u0416", S::NotASequence},
        {U"[1111111111111111", S::Complete},
    };
    for (const auto& c : cases) EXPECT_EQ(sequence_state(c.after_esc), c.state) << c.after_esc.size();
}

TEST(Utf8, RoundTripAndMalformedBytes) {
    std::string s;
    for (char32_t ch : {U'A', U'ł', U'═', U'\U0001F600'}) append_utf8(s, ch);
    EXPECT_EQ(s, "Ał═\xF0\x9F\x98\x80");
    EXPECT_EQ(decode_utf8(s), U"Ał═\U0001F600");
    // A lone continuation byte, a cut sequence and an overlong form each give one U+FFFD.
    EXPECT_EQ(decode_utf8("a\x80" "b"), U"a\uFFFDb");
    EXPECT_EQ(decode_utf8("a\xC5"), U"a\uFFFD");
    EXPECT_EQ(decode_utf8("\xC0\xAF"), U"\uFFFD\uFFFD");
}

}  // namespace durva::platform
