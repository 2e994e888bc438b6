#include "common/error_handler.h"

#include <cstring>
#include <string>

#include "common/screen/codepage.h"
#include "common/session.h"

namespace durva {

namespace {

constexpr int kTop = 8, kLeft = 9, kBottom = 15, kRight = 70;
constexpr int kInner = kRight - kLeft - 1;  // 60 columns inside the frame

// A line cut to the window: a long file name keeps its end, where the name is.
std::string fit(std::string text, bool keep_end) {
    if (static_cast<int>(text.size()) <= kInner - 2) return text;
    if (keep_end) return "..." + text.substr(text.size() - static_cast<size_t>(kInner - 5));
    return text.substr(0, static_cast<size_t>(kInner - 2));
}

void centred(screen::Screen& scr, int row, const std::string& text) {
    scr.say(row, kLeft + 1 + (kInner - static_cast<int>(text.size())) / 2, text);
}

// The code with the system's own words for it, which say more to whoever
// reads the screen afterwards than the number alone.
std::string system_error_text(int code) {
    std::string text = "Kod bledu systemu: " + std::to_string(code);
    if (code != 0) text += " (" + std::string(std::strerror(code)) + ")";
    return text;
}

std::string& ending_note() {
    static std::string note;
    return note;
}

std::string ending_text(const DbError& e) {
    return e.cause() + (e.file().empty() ? "" : ": " + e.file()) + " (" + system_error_text(e.os_error()) + ")";
}

}  // namespace

bool operator_retries(Session& s, const DbError& e) {
    // Nobody can choose: the run ends, and says why in its report.
    if (s.unattended) {
        ending_note() = ending_text(e);
        s.messages.push_back(ending_note());
        return false;
    }
    auto& scr = s.screen;
    const int row = scr.row(), col = scr.col();
    const bool cursor = scr.cursor_visible();
    const std::string colour = scr.colour();
    const auto saved = scr.save(kTop, kLeft, kBottom, kRight);

    scr.set_colour("W+/R");
    scr.clear_rect(kTop, kLeft, kBottom, kRight);
    scr.frame(kTop, kLeft, kBottom, kRight, screen::FrameStyle::Double);
    scr.say(kTop, kLeft + (kRight - kLeft + 1 - 7) / 2, " BLAD ");
    centred(scr, kTop + 2, fit(e.cause(), false));
    if (!e.file().empty()) centred(scr, kTop + 3, fit(e.file(), true));
    centred(scr, kTop + 4, fit(screen::from_utf8(system_error_text(e.os_error())), false));
    centred(scr, kTop + 6, "T - ponow probe    N - zakoncz program");
    scr.show_cursor(false);

    // Only T or N answers: the choice decides whether the program goes on.
    int key = 0;
    for (;;) {
        key = scr.inkey(0);
        if (key == 'T' || key == 't' || key == 'N' || key == 'n') break;
    }

    if (key == 'T' || key == 't') {
        scr.set_colour(colour);
        scr.restore(saved);
        scr.set_cursor(row, col);
        scr.show_cursor(cursor);
        return true;
    }

    // Ending: the window stays as the screen's last word, and the whole of
    // it is kept for standard error once the terminal is given back.
    centred(scr, kTop + 6, std::string(kInner - 2, ' '));
    centred(scr, kTop + 6, "Program zakonczony");
    scr.set_colour(colour);
    ending_note() = ending_text(e);
    return false;
}

void handle_db_error(Session& s, const DbError& e) {
    if (operator_retries(s, e)) return;
    try {
        s.areas.close_all();
    } catch (const DbError&) {
        // The run ends either way; every table has been closed as far as it could be.
    }
    throw ProgramEnd();
}

const std::string& program_end_note() { return ending_note(); }

}  // namespace durva
