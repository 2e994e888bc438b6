#include <string>
#include <string_view>

#include "common/_fun3.h"
#include "common/editor.h"
#include "common/editor_printer.h"
#include "common/screen/keys.h"
#include "common/screen/menu.h"

namespace durva {

namespace {

// Why the chosen port cannot print now; empty when it can.
std::string printer_problem(Session& s) {
    return s.printer != nullptr ? s.printer->not_ready(printer_port(s)) : "Brak obslugi drukarki";
}

// The reason under the dialog's frame line, centred between its sides and
// cut to them: the operator sees what to mend before pressing a key.
void show_reason(screen::Screen& scr, std::string_view reason) {
    constexpr int kLeft = 31, kWidth = 41;
    const std::string colour = scr.set_colour("");
    scr.clear_rect(16, kLeft, 16, kLeft + kWidth - 1);
    const std::string_view shown = reason.substr(0, kWidth);
    scr.say(16, kLeft + (kWidth - static_cast<int>(shown.size())) / 2, shown);
    scr.set_colour(colour);
}

}  // namespace

std::string printer_port(const Session& s) {
    if (s.vars.has("M_LPT") && s.vars.text("M_LPT").starts_with("LPT2")) return "LPT2";
    return "LPT1";
}

bool DRUKOWAC(Session& s) {
    auto& scr = s.screen;
    const std::string colour = scr.colour();
    scr.show_cursor(false);
    // The dialog rectangle is cleared first so that the question is not read
    // through the text it covers.
    scr.set_colour("");
    scr.clear_rect(15, 30, 19, 72);
    scr.set_colour("0/7");
    scr.frame(15, 30, 19, 72, screen::FrameStyle::Double);
    scr.say(17, 37, "    PRZYGOTUJ  DRUKARKE", "7+/0");
    scr.set_colour("");
    scr.clear_rect(18, 37, 20, 65);
    scr.frame(18, 37, 20, 65, screen::FrameStyle::Single);
    scr.say(19, 38, "  Wcisnij dowolny klawisz");

    // A space typed ahead goes through without a wait; any other key waiting
    // is the key the wait would have taken.
    int key = scr.last_key() == screen::Key::Space ? screen::Key::Space : scr.poll_key();
    if (key != screen::Key::Space && key == 0) key = scr.inkey(0);
    scr.set_colour(colour);
    if (key == screen::Key::Esc) return false;

    if (FILE_X("LPT.TXT")) {
        screen::Menu menu(scr);
        menu.prompt(16, 48, "1. LPT1");
        menu.prompt(17, 48, "2. LPT2");
        const int choice = menu.run(printer_port(s) == "LPT2" ? 2 : 1);
        if (choice == 1 || choice == 2) s.vars.set_text("M_LPT", choice == 2 ? "LPT2" : "LPT1");
    }

    // The second port was never asked for its state: it was taken as ready.
    const std::string problem = printer_problem(s);
    if (problem.empty() || printer_port(s) == "LPT2" || FILE_X("DRUKUJ.TXT")) return true;
    scr.say(17, 39, "DRUKARKA NIE JEST GOTOWA ", "7+/0");
    show_reason(scr, problem);
    if (scr.inkey(0) == screen::Key::Esc) return false;
    return printer_problem(s).empty();
}

}  // namespace durva
