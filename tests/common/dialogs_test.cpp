#include <gtest/gtest.h>

#include <string>

#include "common/_fun1.h"
#include "common/_fun2.h"
#include "support/headless_session.h"

namespace durva::testing {

namespace {

constexpr std::uint8_t kBlackOnWhite = 0x70, kBrightWhite = 0x0F, kBrightWhiteOnRed = 0x4F;

// Fills the screen with a pattern so that what a window leaves behind shows.
void fill_background(HeadlessSession& h) {
    for (int r = 0; r < 25; ++r) h.screen.say(r, 0, std::string(80, '.'), "G/N");
    h.screen.set_colour("");
}

}  // namespace

TEST(YesNoQuestion, EnterAcceptsOnlyANonBlankDefault) {
    HeadlessSession h({Key::Enter, Key::Esc, 'n'});
    EXPECT_FALSE(OKNO(h.session, "Kasowac ?", " "));  // Enter and Esc ignored, 'n' answers
    EXPECT_EQ(h.terminal.steps_left(), 0u);

    HeadlessSession d({Key::Enter});
    EXPECT_TRUE(OKNO(d.session, "Skasowac plik durva\\as2000.dbf ?", "T"));

    HeadlessSession n({Key::Enter});
    EXPECT_FALSE(OKNO(n.session, "Pytanie ?", "N"));

    // Enter keeps the default as given: only a capital T is yes.
    HeadlessSession lower({Key::Enter});
    EXPECT_FALSE(OKNO(lower.session, "Pytanie ?", "t"));
    EXPECT_EQ(lower.terminal.steps_left(), 0u);

    HeadlessSession t({'x', Key::F4, 't'});
    EXPECT_TRUE(OKNO(t.session, "Kasa gotowa do transmisji ?", " "));
}

TEST(YesNoQuestion, AutoFlagAnswersYesWithoutShowing) {
    HeadlessSession h;
    EXPECT_TRUE(OKNO(h.session, "Pytanie ?", " ", "T"));
    EXPECT_EQ(h.text(17, 31, 41), std::string(41, ' '));
    HeadlessSession n({'N'});
    EXPECT_FALSE(OKNO(n.session, "Pytanie ?", " ", "N"));  // any other flag asks
}

TEST(YesNoQuestion, LayoutRowsColumnsAndColours) {
    const std::string q = "Kasa gotowa do transmisji ?";  // 27 characters
    // No keys: the question is looked at while it waits for one.
    HeadlessSession look;
    look.screen.set_colour("W+/B");
    EXPECT_THROW(OKNO(look.session, q, " "), platform::ScriptExhausted);
    // The large double frame over rows 15-19, columns 30-72, black on white.
    std::string top = "╔";
    for (int i = 0; i < 41; ++i) top += "═";
    EXPECT_EQ(look.utf8(15, 30, 43), top + "╗");
    EXPECT_EQ(look.utf8(16, 30, 1), "║");
    EXPECT_EQ(look.utf8(17, 72, 1), "║");
    EXPECT_EQ(look.attr(15, 30), kBlackOnWhite);
    EXPECT_EQ(look.attr(16, 72), kBlackOnWhite);
    // The question centred on row 17: 31 + (41 - 27) / 2 = 38.
    EXPECT_EQ(look.text(17, 38, 27), q);
    EXPECT_EQ(look.attr(17, 38), kBrightWhite);
    EXPECT_EQ(look.text(17, 31, 7), "       ");
    EXPECT_EQ(look.attr(17, 31), 0x07);  // the inside cleared in the default colour
    // The small single frame over rows 18-20, columns 37-65, default colour.
    EXPECT_EQ(look.utf8(18, 37, 1), "┌");
    EXPECT_EQ(look.utf8(18, 65, 1), "┐");
    EXPECT_EQ(look.utf8(20, 37, 1), "└");
    EXPECT_EQ(look.utf8(20, 65, 1), "┘");
    EXPECT_EQ(look.utf8(19, 37, 1), "│");
    EXPECT_EQ(look.attr(18, 37), 0x07);
    EXPECT_EQ(look.utf8(19, 30, 1), "╚");  // the large frame's bottom outside the small one
    // The answer line.
    EXPECT_EQ(look.text(19, 38, 15), "      [T/N]  ? ");
    EXPECT_EQ(look.attr(19, 38), 0x07);
    EXPECT_EQ(look.text(19, 53, 1), " ");
    EXPECT_EQ(look.attr(19, 53), kBrightWhiteOnRed);
    EXPECT_EQ(look.terminal.cursor_row(), 19);
    EXPECT_EQ(look.terminal.cursor_col(), 53);
    EXPECT_TRUE(look.terminal.cursor_visible());
}

TEST(YesNoQuestion, MonochromeDefaultAnswerIsBlackOnWhite) {
    HeadlessSession h({}, false);
    EXPECT_THROW(OKNO(h.session, "Pytanie ?", "T"), platform::ScriptExhausted);
    EXPECT_EQ(h.text(19, 53, 1), "T");
    EXPECT_EQ(h.attr(19, 53), kBlackOnWhite);
}

TEST(YesNoQuestion, RestoresScreenColourAndCursorButLeavesItShown) {
    HeadlessSession h({'T'});
    fill_background(h);
    const auto before = h.screen.save_all();
    h.screen.set_colour("W+/B,R/G");
    h.screen.show_cursor(false);
    h.screen.set_cursor(3, 7);
    EXPECT_TRUE(OKNO(h.session, "Pytanie ?", " "));
    const auto after = h.screen.save_all();
    for (std::size_t i = 0; i < before.cells.size(); ++i) {
        ASSERT_EQ(after.cells[i].ch, before.cells[i].ch) << i;
        ASSERT_EQ(after.cells[i].attr, before.cells[i].attr) << i;
    }
    EXPECT_EQ(h.screen.colours().standard, 0x1F);
    EXPECT_EQ(h.screen.colours().enhanced, 0x24);
    EXPECT_EQ(h.screen.row(), 3);
    EXPECT_EQ(h.screen.col(), 7);
    EXPECT_TRUE(h.screen.cursor_visible());
}

TEST(MessageWindow, OneArgumentShowsForOneSecondOrUntilAKey) {
    HeadlessSession h;
    fill_background(h);
    const auto before = h.screen.save_all();
    EXPECT_TRUE(_OKNO_(h.session, "Problem z plikiem durva\\durva.DBF"));
    EXPECT_EQ(h.clock.now_ms(), 1000);
    const auto after = h.screen.save_all();
    for (std::size_t i = 0; i < before.cells.size(); ++i) ASSERT_EQ(after.cells[i].ch, before.cells[i].ch) << i;

    // While it waits: the ordinary colours, never the warning ones.
    HeadlessSession look;
    look.terminal.set_idle_limit_ms(500);
    EXPECT_THROW(_OKNO_(look.session, "abc"), platform::ScriptExhausted);
    EXPECT_EQ(look.attr(15, 30), kBlackOnWhite);
    EXPECT_EQ(look.attr(19, 72), kBlackOnWhite);
    EXPECT_EQ(look.text(17, 50, 3), "abc");
    EXPECT_EQ(look.attr(17, 50), kBrightWhite);

    // A key during the wait ends it at once and is not passed on.
    HeadlessSession k({ScriptStep::silence(200), 'x', 'y'});
    _OKNO_(k.session, "Tekst");
    EXPECT_EQ(k.clock.now_ms(), 200);
    EXPECT_EQ(k.screen.inkey(0), 'y');
}

TEST(MessageWindow, ModesPickColoursAndWaits) {
    // Mode 1: one second.
    HeadlessSession one;
    _OKNO_(one.session, "abc", 1.0);
    EXPECT_EQ(one.clock.now_ms(), 1000);
    // Mode 0: red frame, yellow text, until a key, however long.
    HeadlessSession zero;
    zero.terminal.set_idle_limit_ms(10'000);
    EXPECT_THROW(_OKNO_(zero.session, "Czekam", 0.0), platform::ScriptExhausted);
    EXPECT_EQ(zero.attr(15, 30), kBrightWhiteOnRed);
    EXPECT_EQ(zero.attr(17, 48), 0x0E);
    EXPECT_EQ(zero.text(17, 48, 6), "Czekam");

    HeadlessSession zk({ScriptStep::silence(90'000), Key::Esc});
    _OKNO_(zk.session, "Czekam", 0.0);
    EXPECT_EQ(zk.clock.now_ms(), 90'000);

    // Any key ends the wait, one that means nothing to the program too, and
    // none of them is passed on.
    for (ScriptStep key : {ScriptStep(U'€'), ScriptStep(U'Ж'), ScriptStep(0)}) {
        for (double mode : {0.0, 5.0}) {
            HeadlessSession any({ScriptStep::silence(300), key, 'y'});
            _OKNO_(any.session, "Czekam", mode);
            EXPECT_EQ(any.clock.now_ms(), 300) << mode;
            EXPECT_EQ(any.screen.inkey(0), 'y') << mode;
        }
        HeadlessSession plain({ScriptStep::silence(300), key, 'y'});
        _OKNO_(plain.session, "Czekam");
        EXPECT_EQ(plain.clock.now_ms(), 300);
    }

    // Mode 3: red frame, bright red text, three seconds.
    HeadlessSession three;
    _OKNO_(three.session, "Zmien okres obrachunkowy lub date", 3);
    EXPECT_EQ(three.clock.now_ms(), 3000);
    HeadlessSession three_look;
    three_look.terminal.set_idle_limit_ms(1000);
    EXPECT_THROW(_OKNO_(three_look.session, "Zmien okres obrachunkowy lub date", 3), platform::ScriptExhausted);
    EXPECT_EQ(three_look.attr(19, 72), kBrightWhiteOnRed);
    EXPECT_EQ(three_look.attr(17, 35), 0x0C);
}

TEST(MessageWindow, OrdinaryColoursForModeOne) {
    HeadlessSession h;
    h.terminal.set_idle_limit_ms(500);
    EXPECT_THROW(_OKNO_(h.session, "abc", 1.0), platform::ScriptExhausted);
    EXPECT_EQ(h.attr(15, 30), kBlackOnWhite);
    EXPECT_EQ(h.attr(17, 50), kBrightWhite);
    EXPECT_EQ(h.text(17, 50, 3), "abc");
}

TEST(MessageWindow, CharacterModeStaysAndReturnsAtOnce) {
    HeadlessSession h;
    h.screen.set_colour("R/B");
    h.screen.set_cursor(2, 2);
    EXPECT_TRUE(_OKNO_(h.session, "PROSZE CZEKAC", "..."));
    EXPECT_EQ(h.clock.now_ms(), 0);
    EXPECT_EQ(h.text(17, 45, 13), "PROSZE CZEKAC");  // 31 + (41 - 13) / 2
    EXPECT_EQ(h.attr(17, 45), kBrightWhite);
    EXPECT_EQ(h.attr(15, 30), kBlackOnWhite);
    EXPECT_EQ(h.screen.colours().standard, 0x14);
    EXPECT_EQ(h.screen.row(), 2);
}

TEST(MessageWindow, FortyOneCharactersFillTheInsideLongerRunsOver) {
    HeadlessSession h;
    const std::string fits(41, 'a');
    _OKNO_(h.session, fits, "...");
    EXPECT_EQ(h.text(17, 31, 41), fits);
    EXPECT_EQ(h.utf8(17, 30, 1), "║");
    EXPECT_EQ(h.utf8(17, 72, 1), "║");

    // 45 characters start at 31 + (41 - 45) / 2 = 29, over both frame sides,
    // and what fell outside columns 30 to 72 stays after the window goes.
    HeadlessSession l;
    const std::string longer(45, 'b');
    _OKNO_(l.session, longer);
    EXPECT_EQ(l.text(17, 29, 1), "b");
    EXPECT_EQ(l.text(17, 73, 1), "b");
    EXPECT_EQ(l.text(17, 30, 43), std::string(43, ' '));
}

TEST(MenuFrame, MainScreenFrame) {
    HeadlessSession h;
    EXPECT_TRUE(RAMKA(h.session, 3, 9, 14, 61, {6, 9, 12}));
    std::string half, line;
    for (int i = 0; i < 51; ++i) half += "▀", line += "─";
    EXPECT_EQ(h.utf8(4, 10, 51), half);
    EXPECT_EQ(h.utf8(3, 9, 1), "│");
    EXPECT_EQ(h.utf8(3, 61, 1), "│");
    EXPECT_EQ(h.text(3, 10, 51), std::string(51, ' '));  // the top row keeps only its sides
    EXPECT_EQ(h.utf8(4, 9, 1), "│");
    EXPECT_EQ(h.utf8(13, 61, 1), "│");
    EXPECT_EQ(h.utf8(14, 9, 53), "└" + line + "┘");
    for (int row : {6, 9, 12}) {
        EXPECT_EQ(h.utf8(row, 10, 51), line) << row;
        EXPECT_EQ(h.utf8(row, 9, 1), "│") << row;  // separators do not meet the sides
    }
    EXPECT_EQ(h.text(7, 10, 51), std::string(51, ' '));
    EXPECT_EQ(h.attr(14, 9), kBrightWhite);
    EXPECT_EQ(h.screen.colours().standard, kBrightWhite);  // "W+" stays in force
}

TEST(MenuFrame, AtMostFourSeparators) {
    HeadlessSession h;
    RAMKA(h.session, 0, 0, 10, 5, {2, 3, 4, 5, 6});
    EXPECT_EQ(h.utf8(5, 1, 1), "─");
    EXPECT_EQ(h.text(6, 1, 1), " ");
}

TEST(HighlightColours, ColourAndMonochrome) {
    HeadlessSession c;
    MONITOR(c.session);
    EXPECT_EQ(c.screen.colours().standard, 0x07);
    EXPECT_EQ(c.screen.colours().enhanced, 0x0F);
    MONITOR(c.session, false);  // any argument selects the highlight
    EXPECT_EQ(c.screen.colours().standard, 0x70);

    HeadlessSession m({}, false);
    MONITOR(m.session);
    EXPECT_EQ(m.screen.colours().standard, 0x01);
    EXPECT_EQ(m.screen.colours().enhanced, 0x09);
    MONITOR(m.session, true);
    EXPECT_EQ(m.screen.colours().standard, 0x09);
}

}  // namespace durva::testing
