#pragma once
// The folder's log of the runs made without an operator (durva\odczyt.log):
// one line a run, with its date and time, the stand, what came of it and its
// exit status. The operator reads the last runs from the main menu, newest
// first, to see in the morning what the night did.
#include <cstddef>
#include <string>
#include <vector>

#include "common/session.h"
#include "platform/clock.h"

namespace durva {

inline constexpr char kRunLog[] = "durva\\odczyt.log";

// Adds one run's line, "yyyy-mm-dd hh:mm:ss LINE (kod N)", in one write, so
// that runs ending together do not mix their lines. A log that cannot be
// written is said on standard error (the run itself is reported elsewhere).
void log_run(const platform::LocalTime& when, const std::string& line, int code);

// The last `count` lines of the log, newest first; none when there is no log.
std::vector<std::string> last_runs(std::size_t count);

// The last runs in the editor, newest first, from the station's own file.
void show_last_runs(Session& s);

}  // namespace durva
