#include <gtest/gtest.h>

#include "support/headless_session.h"

namespace durva::testing {

TEST(Screen, SayWritesInTheStandardColourAndCutsAtColumn79) {
    HeadlessSession h;
    h.screen.set_colour("W+/B,N/W");
    h.screen.say(3, 76, "abcdefgh");
    EXPECT_EQ(h.text(3, 76, 4), "abcd");
    EXPECT_EQ(h.text(4, 0, 4), "    ");  // nothing ran over to the next row
    EXPECT_EQ(h.attr(3, 76), 0x1F);
    EXPECT_EQ(h.screen.row(), 3);
    EXPECT_EQ(h.screen.col(), 79);

    h.screen.say(5, 10, "ab");
    EXPECT_EQ(h.screen.col(), 12);
    h.screen.say(6, 0, "x", "R+/N");
    EXPECT_EQ(h.attr(6, 0), 0x0C);
    EXPECT_EQ(h.screen.colours().standard, 0x1F);  // the one-off colour is not kept
}

TEST(Screen, BellCharactersAreDroppedSilently) {
    HeadlessSession h;
    h.screen.say(0, 0, "a\x07" "b");
    EXPECT_EQ(h.text(0, 0, 3), "ab ");
    EXPECT_EQ(h.screen.col(), 2);
    h.screen.out("\x07" "c");
    EXPECT_EQ(h.text(0, 0, 3), "abc");
    EXPECT_TRUE(h.terminal.tones().empty());
}

TEST(Screen, ClearUsesTheDefaultColourAndHomesTheCursor) {
    HeadlessSession h;
    h.screen.set_colour("W+/R");
    h.screen.say(10, 10, "x");
    h.screen.clear();
    EXPECT_EQ(h.text(10, 10, 1), " ");
    EXPECT_EQ(h.attr(10, 10), 0x07);
    EXPECT_EQ(h.screen.row(), 0);
    EXPECT_EQ(h.screen.col(), 0);
    h.screen.clear_rect(2, 3, 4, 5);
    EXPECT_EQ(h.attr(3, 4), 0x4F);  // a rectangle is cleared in the standard colour
    EXPECT_EQ(h.attr(3, 6), 0x07);
}

TEST(Screen, FramesAndLines) {
    HeadlessSession h;
    h.screen.frame(1, 2, 3, 6, screen::FrameStyle::Double);
    EXPECT_EQ(h.utf8(1, 2, 5), "╔═══╗");
    EXPECT_EQ(h.utf8(2, 2, 5), "║   ║");
    EXPECT_EQ(h.utf8(3, 2, 5), "╚═══╝");
    h.screen.say(6, 0, "xxxxx");
    h.screen.frame(6, 1, 6, 3, screen::FrameStyle::Single);  // one row: a line of the top character
    EXPECT_EQ(h.utf8(6, 0, 5), "x───x");
    h.screen.frame(8, 5, 10, 5, screen::FrameStyle::Double);  // one column: the side character
    EXPECT_EQ(h.utf8(9, 5, 1), "║");
    EXPECT_EQ(h.utf8(10, 5, 1), "║");
}

TEST(Screen, SaveAndRestoreARectangleAndTheWholeScreen) {
    HeadlessSession h;
    h.screen.say(5, 5, "abcdef", "W+/R");
    auto part = h.screen.save(5, 6, 5, 8);
    auto all = h.screen.save_all();
    h.screen.clear();
    h.screen.restore(part);
    EXPECT_EQ(h.text(5, 4, 7), "  bcd  ");
    EXPECT_EQ(h.attr(5, 6), 0x4F);
    EXPECT_EQ(h.attr(5, 5), 0x07);
    h.screen.clear();
    h.screen.restore(all);
    EXPECT_EQ(h.text(5, 5, 6), "abcdef");
    h.screen.restore(screen::SavedRect{});  // an empty save changes nothing
    EXPECT_EQ(h.text(5, 5, 6), "abcdef");
}

TEST(Screen, ConsoleOutputWrapsAndScrolls) {
    HeadlessSession h;
    h.screen.say(0, 0, "top");
    h.screen.set_cursor(23, 0);
    h.screen.out("S;D;1;1;7;\r\nH;1;01;Dzial 1;0;A;1000;00;\r\nH;1;02");
    EXPECT_EQ(h.text(22, 0, 10), "S;D;1;1;7;");
    EXPECT_EQ(h.text(23, 0, 26), "H;1;01;Dzial 1;0;A;1000;00");
    EXPECT_EQ(h.text(24, 0, 6), "H;1;02");
    EXPECT_EQ(h.screen.row(), 24);
    EXPECT_EQ(h.screen.col(), 6);
    h.screen.set_cursor(24, 78);
    h.screen.out("abc");
    EXPECT_EQ(h.text(23, 78, 2), "ab");
    EXPECT_EQ(h.text(24, 0, 1), "c");
}

TEST(Screen, ColourStringIsKeptWholeAndRestored) {
    HeadlessSession h;
    EXPECT_EQ(h.screen.colour(), "W/N,N/W,N/N,N/N,N/W");
    const std::string before = h.screen.set_colour("W/N,N/W,,,W+/N");
    EXPECT_EQ(before, "W/N,N/W,N/N,N/N,N/W");
    const std::string mid = h.screen.set_colour("W+");
    EXPECT_EQ(h.screen.colours().standard, 0x0F);
    EXPECT_EQ(h.screen.colours().unselected, 0x0F);
    h.screen.set_colour(mid);
    EXPECT_EQ(h.screen.colour(), "W/N,N/W,N/N,N/N,W+/N");
}

TEST(Screen, TypeAheadComesBeforeTheKeyboard) {
    HeadlessSession h({'x'});
    h.screen.put_key(Key::Right);
    h.screen.put_key(Key::F4);
    EXPECT_EQ(h.screen.poll_key(), Key::Right);
    EXPECT_EQ(h.screen.inkey(0), Key::F4);
    EXPECT_EQ(h.screen.last_key(), Key::F4);
    EXPECT_EQ(h.screen.inkey(0), 'x');

    h.screen.put_key(Key::Enter);
    h.screen.keyboard("\r\r\xFD");  // replaces what was waiting; 253 is how F4 comes back
    EXPECT_EQ(h.screen.inkey(0), 13);
    EXPECT_EQ(h.screen.inkey(0), 13);
    EXPECT_EQ(h.screen.inkey(0), 253);
    h.screen.put_key(Key::Esc);
    h.screen.clear_keys();
    EXPECT_EQ(h.screen.poll_key(), 0);
    EXPECT_EQ(h.clock.now_ms(), 0);
}

TEST(Screen, TimedKeyWaitsOnTheTestClock) {
    HeadlessSession h({ScriptStep::silence(400), 'a'});
    // No key within the time: 0 after the whole wait, the last key unchanged.
    EXPECT_EQ(h.screen.inkey(0.25), 0);
    EXPECT_EQ(h.clock.now_ms(), 250);
    EXPECT_EQ(h.screen.last_key(), 0);
    // A key ends the wait early.
    EXPECT_EQ(h.screen.inkey(1), 'a');
    EXPECT_EQ(h.clock.now_ms(), 400);
    // With nothing scripted a timed wait simply passes.
    EXPECT_EQ(h.screen.inkey(3), 0);
    EXPECT_EQ(h.clock.now_ms(), 3400);
    // A wait for ever with nothing left to come is an error, not a hang.
    EXPECT_THROW(h.screen.inkey(0), platform::ScriptExhausted);
}

TEST(Screen, TypedUnicodeBecomesCodePageBytes) {
    HeadlessSession h({U'ł', U'Ż', U'€', 'a'});
    EXPECT_EQ(h.screen.inkey(0), 0x92);
    EXPECT_EQ(h.screen.inkey(0), 0xA1);
    // A character the code page lacks is no key: a wait for a key passes over it.
    EXPECT_EQ(h.screen.inkey(0), 'a');
}

TEST(Screen, KeysThatMeanNothingStillEndATimedWaitAndAPause) {
    // A Cyrillic letter, the euro sign, a sequence of no known key (0): each
    // was pressed, so it ends a timed wait and a pause, even one for ever,
    // is consumed and leaves the last key as it was.
    for (ScriptStep key : {ScriptStep(U'Ж'), ScriptStep(U'€'), ScriptStep(0)}) {
        HeadlessSession h({'q', ScriptStep::silence(200), key, ScriptStep::silence(300), key, key, 'z'});
        EXPECT_EQ(h.screen.inkey(0), 'q');
        EXPECT_EQ(h.screen.inkey(0.5), 0);
        EXPECT_EQ(h.clock.now_ms(), 200);
        EXPECT_EQ(h.screen.pause(0), 0);
        EXPECT_EQ(h.clock.now_ms(), 500);
        EXPECT_EQ(h.screen.last_key(), 'q');
        // A wait for a key passes over it to the next real one.
        EXPECT_EQ(h.screen.inkey(0), 'z');
    }
}

TEST(Screen, TheTerminalSeesUnicodeCursorAndUnderline) {
    HeadlessSession h({}, false);
    h.screen.say(2, 0, "\x9C\xC9", "U");
    h.screen.set_cursor(2, 1);
    h.screen.show_cursor(false);
    EXPECT_EQ(h.terminal.shown(2, 0).ch, U'Ł');
    EXPECT_EQ(h.terminal.shown(2, 1).ch, U'╔');
    EXPECT_TRUE(h.terminal.shown(2, 0).underline);  // monochrome: U is underlined
    EXPECT_FALSE(h.terminal.shown(3, 0).underline);
    EXPECT_EQ(h.terminal.cursor_col(), 1);
    EXPECT_FALSE(h.terminal.cursor_visible());

    HeadlessSession c;
    c.screen.say(0, 0, "x", "U");
    EXPECT_FALSE(c.terminal.shown(0, 0).underline);  // on colour it is plain blue
}

TEST(Screen, ToneWaitsItsLength) {
    HeadlessSession h;
    h.screen.tone(3000, 2);
    ASSERT_EQ(h.terminal.tones().size(), 1u);
    EXPECT_EQ(h.terminal.tones()[0].frequency_hz, 3000);
    EXPECT_EQ(h.terminal.tones()[0].duration_ms, 110);
    EXPECT_EQ(h.clock.now_ms(), 110);
}

}  // namespace durva::testing
