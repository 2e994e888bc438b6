#include <gtest/gtest.h>

#include <string>

#include "common/screen/entry.h"
#include "support/headless_session.h"

namespace durva::testing {

TEST(EntryFields, PromptThenFieldOneColumnLaterInTheEntryColours) {
    HeadlessSession h({'k', Key::Enter});
    std::string mag = " ", skip = " ";
    screen::Entry e(h.screen);
    e.say_field(24, 0, "Pobrac na magazyn:", mag, "!");
    e.say_field(24, 25, "albo     Pominac magazyn:", skip, "!");
    EXPECT_EQ(h.text(24, 0, 18), "Pobrac na magazyn:");
    EXPECT_EQ(h.attr(24, 0), 0x07);
    EXPECT_EQ(h.attr(24, 19), 0x70);  // unselected N/W by default
    EXPECT_EQ(h.text(24, 25, 25), "albo     Pominac magazyn:");
    EXPECT_EQ(h.attr(24, 51), 0x70);
    // The script runs out while the second field is being edited.
    EXPECT_THROW(e.read(), platform::ScriptExhausted);
    EXPECT_EQ(mag, "K");
    EXPECT_EQ(h.text(24, 19, 1), "K");
    EXPECT_EQ(h.terminal.cursor_row(), 24);
    EXPECT_EQ(h.terminal.cursor_col(), 51);
}

TEST(EntryFields, EditedFieldInEnhancedOthersInUnselected) {
    HeadlessSession h({Key::Down});
    h.screen.set_colour("W/N,N/W,,,W+/N");
    std::string opis = "Stoisko 1                   ";
    int port = 1;
    screen::Entry e(h.screen);
    e.field(4, 3, opis, "!XXXXXXXXXXXXXXXXXXXXXXXXX");
    e.field(4, 30, port, "999");
    EXPECT_EQ(h.attr(4, 3), 0x0F);
    EXPECT_EQ(h.text(4, 30, 3), "  1");
    EXPECT_THROW(e.read(), platform::ScriptExhausted);
    EXPECT_EQ(h.attr(4, 3), 0x0F);   // left: unselected again
    EXPECT_EQ(h.attr(4, 30), 0x70);  // being edited: enhanced
}

TEST(EntryFields, EnterGoesThroughTheFieldsAndEndsAfterTheLast) {
    HeadlessSession h({'a', Key::Enter, Key::Enter, Key::Enter});
    std::string a = "x", b = "y", c = "z";
    screen::Entry e(h.screen);
    e.field(1, 0, a, "!");
    e.field(2, 0, b, "!");
    e.field(3, 0, c, "!");
    EXPECT_EQ(e.read(), Key::Enter);
    EXPECT_FALSE(e.abandoned());
    EXPECT_EQ(a, "A");
    EXPECT_EQ(b, "y");  // untouched fields are not stored
    EXPECT_EQ(e.size(), 0u);  // the entry drops its fields
}

TEST(EntryFields, UpDownMoveAndBounceAtTheEnds) {
    // Up on the first stays; Down on the last stays; PgDn ends keeping what was typed.
    HeadlessSession h({Key::Up, '1', Key::Down, Key::Down, '2', Key::Down, '3', Key::Up, Key::Up, '4', Key::PgDn});
    std::string a = " ", b = " ", c = " ";
    screen::Entry e(h.screen);
    e.field(1, 0, a, "9");
    e.field(2, 0, b, "9");
    e.field(3, 0, c, "9");
    h.screen.set_insert_mode(false);
    EXPECT_EQ(e.read(), Key::PgDn);
    EXPECT_EQ(a, "4");
    EXPECT_EQ(b, " ");
    EXPECT_EQ(c, "3");  // 2 typed into c, then overwritten by 3 after bouncing
}

TEST(EntryFields, EscAbandonsTheFieldBeingEdited) {
    HeadlessSession h({'q', Key::Enter, 'w', Key::Esc});
    std::string a = "a", b = "b";
    screen::Entry e(h.screen);
    e.field(1, 0, a, "X");
    e.field(2, 0, b, "X");
    h.screen.set_insert_mode(false);
    EXPECT_EQ(e.read(), 27);
    EXPECT_TRUE(e.abandoned());
    EXPECT_EQ(h.screen.last_key(), 27);
    EXPECT_EQ(a, "q");  // already left: stored
    EXPECT_EQ(b, "b");  // being edited: old value
    EXPECT_EQ(h.text(2, 0, 1), "b");
}

TEST(EntryFields, PicturesFilterAndTransform) {
    HeadlessSession h;
    h.terminal.type("a1b2c3d4");
    h.terminal.push(Key::Enter);
    h.terminal.type("ab");
    h.terminal.push(U'ż');
    h.terminal.push(Key::Enter);
    h.terminal.type("1234x");
    h.terminal.push(Key::Enter);
    std::string digits = "    ", upper = "   ", code = "     ";
    screen::Entry e(h.screen);
    e.field(1, 0, digits, "9999");
    e.field(2, 0, upper, "!!!");
    e.field(3, 0, code, "99-99");
    EXPECT_EQ(h.text(3, 0, 5), "  -  ");  // the literal stands in the field
    e.read();
    EXPECT_EQ(digits, "1234");
    EXPECT_EQ(upper, "AB\xA1");  // Ż
    EXPECT_EQ(code, "12-34");
}

TEST(EntryFields, FullFieldWaitsForEnter) {
    HeadlessSession h({'a', 'b', 'c', 'd', Key::Enter});
    std::string v = "  ";
    screen::Entry e(h.screen);
    e.field(1, 0, v, "!!");
    e.read();
    EXPECT_EQ(v, "AB");
}

TEST(EntryFields, InsertModeFromStartAndInsTogglesIt) {
    HeadlessSession h({'x', Key::Ins, 'y', Key::Enter});
    std::string v = "abcd";
    screen::Entry e(h.screen);
    e.field(1, 0, v);
    EXPECT_TRUE(h.screen.insert_mode());
    e.read();
    EXPECT_EQ(v, "xybc");  // x inserted pushing d out, y typed over a
    EXPECT_FALSE(h.screen.insert_mode());  // the toggle outlives the entry
}

TEST(EntryFields, EditingKeys) {
    HeadlessSession h({Key::End, Key::Backspace, Key::Home, Key::Del, Key::Right, Key::CtrlY, Key::Enter});
    std::string v = "abcde ";
    screen::Entry e(h.screen);
    e.field(1, 0, v);
    e.read();
    EXPECT_EQ(v, "b     ");
}

TEST(EntryFields, ValidationKeepsTheCursorInTheField) {
    HeadlessSession h({'1', '8', Key::Enter, '0', Key::Enter, '1', '7', Key::Enter, Key::Enter});
    int port = 1;
    double speed = 9600;
    int checks = 0;
    screen::Entry e(h.screen);
    e.field(4, 30, port, "999").valid([&] {
        ++checks;
        return port > 0 && port < 18;
    });
    e.field(4, 34, speed, "99999999").valid([&] { return speed > 0; });
    e.read();
    EXPECT_EQ(checks, 3);  // 18 and 0 refused, 17 taken
    EXPECT_EQ(port, 17);
    EXPECT_EQ(speed, 9600);
    EXPECT_EQ(h.text(4, 30, 12), " 17     9600");
}

TEST(EntryFields, ValidationRefusesUpAndPgDnToo) {
    HeadlessSession h({Key::Down, Key::Up, Key::PgDn, 'x', Key::PgDn});
    std::string a = "a", b = " ";
    screen::Entry e(h.screen);
    e.field(1, 0, a);
    e.field(2, 0, b).valid([&] { return b != " "; });
    EXPECT_EQ(e.read(), Key::PgDn);
    EXPECT_EQ(b, "x");
}

TEST(EntryFields, ARuleCanEndTheWholeEntry) {
    // A document type of "GZ " ends the entry as if the last field were left.
    HeadlessSession h({'g', 'z', Key::Enter});
    std::string rd = "PZ ", nrd(37, ' '), zn = " ";
    screen::Entry e(h.screen);
    h.screen.set_insert_mode(false);
    e.say_field(5, 10, "Rd:", rd, "!!!").valid([&] {
        if (rd == "   ") return false;
        if (rd == "GZ ") e.end_entry();
        return true;
    });
    e.say_field(5, 19, "Nrd:", nrd, std::string(37, '!'));
    e.say_field(5, 62, "od znaku:", zn, "!");
    EXPECT_EQ(h.text(5, 14, 3), "PZ ");
    EXPECT_EQ(e.read(), Key::Enter);
    EXPECT_EQ(rd, "GZ ");
}

TEST(EntryFields, KeysPutAheadAcceptTheFirstFields) {
    HeadlessSession h({'T', Key::Enter});
    std::string a = "1", b = "2", c = "N";
    screen::Entry e(h.screen);
    e.field(1, 0, a);
    e.field(2, 0, b);
    e.field(3, 0, c, "!");
    h.screen.keyboard("\r\r");
    h.screen.set_insert_mode(false);
    EXPECT_EQ(e.read(), 13);
    EXPECT_EQ(c, "T");
}

TEST(EntryFields, LongerValueKeepsItsTailAndNumbersAreFormatted) {
    HeadlessSession h({'n', Key::Enter});
    std::string opis = "Stoisko 1" + std::string(19, ' ');
    screen::Entry e(h.screen);
    e.field(4, 3, opis, "!" + std::string(25, 'X'));
    h.screen.set_insert_mode(false);
    e.read();
    EXPECT_EQ(opis.size(), 28u);
    EXPECT_EQ(opis.substr(0, 9), "Ntoisko 1");

}

TEST(EntryFields, NumbersShownAsTheTablesStoreThem) {
    // Halves away from zero on the decimal value, as a record holds it.
    const struct {
        double value;
        const char* picture;
        const char* shown;
    } cases[] = {
        {9600, "99999999", "    9600"}, {2.5, "99.99", " 2.50"}, {123, "99", "**"},
        {0, "9", "0"},                  {2.5, "9", "3"},         {0.125, "9.99", "0.13"},
        {1.005, "9.99", "1.01"},        {-0.001, "9.99", "0.00"}, {-0.001, "99.99", " 0.00"},
        {-2.5, "999", " -3"},           {-12.5, "99", "**"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(screen::format_number(c.value, c.picture), c.shown) << c.value << " in " << c.picture;

    HeadlessSession h;
    double half = 2.5;
    screen::Entry e(h.screen);
    e.field(1, 0, half, "9");
    EXPECT_EQ(h.text(1, 0, 1), "3");
}

TEST(EntryFields, NumericEntryAsAnOperatorTypesIt) {
    const struct {
        const char* what;
        std::initializer_list<ScriptStep> keys;
        double before;
        const char* picture;
        double after;
    } cases[] = {
        {"the point moves to the decimals", {'1', '2', '.', '5', Key::Enter}, 0, "9999.99", 12.5},
        {"a comma is the point too", {'1', ',', '5', Key::Enter}, 0, "9999.99", 1.5},
        {"the point first", {'.', '5', Key::Enter}, 7, "9999.99", 0.5},
        {"a key that means nothing does not count as the first", {U'€', '1', '.', '5', Key::Enter}, 7, "9999.99", 1.5},
        {"a leading minus", {'-', '3', '.', '2', '5', Key::Enter}, 0, "9999.99", -3.25},
        {"no minus after a digit", {'5', '-', Key::Enter}, 0, "9999.99", 5},
        {"no minus among the decimals", {'1', '.', '-', '2', Key::Enter}, 0, "9999.99", 1.2},
        {"Del keeps the decimals in place", {Key::Right, Key::Right, Key::Right, Key::Del, Key::Enter}, 12.5,
         "9999.99", 1.5},
        {"Backspace from the decimals takes the last whole digit",
         {'1', '2', '3', '.', '4', Key::Left, Key::Backspace, Key::Enter}, 0, "9999.99", 12.4},
        {"Backspace among the decimals", {Key::End, Key::Backspace, Key::Enter}, 12.5, "9999.99", 12},
        {"a point with no decimals leaves the number", {'.', Key::Enter}, 42, "999", 42},
        {"digits typed after a full whole part go to the decimals", {'1', '2', '3', '4', '5', Key::Enter}, 0,
         "9999.99", 1234.5},
    };
    for (const auto& c : cases) {
        HeadlessSession h(c.keys);
        double value = c.before;
        screen::Entry e(h.screen);
        e.field(1, 0, value, c.picture);
        e.read();
        EXPECT_DOUBLE_EQ(value, c.after) << c.what;
        EXPECT_EQ(h.terminal.steps_left(), 0u) << c.what;
    }

    HeadlessSession h({'1', '2', '.', '5', Key::Enter});
    int whole = 0;
    double price = 0;
    screen::Entry e(h.screen);
    e.field(1, 0, price, "9999.99");
    e.read();
    EXPECT_EQ(h.text(1, 0, 7), "  12.50");

    HeadlessSession i({'-', '7', Key::Enter});
    screen::Entry ei(i.screen);
    ei.field(1, 0, whole, "999");
    ei.read();
    EXPECT_EQ(whole, -7);
}

TEST(EntryFields, NoFieldsNoWait) {
    HeadlessSession h;
    screen::Entry e(h.screen);
    EXPECT_EQ(e.read(), 0);
}

}  // namespace durva::testing
