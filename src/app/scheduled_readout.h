#pragma once
// The scheduled sales read-out: menu item 2 for one stand, run by a timer or
// a crontab without anyone at the screen. It signs in as a station, opens the
// company tables, holds the register table exclusively as the main menu does
// (so it is refused while a workstation is in the menu and keeps workstations
// out of the menu while it runs), reads the stand's register out through the
// driver, books the sales, signs out and ends with one line and a status.
#include <cstdio>
#include <string>
#include <vector>

#include "app/readout_result.h"
#include "common/session.h"

namespace durva {

// What a run without an operator does: item 2's read-out, or item 1's send.
enum class ScheduledJob { ReadOut, Send };

// The command line of the mode: "--odczyt NR" or "--wyslij NR" (or with
// "="), the stand number 1 to 99 or "wszystkie" (every stand with a port),
// and optionally "--folder KATALOG" (or "--folder=KATALOG"), the office
// folder, else the working folder.
struct ScheduledArgs {
    ScheduledJob job = ScheduledJob::ReadOut;
    int stand = 0;
    bool all = false;
    std::string folder;
    std::string error;  // what is wrong with the words, empty when nothing
};
ScheduledArgs parse_scheduled_args(const std::vector<std::string>& words);

// True when the words ask for a run without an operator.
bool wants_scheduled_run(const std::vector<std::string>& words);

// The read-out itself in the working folder, on an unattended session that
// has seen nothing else: sign-in, tables, register table, item 2, sign-out.
ReadOutResult scheduled_readout(Session& s, int stand);
// The same for the send of item 1.
ReadOutResult scheduled_send(Session& s, int stand);

// The register table's number of a stand, two digits.
std::string stand_label(int stand);

// The whole mode as the program runs it: the words checked, the office
// folder entered and checked, a second run of the folder refused, the run
// made for the stand (or for each stand with a port in turn: they share the
// driver's files), its line written to `out` and appended with the date and
// time to the folder's log. Returns the exit status, the worst of all stands.
int run_scheduled(const std::vector<std::string>& words, std::FILE* out);

inline constexpr char kReadOutLock[] = "durva\\odczyt.lck";

}  // namespace durva
