// The editing screen of MEDIT: the frame over rows 0 to 23, the text in rows
// 1 to 22 and columns 1 to 78, scrolled to keep the cursor in view, and the
// key line on row 24 with the line and column of the cursor.
#include "common/editor.h"

#include <unistd.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <optional>
#include <string>

#include "common/_fun1.h"
#include "common/_fun3.h"
#include "common/editor_pdf.h"
#include "common/editor_printer.h"
#include "common/editor_text.h"
#include "common/screen/keys.h"
#include "platform/folder_file.h"
#include "platform/path_resolver.h"

namespace durva {

namespace {

using screen::Key;

constexpr int kTextTop = 1, kTextLeft = 1, kTextRows = 22, kTextCols = 78;

// The largest file the editor takes: its lines are held several times over
// while it is edited, and a file beyond this is no printout to be read here.
constexpr std::size_t kEditorLimit = 16u << 20;

// Written only into a regular file at that very name: a symlink planted at
// it would carry the text to a file of someone else's choosing.
bool write_file(const std::string& path, const std::string& bytes) {
    std::FILE* out = platform::stream_on(platform::open_regular(path, O_WRONLY | O_CREAT), "wb", true);
    if (!out) return false;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
    return std::fclose(out) == 0 && written;
}

// What the window shows of the text: its first line and first column.
struct View {
    std::size_t top = 0, left = 0;

