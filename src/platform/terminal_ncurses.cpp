#include "platform/terminal_ncurses.h"

#include <curses.h>
#include <langinfo.h>
#include <unistd.h>

#include <algorithm>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/key_codes.h"
#include "platform/key_decoder.h"
#include "platform/utf8.h"

namespace durva::platform {

namespace {

constexpr int kNeedRows = 25;
constexpr int kNeedCols = 80;
constexpr int kEscDelayMs = 25;
constexpr int kResizeWaitMs = 300;
// Codes for the sequences we teach the library, well clear of its own.
constexpr int kFirstExtraCode = KEY_MAX + 0x400;

// PC colour numbers (blue is 1, red 4) to the library's (red is 1, blue 4).
constexpr short kCursesColour[8] = {COLOR_BLACK, COLOR_BLUE, COLOR_GREEN, COLOR_CYAN,
                                    COLOR_RED,   COLOR_MAGENTA, COLOR_YELLOW, COLOR_WHITE};

bool same(const TermCell& a, const TermCell& b) {
    return a.ch == b.ch && a.attr == b.attr && a.underline == b.underline;
}

bool utf8_locale() {
    const char* cs = nl_langinfo(CODESET);
    return cs && (std::strcmp(cs, "UTF-8") == 0 || std::strcmp(cs, "utf8") == 0);
}

// The terminal database's clear-screen string, or nullptr (defined at the
// end of the file: the database header's macros would clash with our names).
const char* database_clear_string();
void put_database_string(const char* text);

[[noreturn]] void fail(const std::string& text) {
    std::fprintf(stderr, "durva: %s\n", text.c_str());
    std::fflush(stderr);
    throw TerminalError(text);
}

}  // namespace

NcursesTerminal::NcursesTerminal() {
    std::setlocale(LC_ALL, "");
    if (!utf8_locale()) std::setlocale(LC_CTYPE, "C.UTF-8");
    // Numbers are written and read with a point whatever the operator's
    // language: the tables and the register's files hold them so.
    std::setlocale(LC_NUMERIC, "C");

    if (!isatty(STDIN_FILENO) || !isatty(STDOUT_FILENO))
        fail("program wymaga terminala (wejscie i wyjscie nie sa terminalem)");
    const char* term = std::getenv("TERM");
    SCREEN* scr = newterm(nullptr, stdout, stdin);
    if (!scr)
        fail(std::string("nie mozna uruchomic terminala typu '") + (term ? term : "") +
             "' (sprawdz zmienna TERM)");
    screen_ = scr;

    getmaxyx(stdscr, rows_, cols_);
    if (rows_ < kNeedRows || cols_ < kNeedCols) ask_for_size();
    if (rows_ < kNeedRows || cols_ < kNeedCols) {
        endwin();
        delscreen(scr);
        screen_ = nullptr;
        ended_ = true;
        fail("okno terminala ma " + std::to_string(cols_) + " x " + std::to_string(rows_) +
             " znakow, program potrzebuje co najmniej 80 x 25");
    }

    raw();  // no signals from the keyboard: Ctrl-C, Ctrl-Z, Ctrl-S are keys
    noecho();
    nonl();  // Enter reads as 13
    keypad(stdscr, TRUE);
    intrflush(stdscr, FALSE);
    meta(stdscr, TRUE);
    scrollok(stdscr, FALSE);
    set_escdelay(kEscDelayMs);

    colours_ = ::has_colors();
    if (colours_) {
        start_color();
        wide_pairs_ = COLOR_PAIRS > 64;
        for (int back = 0; back < 8; ++back)
            for (int fore = 0; fore < 8; ++fore)
                if (int pair = colour_pair(fore, back); pair > 0)
                    init_pair(static_cast<short>(pair), kCursesColour[fore], kCursesColour[back]);
    }

    // Teach the library the sequences its database lacks for this terminal.
    int next_code = kFirstExtraCode;
    for (const auto& s : known_sequences()) {
        const std::string seq(s.sequence);
        const int existing = key_defined(seq.c_str());
        if (existing > 0) {
            const char* name = keyname(existing);
            if (xbase_from_curses_key(existing) == 0 && !(name && xbase_from_key_name(name) != 0))
                extra_keys_.emplace(existing, s.code);
        } else if (existing == 0) {
            if (define_key(seq.c_str(), next_code) == OK) extra_keys_.emplace(next_code++, s.code);
        }
    }

    shown_.assign(static_cast<std::size_t>(kNeedRows * kNeedCols), TermCell{U'\0', 0, false});
    erase();
    refresh();
}

void NcursesTerminal::ask_for_size() {
    // Terminal windows that take resize requests (xterm and those that follow
    // it) grow to 80 x 25 when asked; the others ignore the request. The
    // answer comes as a resize, which the library reports as a key.
    std::fprintf(stdout, "\033[8;%d;%dt", std::max(rows_, kNeedRows), std::max(cols_, kNeedCols));
    std::fflush(stdout);
    for (int waits = 0; waits < 10 && (rows_ < kNeedRows || cols_ < kNeedCols); ++waits) {
        wtimeout(stdscr, kResizeWaitMs);
        wint_t key = 0;
        const int rc = wget_wch(stdscr, &key);
        if (rc == ERR) break;  // no answer: the terminal does not resize
        if (rc == KEY_CODE_YES && key == KEY_RESIZE) getmaxyx(stdscr, rows_, cols_);
    }
}

NcursesTerminal::~NcursesTerminal() {
    if (!ended_) endwin();
    if (screen_) delscreen(static_cast<SCREEN*>(screen_));
}

int NcursesTerminal::colour_pair(int fore, int back) const {
    if (wide_pairs_) return 1 + fore + 8 * back;
    // Only 63 pairs: black on black, which shows nothing, borrows white on
    // black and is drawn as blanks.
    const int pair = fore + 8 * back;
    return pair == 0 ? 7 : pair;
}

void NcursesTerminal::draw_cell(int row, int col, const TermCell& cell) {
    const int fore = cell.attr & 7;
    const int back = (cell.attr >> 4) & 7;
    const bool bright = cell.attr & 0x08;
    const bool blink = cell.attr & 0x80;
    wchar_t text[2] = {static_cast<wchar_t>(cell.ch), L'\0'};
    attr_t attrs = A_NORMAL;
    short pair = 0;
    if (bright) attrs |= A_BOLD;
    if (blink) attrs |= A_BLINK;
    if (cell.underline) attrs |= A_UNDERLINE;
    if (colours_) {
        pair = static_cast<short>(colour_pair(fore, back));
        if (!wide_pairs_ && fore == 0 && back == 0 && !bright) text[0] = L' ';
    } else {
        // Monochrome: a light background is reverse video; black on black is blank.
        if (back != 0) attrs |= A_REVERSE;
        if (fore == 0 && back == 0 && !bright) text[0] = L' ';
    }
    if (text[0] == 0) text[0] = L' ';
    cchar_t cc;
    setcchar(&cc, text, attrs, pair, nullptr);
    mvwadd_wch(stdscr, row, col, &cc);
}

void NcursesTerminal::present(const TermCell* cells, int rows, int cols, int cursor_row, int cursor_col,
                              bool cursor_visible) {
    if (ended_) return;
    const int nr = std::min(rows, kNeedRows), nc = std::min(cols, kNeedCols);
    for (int r = 0; r < nr; ++r)
        for (int c = 0; c < nc; ++c) {
            const TermCell& cell = cells[r * cols + c];
            TermCell& old = shown_[static_cast<std::size_t>(r * kNeedCols + c)];
            if (same(cell, old)) continue;
            draw_cell(r, c, cell);
            old = cell;
        }
    const int state = cursor_visible ? 1 : 0;
    if (state != cursor_state_) {
        curs_set(state);
        cursor_state_ = state;
    }
    wmove(stdscr, cursor_row, cursor_col);
    wrefresh(stdscr);
}

void NcursesTerminal::redraw_all() {
    getmaxyx(stdscr, rows_, cols_);
    clearok(stdscr, TRUE);
    for (int r = 0; r < kNeedRows; ++r)
        for (int c = 0; c < kNeedCols; ++c) draw_cell(r, c, shown_[static_cast<std::size_t>(r * kNeedCols + c)]);
    wrefresh(stdscr);
}

int NcursesTerminal::decode_after_esc() {
    // The library hands back an Esc that began no sequence it knows, with
    // whatever came with it already read: that is how Alt reaches us, and
    // how the sequences of keys its database lacks arrive.
    wtimeout(stdscr, 0);
    wint_t next = 0;
    const int rc = wget_wch(stdscr, &next);
    if (rc == ERR) return Key::Esc;
    if (rc == KEY_CODE_YES) {
        const int code = xbase_from_curses_key(static_cast<int>(next));
        if (int alt = alt_with_key(code); alt != 0) return alt;
        ungetch(static_cast<int>(next));
        return Key::Esc;
    }
    std::u32string after(1, static_cast<char32_t>(next));
    SequenceState state = sequence_state(after);
    // A sequence is read to its end, known or not: none of it may reach an
    // entry field as typed characters, nor its Esc abandon the screen.
    while (state == SequenceState::Partial) {
        wtimeout(stdscr, kEscDelayMs);
        wint_t more = 0;
        const int more_rc = wget_wch(stdscr, &more);
        if (more_rc == ERR) break;
        if (more_rc == KEY_CODE_YES) {
            ungetch(static_cast<int>(more));
            break;
        }
        after += static_cast<char32_t>(more);
        state = sequence_state(after);
    }
    if (state == SequenceState::Complete || (state == SequenceState::Partial && after.size() > 1)) {
        std::string seq = "\033";
        for (char32_t c : after) seq += c < 0x80 ? static_cast<char>(c) : '?';
        return xbase_from_sequence(seq);  // 0: a key that means nothing here
    }
    if (int alt = alt_with_char(static_cast<char32_t>(next)); alt != 0) return alt;
    if (after.size() == 1 && after[0] == U'[') return 0;  // the start of a sequence cut off
    if (next != 27) unget_wch(static_cast<wchar_t>(next));
    return Key::Esc;
}

std::optional<InputKey> NcursesTerminal::read_key(int timeout_ms) {
    if (ended_) return std::nullopt;
    wtimeout(stdscr, timeout_ms < 0 ? -1 : timeout_ms);
    wint_t wch = 0;
    const int rc = wget_wch(stdscr, &wch);
    if (rc == ERR) return std::nullopt;
    if (rc == KEY_CODE_YES) {
        const int k = static_cast<int>(wch);
        if (k == KEY_RESIZE) {
            redraw_all();
            return std::nullopt;
        }
        int code = xbase_from_curses_key(k);
        if (code == 0) {
            if (auto it = extra_keys_.find(k); it != extra_keys_.end()) code = it->second;
        }
        if (code == 0) {
            if (const char* name = keyname(k)) code = xbase_from_key_name(name);
        }
        // A key the program has no use for still ends a wait.
        return InputKey{code, 0};
    }
    if (wch == 27) return InputKey{decode_after_esc(), 0};
    return key_from_char(static_cast<char32_t>(wch));
}

void NcursesTerminal::tone(int /*frequency_hz*/, int /*duration_ms*/) {
    if (!ended_) beep();
}

void NcursesTerminal::finish(const std::vector<std::string>& lines) {
    if (!ended_) {
        endwin();
        ended_ = true;
    }
    // Clear the ordinary screen and home the cursor: the database's string
    // when it has one, the ANSI one otherwise.
    if (const char* clear = database_clear_string())
        put_database_string(clear);
    else
        std::fputs("\033[H\033[2J", stdout);
    for (const auto& line : lines) {
        std::fputs(line.c_str(), stdout);
        std::fputc('\n', stdout);
    }
    std::fflush(stdout);
}

void NcursesTerminal::finish_showing_frame() {
    std::vector<std::string> lines;
    for (int r = 0; r < kNeedRows; ++r) {
        std::string line;
        for (int c = 0; c < kNeedCols; ++c) {
            char32_t ch = shown_[static_cast<std::size_t>(r * kNeedCols + c)].ch;
            append_utf8(line, ch == 0 ? U' ' : ch);
        }
        line.erase(line.find_last_not_of(' ') + 1);
        lines.push_back(std::move(line));
    }
    while (!lines.empty() && lines.back().empty()) lines.pop_back();
    finish(lines);
}

}  // namespace durva::platform

#include <term.h>

namespace durva::platform {
namespace {

const char* database_clear_string() {
    const char* s = tigetstr("clear");
    if (s == nullptr || s == reinterpret_cast<const char*>(-1)) return nullptr;
    return s;
}

int put_byte(int c) { return std::fputc(c, stdout); }

void put_database_string(const char* text) {
    // Through the library's output routine: strings of the database may hold
    // delays ("$<50>" on a vt100), which it turns into padding or nothing.
    tputs(text, 1, put_byte);
}

}  // namespace
}  // namespace durva::platform
