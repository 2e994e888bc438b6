#pragma once
// The program's entry routine: the run settings, the program-wide variables
// and the shared parameter file, the waiting window, the stages that sign the
// station in, open the company tables and run the main menu, and the shutdown
// with its closing line.
#include <functional>
#include <string>
#include <string_view>

#include "common/session.h"
#include "receive/cut_short_bookings.h"

namespace durva {

// The stages of the start-up sequence that the sign-in, the company tables and
// the main menu supply. A stage left empty is skipped, as if it succeeded.
struct StartupStages {
    std::function<int(Session&)> IN_NET;     // the station number, 0 when refused
    std::function<bool(Session&)> INIT_DBF;  // true when every company table is open
    std::function<void(Session&)> DURVA_;    // returns when the operator leaves the main menu
    std::function<void(Session&)> OUT_NET;   // signs the station out
};

// The stages of this program.
StartupStages program_stages();

// Runs the program on the session's screen in the working folder and returns
// the exit code, which is 0 for every ending. The argument is accepted and has
// no effect. The screen is left as the program leaves it: the closing line on
// row 1 after a normal run, the refusal's message after an early ending.
int MAIN(Session& s, std::string_view argument, const StartupStages& stages = program_stages());

// Steps 1 to 3 of the start-up: the run settings, the program-wide variables
// with their defaults, and the shared parameter file restored or created.
// Returns what was wrong with an existing parameter file, empty when nothing
// was. A file that cannot be created goes to the general error handler.
std::string start_program(Session& s);

// Steps 8 and 9, once the station is signed in: its print file PLIK and the
// sales document type M_SD.
void set_station_files(Session& s);

// Once the company tables are open: the bookings cut short at any station
// (a workstation killed or powered off while it booked) are finished, so a
// crash is mended at the next start of the program whichever station it
// gets. Quiet when there is nothing to finish. Stock changes those bookings
// could not make go on the station's print file (PLIK) and, with an
// operator, are shown in the editor.
CutShortBookings finish_cut_short_bookings_at_start(Session& s);

// The sales document type from the text of SD_DURVA.TXT: blanks, tabs and line
// ends around it removed, three characters, and "SD " unless it starts with
// S, R or F.
std::string sales_document_type(std::string_view file_text);

// The sales document type of the working folder: from SD_DURVA.TXT when it
// exists and can be read, else "SD ".
std::string read_sales_document_type();

// The closing line, written at the start of the second screen row.
inline constexpr std::string_view kClosingLine = "Koniec pracy programu DURVA";

}  // namespace durva
