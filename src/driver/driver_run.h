#pragma once
// Runs of the register driver program durvadrv.exe: the input file it is
// given in durva\, the command lines, and the run itself. The program never
// talks to a register; everything goes through these files and one command.
#include <string>
#include <string_view>
#include <vector>

#include "common/menu_values.h"
#include "common/session.h"

namespace durva {

// The four command lines the program runs.
enum class DriverCommand {
    Send,                  // PLU records and PLU deletions
    ReadOut,               // sales and the PLU list: the driver leaves an output file
    Departments,           // the seven department records
    DepartmentsStartWait,  // the same through "start /WAIT", when durvawin.txt exists
};

// The command line for the current stand's port and speed (a speed of 0 is
// sent as 9600), byte for byte as the driver expects it.
std::string driver_command_line(DriverCommand kind, double port, double speed);

// Writes durva\data_in.txt afresh: the control line with no line break before
// it, each record preceded by CR LF, a final CR LF, no end-of-file byte. With
// `echo` the same text is also written on the screen from the cursor on.
// A file that cannot be written goes to the general error handler.
void write_input_file(Session& s, std::string_view control_line, const std::vector<std::string>& records,
                      bool echo = false);

// Puts the command line into m.AAA, removes the previous run's error file,
// runs the driver and waits for it to end. Whatever notice stands on the
// screen stays there while it runs; keys pressed meanwhile are discarded.
// durvadrv.exe is looked for in the working folder, then on the search path;
// the "start /WAIT" form starts it the same way. The driver's exit status is
// not looked at. False when the old error file could not be removed or the
// driver could not be started: the operator has then been told so in a
// message that stayed until a key, and there is no report to show, so the
// caller skips ERROR_DURVA (and goes on as after any run).
//
// Every driver run holds the folder's driver lock "durva\durvadrv.lck" for
// as long as the driver lives: the driver inherits the locked file, so a
// driver that outlives a program killed while it waited still holds it.
// A run never starts while an earlier one holds it (see below); the driver
// files in durva\ are one set for the whole folder.
bool run_driver(Session& s, MenuValues& m, DriverCommand kind);

// Waits while a driver run started earlier for this folder (by this or any
// workstation, or by a program since killed) is still running: its output
// file is not written yet, and must be neither overwritten by a second run
// nor missed. The operator is told and may give up with Esc; unattended it
// waits up to a few minutes. False when the earlier run still goes on.
bool wait_for_earlier_driver(Session& s);

}  // namespace durva
