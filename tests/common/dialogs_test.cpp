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

// The top row of the dialog window: the row of its top-left corner.
int window_top(const HeadlessSession& h) {
    for (int r = 0; r < 25; ++r)
        if (h.utf8(r, 30, 1) == "╔") return r;
    return -1;
}

// True when the window's frame stands whole from `top` to row 19 and the
// columns beside it still show what was under it.
bool framed(const HeadlessSession& h, int top) {
    if (h.utf8(top, 72, 1) != "╗" || h.utf8(19, 30, 1) != "╚" || h.utf8(19, 72, 1) != "╝") return false;
    for (int r = top + 1; r < 19; ++r)
        if (h.utf8(r, 30, 1) != "║" || h.utf8(r, 72, 1) != "║") return false;
    for (int r = top; r <= 19; ++r)
        if (h.text(r, 29, 1) != "." || h.text(r, 73, 1) != ".") return false;
    return true;
}

// The text inside the window on rows `from` to `to`: each row without the
// blanks around it, the rows joined by one blank.
std::string window_text(const HeadlessSession& h, int from, int to) {
    std::string out;
    for (int r = from; r <= to; ++r) {
        const std::string row = h.text(r, 31, 41);
        const auto first = row.find_first_not_of(' ');
        if (first == std::string::npos) continue;
        if (!out.empty()) out += ' ';
        out += row.substr(first, row.find_last_not_of(' ') - first + 1);
    }
    return out;
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

TEST(MessageWindow, FortyOneCharactersFillTheInsideLongerOnesAreWrappedInsideIt) {
    HeadlessSession h;
    const std::string fits(41, 'a');
    _OKNO_(h.session, fits, "...");
    EXPECT_EQ(h.text(17, 31, 41), fits);
    EXPECT_EQ(h.utf8(17, 30, 1), "║");
    EXPECT_EQ(h.utf8(17, 72, 1), "║");

    struct Case {
        std::string text;
        int top;  // the window's top row
    };
    // Eight lines: six of words (the first exactly 41 wide), then a word
    // wider than the window cut into two. The window grows upwards.
    std::string very_long;
    for (int i = 0; i < 30; ++i) very_long += "slowo" + std::to_string(i) + " ";
    very_long += std::string(50, 'z');
    std::string very_long_shown = very_long;
    very_long_shown.insert(very_long_shown.size() - 9, " ");
    const Case cases[] = {
        {"Koncze przerwane ksiegowanie sprzedazy stacji 05 - 40%", 15},
        {"Dokonczone ksiegowanie stacji 05: SD 58 na kwote 1234567.89, bez towaru 12", 15},
        {very_long, 10},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        HeadlessSession l;
        fill_background(l);
        const auto before = l.screen.save_all();
        l.terminal.set_idle_limit_ms(500);
        EXPECT_THROW(_OKNO_(l.session, c.text), platform::ScriptExhausted);  // looked at while shown
        EXPECT_EQ(window_top(l), c.top);
        EXPECT_TRUE(framed(l, c.top)) << "text over the frame";
        EXPECT_EQ(window_text(l, c.top + 1, 18), c.text == very_long ? very_long_shown : c.text);

        // Gone after its second, and all it covered is back.
        HeadlessSession gone;
        fill_background(gone);
        _OKNO_(gone.session, c.text);
        const auto after = gone.screen.save_all();
        for (std::size_t i = 0; i < before.cells.size(); ++i) ASSERT_EQ(after.cells[i].ch, before.cells[i].ch) << i;
    }
}

TEST(YesNoQuestion, ALongQuestionIsWrappedAboveTheAnswer) {
    const std::string q = "Sprzedaz z tego ksiegowania jest w durva\\data_out.xxx. Ksiegowac ja ponownie ?";
    HeadlessSession look;
    fill_background(look);
    EXPECT_THROW(OKNO(look.session, q, "N"), platform::ScriptExhausted);
    // Three lines ending on row 17 ("?" alone on the last): the window grows by a row.
    EXPECT_EQ(window_top(look), 14);
    EXPECT_TRUE(framed(look, 14));
    EXPECT_EQ(window_text(look, 15, 17), q);
    EXPECT_EQ(look.text(17, 51, 1), "?");
    EXPECT_EQ(look.utf8(18, 37, 3), "┌──");  // the answer's frame is whole
    EXPECT_EQ(look.text(19, 38, 15), "      [T/N]  ? ");
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
