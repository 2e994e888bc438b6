#include "common/_fun1.h"

#include <string>

#include "common/screen/keys.h"
#include "platform/unattended_terminal.h"

namespace durva {

namespace {

// The dialog rectangle: the large double frame, its text row, and the small
// answer frame of the questions that overlaps its bottom.
constexpr int kTop = 15, kLeft = 30, kBottom = 19, kRight = 72;
constexpr int kTextRow = 17, kInnerLeft = 31, kInnerWidth = 41;
constexpr int kAskTop = 18, kAskLeft = 37, kAskBottom = 20, kAskRight = 65;

// Centred in the 41 inner columns; a text longer than that starts left of
// them and runs over the frame (the half is truncated toward zero).
int centred_col(std::string_view text) {
    return kInnerLeft + (kInnerWidth - static_cast<int>(text.size())) / 2;
}

void draw_window(screen::Screen& scr, std::string_view text, std::string_view frame_colour,
                 std::string_view text_colour) {
    scr.set_colour("");
    scr.clear_rect(kTop, kLeft, kBottom, kRight);
    scr.set_colour(frame_colour);
    scr.frame(kTop, kLeft, kBottom, kRight, screen::FrameStyle::Double);
    scr.set_colour(text_colour);
    scr.say(kTextRow, centred_col(text), text);
}

enum class MessageKind { Timed, Stays };

bool message(Session& s, std::string_view text, MessageKind kind, double seconds, bool warning) {
    // Nobody would read it or press the key it waits for: it is kept for
    // the run's own report instead.
    if (s.unattended) {
        s.messages.emplace_back(text);
        return true;
    }
    auto& scr = s.screen;
    const int row = scr.row(), col = scr.col();
    const std::string colour = scr.colour();
    const bool temporary = kind == MessageKind::Timed;
    screen::SavedRect saved;
    if (temporary) saved = scr.save(kTop, kLeft, kAskBottom, kRight);

    if (warning)
        draw_window(scr, text, "W+/R", seconds == 0 ? "RG+/N" : "R+/N");
    else
        draw_window(scr, text, "0/7", "W+/N");

    if (temporary && seconds >= 0) scr.pause(seconds);  // 0: until a key, any key

    scr.set_colour(colour);
    if (temporary) scr.restore(saved);
    scr.set_cursor(row, col);
    return true;
}

}  // namespace

bool OKNO(Session& s, std::string_view question, std::string_view answer_default, std::string_view auto_flag) {
    if (auto_flag.starts_with("T")) return true;
    // No answer can come; the caller of an unattended run decides instead.
    if (s.unattended) {
        s.messages.emplace_back(question);
        throw platform::NoOperator(std::string(question));
    }
    auto& scr = s.screen;
    const int row = scr.row(), col = scr.col();
    const std::string colour = scr.colour();
    const auto saved = scr.save(kTop, kLeft, kAskBottom, kRight);

    draw_window(scr, question, "0/7", "W+/N");
    scr.set_colour("");
    scr.clear_rect(kAskTop, kAskLeft, kAskBottom, kAskRight);
    scr.frame(kAskTop, kAskLeft, kAskBottom, kAskRight, screen::FrameStyle::Single);

    scr.show_cursor(true);
    scr.say(19, 38, "      [T/N]  ? ");
    const char def = answer_default.empty() ? ' ' : answer_default.front();
    scr.say(19, 53, std::string(1, def), scr.is_colour() ? "W+/R" : "N/W");
    scr.set_cursor(19, 53);

    char answer = 0;
    while (answer == 0) {
        const int key = scr.inkey(0);
        if (key == 'T' || key == 't')
            answer = 'T';
        else if (key == 'N' || key == 'n')
            answer = 'N';
        else if (key == screen::Key::Enter && def != ' ')
            answer = def;  // as given: a lower-case "t" is no yes
    }

    scr.set_colour(colour);
    scr.restore(saved);
    scr.set_cursor(row, col);
    return answer == 'T';
}

bool _OKNO_(Session& s, std::string_view text) { return message(s, text, MessageKind::Timed, 1, false); }

bool _OKNO_(Session& s, std::string_view text, double seconds) {
    return message(s, text, MessageKind::Timed, seconds, seconds != 1);
}

bool _OKNO_(Session& s, std::string_view text, std::string_view /*stay*/) {
    return message(s, text, MessageKind::Stays, 0, false);
}

bool MONITOR(Session& s) {
    s.screen.set_colour(s.screen.is_colour() ? "W,W+" : "U,U+");
    return true;
}

bool MONITOR(Session& s, bool /*highlight: any argument selects it*/) {
    s.screen.set_colour(s.screen.is_colour() ? "N/W" : "U+");
    return true;
}

}  // namespace durva
