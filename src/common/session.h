#pragma once
// The application context passed to every routine: the clock and the screen
// the program runs on, the program-wide variables, the working values every
// Part reads, and the open tables.
#include <string>
#include <vector>

#include "common/date.h"
#include "common/dbf/work_areas.h"
#include "common/memvars.h"
#include "common/screen/screen.h"
#include "platform/clock.h"

namespace durva {

class Printer;

// Program-wide working values, typed.
struct ProgramValues {
    int STACJA = 0;          // station number 1..9, 0 before the sign-in
    std::string HH;          // period folder "YY\MM"
    std::string PLIK;        // the station's print file, rob\wydruk<NN>.prn
    std::string M_SD = "SD ";  // sales document type, three characters
    bool JEST_KOD13 = true;  // goods table has the bar-code field KOD13
    Date M_DATA;             // sales date
    std::string M_NR = " ";  // operator field of booked sales documents
};

struct Session;
// In common/locks.cpp: how the session's tables wait for other programs' locks.
void install_lock_notices(Session& s);

struct Session {
    // Tables are dated by the session's clock, like everything else it times.
    Session(platform::Clock& c, screen::Screen& s) : clock(c), screen(s) {
        areas.clock = &clock;
        install_lock_notices(*this);
    }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    platform::Clock& clock;
    screen::Screen& screen;
    Memvars vars;
    ProgramValues values;
    dbf::WorkAreas areas;
    // The office printer and the PDF writer; none in a run without printing.
    Printer* printer = nullptr;
    // No operator at the screen (the scheduled sales read-out): message
    // windows are not shown and wait for nothing, their texts are kept in
    // `messages` in order; a question cannot be asked and throws
    // platform::NoOperator; the general error handler ends the run at once.
    bool unattended = false;
    std::vector<std::string> messages;
    // Lines that the station's next list of unmatched sales lines begins
    // with: what bookings finished at the start could not do, which the
    // list made afresh by the next import must not lose.
    std::vector<std::string> carried_lines;
};

}  // namespace durva
