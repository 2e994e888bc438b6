#pragma once
// The sample office's settings and company tables in a session, as the
// program's start-up leaves them: what send tests and the workstations they
// start share.
#include <string>

#include "app/init_dbf.h"
#include "common/session.h"

namespace durva::testing {

// The station with the settings of the sample's parameter file, and the
// company tables as start-up opens them, each with its index list in the
// program's order. False when they did not open.
inline bool open_sample_office(Session& s, int station = 1) {
    s.values.STACJA = station;
    s.vars.set_text("J_MAG_K", "K");
    s.vars.set_text("J_MAG_U", "U ");
    s.vars.set_text("J_KOD13ZN", "T");
    s.vars.set_number("J_POZIOM", 1);
    const char* rates[] = {"23", " 8", " 5", " 0", " 0", " 0"};
    for (int g = 0; g < 6; ++g) s.vars.set_text(std::string("J_PTU") + static_cast<char>('A' + g), rates[g]);
    if (!INIT_DBF(s)) return false;
    s.areas.select(2);
    return true;
}

}  // namespace durva::testing
