#include <gtest/gtest.h>

#include "platform/headless_terminal.h"
#include "platform/key_codes.h"

namespace durva::platform {

TEST(HeadlessTerminal, ScriptGivesKeysAndTypedCharactersInOrder) {
    TestClock clock;
    HeadlessTerminal t(clock, {Key::Enter, 'n', U'ą'});
    t.type("Żx");
    auto k1 = t.read_key(-1);
    ASSERT_TRUE(k1);
    EXPECT_EQ(k1->code, 13);
    EXPECT_EQ(t.read_key(500)->ch, U'n');
    EXPECT_EQ(t.read_key(-1)->ch, U'ą');
    EXPECT_EQ(t.read_key(-1)->ch, U'Ż');
    EXPECT_EQ(t.read_key(-1)->ch, U'x');
    EXPECT_EQ(clock.now_ms(), 0);  // keys that were ready took no time
    EXPECT_THROW(t.read_key(-1), ScriptExhausted);
}

TEST(HeadlessTerminal, TimedWaitsAdvanceTheClock) {
    TestClock clock;
    HeadlessTerminal t(clock, {ScriptStep::silence(1500), Key::Esc});
    // A wait shorter than the silence ends empty after its whole timeout.
    EXPECT_FALSE(t.read_key(1000));
    EXPECT_EQ(clock.now_ms(), 1000);
    // The next wait sees the rest of the silence pass, then the key.
    auto k = t.read_key(1000);
    ASSERT_TRUE(k);
    EXPECT_EQ(k->code, 27);
    EXPECT_EQ(clock.now_ms(), 1500);
    // A timed wait with the script used up passes its timeout and returns.
    EXPECT_FALSE(t.read_key(250));
    EXPECT_EQ(clock.now_ms(), 1750);
}

TEST(HeadlessTerminal, SilenceExactlyAsLongAsTheWaitEndsIt) {
    TestClock clock;
    HeadlessTerminal t(clock, {ScriptStep::silence(300), 'a'});
    EXPECT_FALSE(t.read_key(300));
    EXPECT_EQ(clock.now_ms(), 300);
    EXPECT_EQ(t.read_key(300)->ch, U'a');
    EXPECT_EQ(clock.now_ms(), 300);
}

TEST(HeadlessTerminal, PollsSeeNoKeysAndEndlessIdlingThrows) {
    TestClock clock;
    HeadlessTerminal t(clock, {'a'});
    EXPECT_FALSE(t.read_key(0));
    EXPECT_EQ(t.steps_left(), 1u);
    EXPECT_EQ(t.read_key(10)->ch, U'a');

    t.set_idle_limit_ms(5000);
    EXPECT_THROW(
        {
            for (int i = 0; i < 100; ++i) t.read_key(500);
        },
        ScriptExhausted);
    EXPECT_LE(clock.now_ms(), 6000);
}

TEST(HeadlessTerminal, KeepsTheLastFrameAndTones) {
    TestClock clock;
    HeadlessTerminal t(clock, {}, false);
    EXPECT_FALSE(t.has_colors());
    std::vector<TermCell> cells(25 * 80);
    cells[81] = TermCell{U'Ł', 0x1F, false};
    t.present(cells.data(), 25, 80, 3, 4, false);
    EXPECT_EQ(t.shown(1, 1).ch, U'Ł');
    EXPECT_EQ(t.shown(1, 1).attr, 0x1F);
    EXPECT_EQ(t.shown_row_utf8(1).substr(0, 3), " Ł");
    EXPECT_EQ(t.cursor_row(), 3);
    EXPECT_FALSE(t.cursor_visible());
    t.tone(3000, 110);
    ASSERT_EQ(t.tones().size(), 1u);
    EXPECT_EQ(t.tones()[0].frequency_hz, 3000);
}

}  // namespace durva::platform
