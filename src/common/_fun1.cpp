#include "common/_fun1.h"

#include <algorithm>
#include <string>
#include <vector>

#include "common/screen/keys.h"
#include "platform/unattended_terminal.h"

namespace durva {

namespace {

// The dialog rectangle: the large double frame, its text row, and the small
// answer frame of the questions that overlaps its bottom.
constexpr int kTop = 15, kLeft = 30, kBottom = 19, kRight = 72;
constexpr int kTextRow = 17, kInnerLeft = 31, kInnerWidth = 41;
constexpr int kAskTop = 18, kAskLeft = 37, kAskBottom = 20, kAskRight = 65;
// The last row a text may take: a question's answer frame begins on row 18.
constexpr int kMessageLastRow = 18, kQuestionLastRow = kAskTop - 1;

// A text in the window: its lines and where they and the frame stand.
struct WindowText {
    std::vector<std::string> lines;
    int first_row = kTextRow;
    int top = kTop;
};

// Lines of at most the window's width. A text that fits stays one line as it
// is; a longer one is broken at blanks (the blanks of a break dropped), a word
// wider than the window into pieces of its width.
std::vector<std::string> wrapped(std::string_view text) {
    const auto width = static_cast<std::size_t>(kInnerWidth);
    if (text.size() <= width) return {std::string(text)};
    std::vector<std::string> lines;
    std::size_t pos = 0;
    for (;;) {
        pos = text.find_first_not_of(' ', pos);
        if (pos == std::string_view::npos) break;
        if (text.size() - pos <= width) {
            lines.emplace_back(text.substr(pos));
            break;
        }
        const std::size_t blank = text.rfind(' ', pos + width);
        const std::size_t end = blank == std::string_view::npos || blank <= pos ? pos + width : blank;
        std::string_view line = text.substr(pos, end - pos);
        lines.emplace_back(line.substr(0, line.find_last_not_of(' ') + 1));
        pos = end;
    }
    return lines;
}

// One line stands on row 17, as always; more begin on row 16 and end no lower
// than `last_row`, the window growing upwards for as many as the screen holds
// (the last line shown then ends in "...").
WindowText window_text(std::string_view text, int last_row) {
    WindowText w;
    w.lines = wrapped(text);
    if (w.lines.size() > static_cast<std::size_t>(last_row)) {
        w.lines.resize(static_cast<std::size_t>(last_row));
        std::string& end = w.lines.back();
        end = end.substr(0, std::min<std::size_t>(end.size(), kInnerWidth - 3)) + "...";
    }
    const int count = static_cast<int>(w.lines.size());
    if (count > 1) w.first_row = std::min(kTextRow - 1, last_row - count + 1);
    w.top = std::min(kTop, w.first_row - 1);
    return w;
}

void draw_window(screen::Screen& scr, const WindowText& w, std::string_view frame_colour,
                 std::string_view text_colour) {
    scr.set_colour("");
    scr.clear_rect(w.top, kLeft, kBottom, kRight);
    scr.set_colour(frame_colour);
    scr.frame(w.top, kLeft, kBottom, kRight, screen::FrameStyle::Double);
    scr.set_colour(text_colour);
    for (std::size_t i = 0; i < w.lines.size(); ++i) {
        const std::string& line = w.lines[i];
        // Centred in the 41 inner columns, the half truncated toward zero.
        scr.say(w.first_row + static_cast<int>(i), kInnerLeft + (kInnerWidth - static_cast<int>(line.size())) / 2,
                line);
    }
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
    const WindowText w = window_text(text, kMessageLastRow);
    screen::SavedRect saved;
    if (temporary) saved = scr.save(w.top, kLeft, kAskBottom, kRight);

    if (warning)
        draw_window(scr, w, "W+/R", seconds == 0 ? "RG+/N" : "R+/N");
    else
        draw_window(scr, w, "0/7", "W+/N");

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
    const WindowText w = window_text(question, kQuestionLastRow);
    const auto saved = scr.save(w.top, kLeft, kAskBottom, kRight);

    draw_window(scr, w, "0/7", "W+/N");
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