    void follow(const EditorText& t) {
        if (t.line() < top) top = t.line();
        if (t.line() >= top + kTextRows) top = t.line() - kTextRows + 1;
        if (t.column() < left) left = t.column();
        if (t.column() >= left + kTextCols) left = t.column() - kTextCols + 1;
    }
};

void draw_frame(screen::Screen& scr) {
    scr.set_colour("");
    scr.clear_rect(0, 0, 23, 79);
    scr.frame(0, 0, 23, 79, screen::FrameStyle::Single);
    scr.clear_rect(24, 0, 24, 79);
    scr.say(24, 0, "L ");
    scr.say(24, 8, "K ");
    scr.say(24, 18, "^N/^Y-wstaw/skasuj wiersz ");
    scr.say(24, 50, "F5 - Druk");
    scr.say(24, 67, "Esc - Wyjscie");
    scr.say(24, 18, "^N", "W+");
    scr.say(24, 21, "^Y", "W+");
    scr.say(24, 50, "F5", "W+");
    scr.say(24, 67, "Esc", "W+");
}

std::string left_aligned(std::size_t n, std::size_t width) {
    std::string out = std::to_string(n);
    out.resize(width, ' ');
    return out;
}

void draw_text(screen::Screen& scr, const EditorText& t, const View& v) {
    const auto& lines = t.lines();
    for (int r = 0; r < kTextRows; ++r) {
        const std::size_t n = v.top + static_cast<std::size_t>(r);
        std::string piece;
        if (n < lines.size() && v.left < lines[n].size()) piece = lines[n].substr(v.left, kTextCols);
        piece.resize(kTextCols, ' ');
        scr.say(kTextTop + r, kTextLeft, piece);
    }
    scr.say(24, 2, left_aligned(t.line() + 1, 4), "W+");
    scr.say(24, 10, left_aligned(t.column() + 1, 4), "W+");
    scr.set_colour("");
    scr.set_cursor(kTextTop + static_cast<int>(t.line() - v.top), kTextLeft + static_cast<int>(t.column() - v.left));
}

// F5: the text goes to the file as it stands and then to the printer.
void print_text(Session& s, const std::string& path, const EditorText& t) {
    auto& scr = s.screen;
    const auto screen_before = scr.save_all();
    const int row = scr.row(), col = scr.col();
    if (DRUKOWAC(s)) {
        std::string problem;
        if (!write_file(path, editor_join(t.lines())))
            problem = "Nie mozna zapisac pliku do wydruku";
        else if (s.printer == nullptr)
            problem = "Drukowanie niedostepne";
        else
            problem = s.printer->print_text_file(path, printer_port(s));
        if (!problem.empty()) _OKNO_(s, problem, 0);
    }
    scr.restore(screen_before);
    scr.set_colour("");
    scr.set_cursor(row, col);
    scr.show_cursor(true);
}

enum class Ending { Keep, Pdf };

// Edits until Esc or Alt-P; the text and the view stay with the caller so
// that a failed save can go back to editing where it was.
Ending edit(Session& s, const std::string& path, EditorText& t, View& v) {
    auto& scr = s.screen;
    for (;;) {
        v.follow(t);
        draw_text(scr, t, v);
        scr.show_cursor(true);
        const int key = scr.inkey(0);
        const bool insert = scr.insert_mode();
        bool done = true;
        switch (key) {
            case Key::Esc: return Ending::Keep;
            case Key::Left: t.left(); break;
            case Key::Right: t.right(); break;
            case Key::Up: t.up(); break;
            case Key::Down: t.down(); break;
            case Key::Home: t.home(); break;
            case Key::End: t.end(); break;
            case Key::CtrlHome: case Key::CtrlPgUp: t.text_start(); break;
            case Key::CtrlEnd: case Key::CtrlPgDn: t.text_end(); break;
            case Key::CtrlLeft: t.word_left(); break;
            case Key::CtrlRight: t.word_right(); break;
            case Key::PgUp:
                t.up(kTextRows);
                v.top = v.top > kTextRows ? v.top - kTextRows : 0;
                break;
            case Key::PgDn:
                t.down(kTextRows);
                if (v.top + kTextRows < t.lines().size()) v.top += kTextRows;
                break;
            case Key::Ins: scr.set_insert_mode(!insert); break;
            case Key::Enter: done = t.enter(); break;
            case Key::Backspace: done = t.backspace(); break;
            case Key::Del: done = t.del(); break;
            case Key::Tab: done = t.tab(insert); break;
            case screen::ctrl_key('N'): t.insert_line(); break;
            case Key::CtrlY: t.delete_line(); break;
            case Key::F5: print_text(s, path, t); break;
            default:
                if (key == screen::alt_key(U'p') && FILE_X("PDF.TXT")) return Ending::Pdf;
                if (screen::is_typed_character(key)) done = t.type(static_cast<char>(key), insert);
                break;
        }
        if (!done) scr.tone(880, 1);  // the line would pass 160 characters
    }
}

// Step 1 of the editor: a missing file is created with one empty line.
// Whatever else stands at the name is left to the reading, which says what it is.
bool ensure_file(const std::string& path) {
    struct stat st{};
    if (::lstat(path.c_str(), &st) == 0) return true;
    return write_file(path, std::string("\r\n\x1a", 3));
}

}  // namespace

bool MEDIT(Session& s, std::string_view file_name) {
    auto& scr = s.screen;
    const std::string path = platform::resolve_path(file_name);
    const std::string colour = scr.set_colour("");
    const auto screen_before = scr.save_all();
    const int row = scr.row(), col = scr.col();
    auto finish = [&] {
        scr.restore(screen_before);
        scr.set_colour(colour);
        scr.set_cursor(row, col);
        scr.show_cursor(false);
        return true;
    };

    std::optional<std::string> bytes;
    int error = 0;
    if (ensure_file(path)) bytes = platform::read_regular(path, kEditorLimit, &error);
    if (!bytes) {
        const std::string name(file_name);
        if (error == EFBIG)
            _OKNO_(s, "Plik " + name + " za duzy dla edytora (ponad 16 MB)", 0);
        else if (platform::not_a_regular_file(error))
            _OKNO_(s, "Plik " + name + " nie jest zwyklym plikiem", 0);
        else
            _OKNO_(s, "Nie mozna otworzyc pliku " + name, 0);
        return finish();
    }
    if (!bytes->empty() && bytes->back() == '\x1a') bytes->pop_back();
    EditorLines loaded = editor_split(*bytes);
    bytes.reset();
    EditorText text(std::move(loaded.lines));
    View view;

    draw_frame(scr);
    draw_text(scr, text, view);
    if (loaded.split_lines > 0) _OKNO_(s, "Wiersz dluzszy niz 160 znakow podzielono", 0);
    if (::access(path.c_str(), W_OK) != 0) _OKNO_(s, "Plik tylko do odczytu: zmian nie zapisze", 0);

    for (;;) {
        const Ending ending = edit(s, path, text, view);
        if (write_file(path, editor_join(text.lines()) + "\r\n")) {
            if (ending == Ending::Pdf) export_pdf(s, path, file_name);
            break;
        }
        // Never a silent loss: the operator is told and may go back to the text.
        _OKNO_(s, "Tekstu nie mozna zachowac w pliku !", 0);
        if (OKNO(s, "Wyjsc bez zapisania tekstu ?", "N")) break;
    }
    return finish();
}

}  // namespace durva
