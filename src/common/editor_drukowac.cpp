#include <string>

#include "common/_fun3.h"
#include "common/editor.h"
#include "common/editor_printer.h"
#include "common/screen/keys.h"
#include "common/screen/menu.h"

namespace durva {

namespace {

bool printer_ready(Session& s) { return s.printer != nullptr && s.printer->ready(printer_port(s)); }

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
    if (printer_ready(s) || printer_port(s) == "LPT2" || FILE_X("DRUKUJ.TXT")) return true;
    scr.say(17, 39, "DRUKARKA NIE JEST GOTOWA ", "7+/0");
    if (scr.inkey(0) == screen::Key::Esc) return false;
    return printer_ready(s);
}

}  // namespace durva
