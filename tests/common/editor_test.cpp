// The text-file editor driven by scripted keys, grouped by what the keys edit,
// with the file read back after the editor ends.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "common/editor.h"
#include "common/editor_printer.h"
#include "common/editor_text.h"
#include "support/current_folder.h"
#include "support/fixture_folder.h"
#include "support/headless_session.h"

namespace durva::testing {

namespace {

using screen::ctrl_key;

std::string read_all(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void write_all(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

// Stands in for the office printer: records what it was given and what the
// file held at that moment.
struct FakePrinter : Printer {
    std::string not_ready_reason;  // empty: ready
    std::string refusal;
    std::vector<std::string> ports_asked;
    std::vector<std::string> printed;  // the file's bytes when printed
    std::string printed_port;
    std::string pdf_path;
    std::string pdf_source;

    std::string not_ready(std::string_view port) override {
        ports_asked.emplace_back(port);
        return not_ready_reason;
    }
    std::string print_text_file(const std::string& path, std::string_view port) override {
        printed.push_back(read_all(path));
        printed_port = port;
        return refusal;
    }
    std::string export_pdf(const std::string& text_path, const std::string& pdf) override {
        pdf_source = read_all(text_path);
        pdf_path = pdf;
        write_all(pdf, "%PDF");
        return {};
    }
};

// One editor run in a folder of its own on a file holding `content` (none:
// no file), with the keys given.
struct EditorRun {
    explicit EditorRun(std::initializer_list<ScriptStep> keys) : h(keys), in(folder.path()) {
        h.session.printer = &printer;
    }
    void file(const std::string& content) { write_all(folder.file("T.TXT"), content); }
    // A file the editor created is named in lower case, as new files are.
    std::string result() const {
        return read_all(folder.file(std::filesystem::exists(folder.file("T.TXT")) ? "T.TXT" : "t.txt"));
    }
    void run() { MEDIT(h.session, "T.TXT"); }

    test::TempFolder folder;
    HeadlessSession h;
    test::CurrentFolder in;
    FakePrinter printer;
};

}  // namespace

TEST(EditorLines, FileBytesBecomeLinesAndBack) {
    struct Case {
        std::string bytes;
        std::vector<std::string> lines;
        std::size_t split;
    };
    const std::vector<Case> cases = {
        {"", {""}, 0},
        {"\r\n", {""}, 0},
        {"AB\r\nCD\r\n", {"AB", "CD"}, 0},
        {"AB\r\nCD", {"AB", "CD"}, 0},              // no final line end
        {"AB\nCD\n", {"AB", "CD"}, 0},              // made elsewhere, LF alone
        {"A\rB\r\n", {"A\rB"}, 0},                  // a lone CR is a byte of the line
        {"\r\n\r\n", {"", ""}, 0},
        {"a\tb", {"a   b"}, 0},                     // tab stops every 4
        {std::string("x\0\x1a\xff", 4), {std::string("x\0\x1a\xff", 4)}, 0},
        {std::string(400, 'q') + "\r\nz", {std::string(160, 'q'), std::string(160, 'q'), std::string(80, 'q'), "z"}, 1},
    };
    for (const auto& c : cases) {
        const auto got = editor_split(c.bytes);
        EXPECT_EQ(got.lines, c.lines) << c.bytes;
        EXPECT_EQ(got.split_lines, c.split) << c.bytes;
    }
    EXPECT_EQ(editor_join({"AB", "", "CD"}), "AB\r\n\r\nCD");
}

TEST(EditorFile, MissingFileIsCreatedAndEscWritesItsOneEmptyLine) {
    EditorRun r({Key::Esc});
    r.h.screen.say(5, 5, "menu");
    r.h.screen.show_cursor(true);
    r.run();
    EXPECT_EQ(r.result(), "\r\n");
    EXPECT_EQ(r.h.text(5, 5, 4), "menu");  // the screen as it was
    EXPECT_FALSE(r.h.screen.cursor_visible());
}

TEST(EditorFile, FrameKeyLineAndEndOfFileByte) {
    EditorRun r({});
    r.file("Pierwszy\r\nDrugi\r\n\x1a");
    EXPECT_THROW(r.run(), platform::ScriptExhausted);  // looked at while it waits
    EXPECT_EQ(r.h.utf8(0, 0, 2), "┌─");
    EXPECT_EQ(r.h.utf8(23, 78, 2), "─┘");
    EXPECT_EQ(r.h.text(1, 1, 9), "Pierwszy ");
    EXPECT_EQ(r.h.text(2, 1, 6), "Drugi ");
    EXPECT_EQ(r.h.text(3, 1, 2), "  ");  // the byte 26 is not shown
    EXPECT_EQ(r.h.text(24, 0, 80), "L 1     K 1       ^N/^Y-wstaw/skasuj wiersz       F5 - Druk        Esc - Wyjscie");
    EXPECT_EQ(r.h.attr(24, 18), 0x0F);
    EXPECT_EQ(r.h.attr(24, 20), 0x07);
    EXPECT_EQ(r.h.attr(24, 2), 0x0F);
    EXPECT_EQ(r.h.screen.row(), 1);
    EXPECT_EQ(r.h.screen.col(), 1);
}

TEST(EditorTyping, InsertOverwriteAndPolishLetters) {
    EditorRun r({Key::End, 'x', Key::Home, 'y', Key::Ins, 'Z', Key::Right, U'ą', U'Ł', Key::Ins, Key::Esc});
    r.file("abc\r\n");
    r.run();
    // y inserted before abc, Z overwrote a, ą and Ł overwrote c and x; insert back on.
    EXPECT_EQ(r.result(), std::string("yZb\x86\x9c") + "\r\n");
    EXPECT_TRUE(r.h.screen.insert_mode());
}

TEST(EditorTyping, PastTheEndFillsWithBlanksAndTabStops) {
    EditorRun r({Key::Right, Key::Right, Key::Right, Key::Right, Key::Right, '!', Key::Home, Key::Tab, '>', Key::Esc});
    r.file("ab");
    r.run();
    EXPECT_EQ(r.result(), "    >ab   !\r\n");
}

TEST(EditorTyping, ALineStopsAt160Characters) {
    EditorRun r({Key::End, 'x', 'y', Key::Esc});
    r.file(std::string(159, 'a'));
    r.run();
    EXPECT_EQ(r.result(), std::string(159, 'a') + "x\r\n");
    EXPECT_EQ(r.h.terminal.tones().size(), 1u);  // the second letter is refused
}

TEST(EditorLineEdits, EnterSplitsBackspaceAndDeleteJoin) {
    // "abcd": Enter after ab, Backspace at the start of "cd" joins back;
    // Enter twice leaves an empty line, which Delete at the end of "ab" takes.
    EditorRun r({Key::Right, Key::Right, Key::Enter, Key::Backspace, Key::Enter, Key::Enter, Key::Up, Key::Up,
                 Key::End, Key::Del, Key::Esc});
    r.file("abcd\r\nlast\r\n");
    r.run();
    EXPECT_EQ(r.result(), "ab\r\ncd\r\nlast\r\n");
}

TEST(EditorLineEdits, BackspaceDeletesLeftAndRefusesATooLongJoin) {
    EditorRun r({Key::End, Key::Backspace, Key::Down, Key::Home, Key::Backspace, Key::Esc});
    r.file("xyz\r\n" + std::string(158, 'b') + "\r\n");
    r.run();
    EXPECT_EQ(r.result(), "xy" + std::string(158, 'b') + "\r\n");  // 2 + 158 fits
    EditorRun full({Key::Down, Key::Backspace, Key::Esc});
    full.file("xyz\r\n" + std::string(158, 'b') + "\r\n");
    full.run();
    EXPECT_EQ(full.result(), "xyz\r\n" + std::string(158, 'b') + "\r\n");  // 161 would not
    EXPECT_EQ(full.h.terminal.tones().size(), 1u);
}

TEST(EditorLineEdits, CtrlNInsertsAndCtrlYDeletesLines) {
    EditorRun r({Key::Down, ctrl_key('N'), 'n', Key::Down, Key::Down, Key::CtrlY, Key::Esc});
    r.file("1\r\n2\r\n3\r\n");
    r.run();
    EXPECT_EQ(r.result(), "1\r\nn\r\n2\r\n");
    EditorRun last({Key::CtrlY, Key::CtrlY, Key::Esc});
    last.file("only\r\n");
    last.run();
    EXPECT_EQ(last.result(), "\r\n");  // the text keeps one empty line
}

TEST(EditorMoving, KeyLineFollowsTheCursor) {
    EditorRun r({Key::Down, Key::End, Key::Right});
    r.file("a\r\nhello\r\n");
    EXPECT_THROW(r.run(), platform::ScriptExhausted);
    EXPECT_EQ(r.h.text(24, 2, 4), "2   ");
    EXPECT_EQ(r.h.text(24, 10, 4), "7   ");
    EXPECT_EQ(r.h.screen.row(), 2);
    EXPECT_EQ(r.h.screen.col(), 7);
}

TEST(EditorMoving, VerticalScrollingPagesAndTextEnds) {
    std::string text;
    for (int i = 1; i <= 100; ++i) text += "line " + std::to_string(i) + "\r\n";
    EditorRun r({Key::PgDn, Key::PgDn, Key::Down});
    r.file(text);
    EXPECT_THROW(r.run(), platform::ScriptExhausted);
    EXPECT_EQ(r.h.text(24, 2, 4), "46  ");
    EXPECT_EQ(r.h.text(1, 1, 8), "line 45 ");  // the window moved a page each time
    EXPECT_EQ(r.h.screen.row(), 2);

    EditorRun ends({Key::CtrlEnd});
    ends.file(text);
    EXPECT_THROW(ends.run(), platform::ScriptExhausted);
    EXPECT_EQ(ends.h.text(24, 2, 4), "100 ");
    EXPECT_EQ(ends.h.text(22, 1, 9), "line 100 ");
    EXPECT_EQ(ends.h.text(24, 10, 4), "9   ");

    EditorRun back({Key::CtrlEnd, Key::PgUp, Key::CtrlHome});
    back.file(text);
    EXPECT_THROW(back.run(), platform::ScriptExhausted);
    EXPECT_EQ(back.h.text(1, 1, 7), "line 1 ");
    EXPECT_EQ(back.h.screen.row(), 1);
}

TEST(EditorMoving, HorizontalScrollingShowsTheLineFromItsColumn) {
    std::string line;
    for (int i = 0; i < 16; ++i) line += std::string(1, static_cast<char>('A' + i)) + "123456789";
    EditorRun r({Key::End});
    r.file(line + "\r\nshort\r\n");
    EXPECT_THROW(r.run(), platform::ScriptExhausted);
    EXPECT_EQ(r.h.text(24, 10, 4), "161 ");
    EXPECT_EQ(r.h.screen.col(), 78);
    EXPECT_EQ(r.h.text(1, 1, 10), line.substr(83, 10));  // columns 84 to 160 in view
    EXPECT_EQ(r.h.text(2, 1, 5), "     ");              // the short line scrolled out

    EditorRun home({Key::End, Key::Home});
    home.file(line);
    EXPECT_THROW(home.run(), platform::ScriptExhausted);
    EXPECT_EQ(home.h.text(1, 1, 10), "A123456789");
}

TEST(EditorBadInput, LongLineIsSplitWithAMessageAndNothingLost) {
    const std::string tail = "\r\nnext\r\n";
    const std::string longline(10000, 'w');
    EditorRun r({Key::Esc, Key::Esc});  // the message waits for a key
    r.file(longline + tail);
    r.run();
    std::string expected;
    for (int i = 0; i < 62; ++i) expected += std::string(160, 'w') + "\r\n";
    expected += std::string(80, 'w') + tail;
    EXPECT_EQ(r.result(), expected);
}

TEST(EditorBadInput, HundredThousandLinesBinaryBytesAndNoLineEnds) {
    std::string text;
    for (int i = 0; i < 100000; ++i) text += std::to_string(i) + "\r\n";
    EditorRun many({Key::CtrlEnd, 'e', Key::Esc});
    many.file(text);
    many.run();
    EXPECT_EQ(many.result(), text.substr(0, text.size() - 2) + "e\r\n");

    const std::string binary("\x01\x00\x7f\xfe\x1b", 5);
    EditorRun bin({Key::Esc});
    bin.file(binary);
    bin.run();
    EXPECT_EQ(bin.result(), binary + "\r\n");

    EditorRun bare({Key::Esc});
    bare.file("no line end");
    bare.run();
    EXPECT_EQ(bare.result(), "no line end\r\n");
}

TEST(EditorBadInput, ATextThatCannotBeKeptIsSaid) {
    // /proc/version reads but takes no writes, whoever runs the tests.
    const bool warned = ::access("/proc/version", W_OK) != 0;
    HeadlessSession h;
    if (warned) h.terminal.push(Key::Enter);  // the read-only notice at the start
    h.terminal.push_keys({'x', Key::Esc, Key::Enter, 'N', Key::Esc, Key::Enter, 'T'});
    MEDIT(h.session, "/proc/version");
    EXPECT_EQ(h.terminal.steps_left(), 0u);  // asked twice, left on the second yes
    EXPECT_EQ(read_all("/proc/version").front(), 'L');

    test::TempFolder folder;
    const std::string path = folder.file("RO.TXT");
    write_all(path, "keep\r\n");
    ::chmod(path.c_str(), 0444);
    if (::access(path.c_str(), W_OK) == 0) GTEST_SKIP() << "run as root: a read-only file is writable here";
    test::CurrentFolder in(folder.path());
    HeadlessSession ro({Key::Enter, Key::Esc, Key::Enter, 'T'});
    MEDIT(ro.session, "RO.TXT");
    EXPECT_EQ(ro.terminal.steps_left(), 0u);
    EXPECT_EQ(read_all(path), "keep\r\n");
}

TEST(EditorPrint, F5WritesTheTextWithoutLineEndPrintsAndGoesOnWhereItWas) {
    EditorRun r({Key::Down, Key::End, '!', Key::F5, Key::Enter, 'y', Key::Esc});
    r.file("one\r\ntwo\r\n");
    r.run();
    ASSERT_EQ(r.printer.printed.size(), 1u);
    EXPECT_EQ(r.printer.printed[0], "one\r\ntwo!");
    EXPECT_EQ(r.printer.printed_port, "LPT1");
    EXPECT_EQ(r.result(), "one\r\ntwo!y\r\n");  // editing went on after the '!'
}

TEST(EditorPrint, EscAtTheQuestionOrAStaysNotReadyPrinterPrintsNothing) {
    EditorRun esc({Key::F5, Key::Esc, Key::Esc});
    esc.run();
    EXPECT_TRUE(esc.printer.printed.empty());

    EditorRun busy({Key::F5, Key::Enter, Key::Enter, Key::Esc});
    busy.printer.not_ready_reason = "Drukarka zatrzymana";
    busy.run();
    EXPECT_TRUE(busy.printer.printed.empty());
    EXPECT_EQ(busy.printer.ports_asked.size(), 2u);  // asked again after the key
}

TEST(EditorPrint, QuestionScreenNotReadyLineAndRefusal) {
    EditorRun ask({Key::F5});
    EXPECT_THROW(ask.run(), platform::ScriptExhausted);
    EXPECT_EQ(ask.h.text(17, 37, 23), "    PRZYGOTUJ  DRUKARKE");
    EXPECT_EQ(ask.h.text(19, 38, 25), "  Wcisnij dowolny klawisz");
    EXPECT_EQ(ask.h.utf8(15, 30, 1), "╔");
    EXPECT_EQ(ask.h.attr(15, 30), 0x70);

    EditorRun r({Key::F5, Key::Enter});
    r.printer.not_ready_reason = "Drukarka zatrzymana";
    EXPECT_THROW(r.run(), platform::ScriptExhausted);
    EXPECT_EQ(r.h.text(17, 39, 25), "DRUKARKA NIE JEST GOTOWA ");
    EXPECT_EQ(r.h.attr(17, 40), 0x0F);
    // Why, centred above it inside the frame; a long reason stops at the frame.
    EXPECT_EQ(r.h.text(16, 31, 41), "           Drukarka zatrzymana           ");
    EditorRun longer({Key::F5, Key::Enter});
    longer.printer.not_ready_reason = "Brak drukarki " + std::string(40, 'q');
    EXPECT_THROW(longer.run(), platform::ScriptExhausted);
    EXPECT_EQ(longer.h.text(16, 31, 41), "Brak drukarki " + std::string(27, 'q'));
    EXPECT_EQ(longer.h.utf8(16, 72, 1), "║");

    EditorRun refused({Key::F5, Key::Enter});
    refused.printer.refusal = "Wydruk odrzucony";
    EXPECT_THROW(refused.run(), platform::ScriptExhausted);
    EXPECT_EQ(refused.h.text(17, 43, 16), "Wydruk odrzucony");
}

TEST(EditorPrint, SpaceTypedAheadAndTheMarkersOfPortAndForcedPrinting) {
    // A space waiting goes through the key wait.
    EditorRun space({Key::F5, ' ', Key::Esc});
    space.run();
    EXPECT_EQ(space.printer.printed.size(), 1u);

    // With LPT.TXT the port is chosen and kept; LPT2 is taken as ready.
    EditorRun port({Key::F5, Key::Enter, Key::Down, Key::Enter, Key::Esc});
    write_all(port.folder.file("LPT.TXT"), "");
    port.printer.not_ready_reason = "Drukarka zatrzymana";
    port.run();
    EXPECT_EQ(port.h.session.vars.text("M_LPT"), "LPT2");
    EXPECT_EQ(port.printer.printed_port, "LPT2");
    EXPECT_EQ(port.printer.printed.size(), 1u);

    EditorRun forced({Key::F5, Key::Enter, Key::Esc});
    write_all(forced.folder.file("drukuj.txt"), "");
    forced.printer.not_ready_reason = "Drukarka zatrzymana";
    forced.run();
    EXPECT_EQ(forced.printer.printed.size(), 1u);
}

TEST(EditorPdf, AltPWithoutTheMarkerIsAnOrdinaryKey) {
    EditorRun r({screen::alt_key(U'p'), 'a', Key::Esc});
    r.run();
    EXPECT_EQ(r.result(), "a\r\n");
    EXPECT_TRUE(r.printer.pdf_path.empty());
}

TEST(EditorPdf, BlankNameTakesThePrintFileNameAndTheTextEndsTheFile) {
    EditorRun r({'z', screen::alt_key(U'p'), Key::Enter});
    write_all(r.folder.file("PDF.TXT"), "");
    r.h.session.values.PLIK = "rob\\wydruk03.prn";
    r.run();
    EXPECT_EQ(r.printer.pdf_source, "z\r\n");
    EXPECT_EQ(r.printer.pdf_path, "./wydruk03.pdf");
    EXPECT_TRUE(std::filesystem::exists(r.folder.file("wydruk03.pdf")));
}

TEST(EditorPdf, NameQuestionAndABadNameRestoresTheScreen) {
    EditorRun r({screen::alt_key(U'p'), '.', '.', '\\', 'x', Key::Enter});
    write_all(r.folder.file("pdf.txt"), "");
    r.h.screen.say(3, 3, "tlo");
    EXPECT_THROW(r.run(), platform::ScriptExhausted);
    EXPECT_EQ(r.h.text(10, 10, 16), "nazwa pliku PDF:");
    EXPECT_EQ(r.h.utf8(9, 8, 1), "╔");
    EXPECT_EQ(r.h.attr(9, 8), 0x0C);
    EXPECT_EQ(r.h.text(17, 34, 34), "Plik PDF tylko w folderze programu");

    EditorRun back({screen::alt_key(U'p'), '/', 'e', 't', 'c', Key::Enter, Key::Enter, Key::Esc});
    write_all(back.folder.file("PDF.TXT"), "");
    back.h.screen.say(3, 3, "tlo");
    back.run();
    EXPECT_TRUE(back.printer.pdf_path.empty());
    EXPECT_EQ(back.h.text(3, 3, 3), "tlo");
}

TEST(EditorPdf, NamesThatCannotBeUsed) {
    const std::vector<std::pair<std::string, bool>> names = {
        {"raport.pdf", true}, {"rob\\raport.pdf", true}, {"raport \x86\x9c.pdf", true},
        {"..\\raport.pdf", false}, {"rob\\..\\..\\x.pdf", false}, {"\\etc\\x.pdf", false}, {"/tmp/x.pdf", false},
        {"C:raport.pdf", false}, {"ra*port.pdf", false}, {"a?.pdf", false}, {"a|b.pdf", false},
        {std::string("a\x01.pdf"), false}, {"rob\\", false},
    };
    for (const auto& [name, good] : names) EXPECT_EQ(pdf_name_problem(name).empty(), good) << name;
    EXPECT_EQ(pdf_file_name("  ", "rob\\wydruk03.prn", "x.txt"), "wydruk03.pdf");
    EXPECT_EQ(pdf_file_name("", "", "durva\\braki.txt"), "braki.pdf");
    EXPECT_EQ(pdf_file_name("raport ", "p", "x"), "raport.pdf");
    EXPECT_EQ(pdf_file_name("raport.dok", "p", "x"), "raport.dok");
}

}  // namespace durva::testing
