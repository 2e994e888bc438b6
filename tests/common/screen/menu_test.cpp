#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/screen/menu.h"
#include "support/headless_session.h"

namespace durva::testing {

namespace {

// The main screen's six items, with their rows.
void add_main_items(screen::Menu& m) {
    m.prompt(5, 10, " 0. Wybor kasy, parametry");
    m.prompt(7, 10, "*1. Przes\x9C" "anie danych do kasy");
    m.prompt(8, 10, "*2. Odebranie sprzedazy z kasy");
    m.prompt(10, 10, " 3. Programowanie dzialow");
    m.prompt(11, 10, " 4. Kasowanie pliku durva\\as2000.dbf");
    m.prompt(13, 10, "*5. Kasowanie PLU");
}

int run_main_menu(std::initializer_list<ScriptStep> keys, int start) {
    HeadlessSession h(keys);
    screen::Menu m(h.screen);
    add_main_items(m);
    return m.run(start);
}

}  // namespace

TEST(LightBarMenu, ItemsInStandardColourCurrentInEnhanced) {
    HeadlessSession h({Key::Down});
    h.screen.set_colour("W/B,W+/R");
    screen::Menu m(h.screen);
    add_main_items(m);
    EXPECT_EQ(h.attr(5, 10), 0x17);
    EXPECT_THROW(m.run(2), platform::ScriptExhausted);  // stopped while waiting after Down
    EXPECT_EQ(h.attr(7, 10), 0x17);                    // left item redrawn in standard
    EXPECT_EQ(h.attr(8, 10), 0x4F);                    // new current item in enhanced
    EXPECT_EQ(h.text(8, 10, 4), "*2. ");
    EXPECT_EQ(h.terminal.cursor_row(), 8);
}

TEST(LightBarMenu, MovingWrapsAndHomeEndJump) {
    EXPECT_EQ(run_main_menu({Key::Enter}, 2), 2);
    EXPECT_EQ(run_main_menu({Key::Up, Key::Enter}, 1), 6);     // up from the first: the last
    EXPECT_EQ(run_main_menu({Key::Down, Key::Enter}, 6), 1);   // down from the last: the first
    EXPECT_EQ(run_main_menu({Key::Left, Key::Left, Key::Enter}, 3), 1);
    EXPECT_EQ(run_main_menu({Key::Right, Key::Right, Key::PgDn}, 3), 5);
    EXPECT_EQ(run_main_menu({Key::End, Key::PgUp}, 2), 6);
    EXPECT_EQ(run_main_menu({Key::Home, Key::Enter}, 5), 1);
    EXPECT_EQ(run_main_menu({Key::Down, Key::Esc}, 2), 0);
}

TEST(LightBarMenu, StartItemIsClamped) {
    EXPECT_EQ(run_main_menu({Key::Enter}, 0), 1);
    EXPECT_EQ(run_main_menu({Key::Enter}, -3), 1);
    EXPECT_EQ(run_main_menu({Key::Enter}, 9), 6);
}

TEST(LightBarMenu, FirstCharacterChoosesAtOnce) {
    EXPECT_EQ(run_main_menu({'3'}, 1), 4);
    EXPECT_EQ(run_main_menu({'0'}, 3), 1);
    EXPECT_EQ(run_main_menu({'4'}, 1), 5);
    // Items marked "*" cannot be picked by their digit; "*" picks the first of them.
    EXPECT_EQ(run_main_menu({'1', '5', '*'}, 6), 2);
    // Keys that choose nothing are ignored.
    EXPECT_EQ(run_main_menu({'x', Key::F4, Key::Tab, Key::Enter}, 3), 3);
}

TEST(LightBarMenu, LettersAreComparedInUpperCase) {
    HeadlessSession h({'l'});
    screen::Menu m(h.screen);
    m.prompt(16, 48, "1. LPT1");
    m.prompt(17, 48, "  lpt2");
    m.prompt(18, 48, "Lpt3");
    EXPECT_EQ(m.run(1), 2);

    HeadlessSession p({U'ż'});
    screen::Menu n(p.screen);
    n.prompt(1, 1, "Tak");
    n.prompt(2, 1, "\xA1" "aden");  // Żaden
    EXPECT_EQ(n.run(1), 2);
}

TEST(LightBarMenu, CursorEndsAtRow23Column0) {
    HeadlessSession h({Key::Esc});
    screen::Menu m(h.screen);
    m.prompt(5, 10, "a");
    EXPECT_EQ(m.run(1), 0);
    EXPECT_EQ(h.screen.row(), 23);
    EXPECT_EQ(h.screen.col(), 0);

    HeadlessSession e;
    screen::Menu empty(e.screen);
    EXPECT_EQ(empty.run(1), 0);  // no items: nothing to wait for
}

}  // namespace durva::testing
