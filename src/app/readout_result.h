#pragma once
// What a scheduled sales read-out tells its scheduler: one line of text and
// an exit status, a different one for each kind of failure, so that a timer
// or a crontab can act on the status and an office worker can read the line.
#include <string>
#include <string_view>

#include "app/durva_menu.h"

namespace durva {

enum class ReadOutStatus : int {
    Done = 0,              // sales booked, or none to book
    ProgramFault = 1,      // the program itself failed
    BadArguments = 2,      // the command line
    NotAnOffice = 3,       // the folder is no office data folder, or its tables cannot be read
    UnknownStand = 4,      // no stand of that number in the register table
    StandWithoutPort = 5,  // the stand's port or speed no register can have
    AnotherRun = 6,        // another scheduled read-out of this folder still runs
    MenuBusy = 7,          // a workstation is in the register menu
    StationsTaken = 8,     // every station position is taken
    TableHeld = 9,         // a table held by another program beyond the waits
    DriverFailed = 10,     // the driver could not run, reported an error, or gave no sales file
    ImportFailed = 11,     // the sales could not be imported or booked
    SendFailed = 12,       // the goods could not be sent (no driver file made)
};

// How a failure's line ends: nothing was booked (a read-out), or sent (a send).
inline constexpr std::string_view kNothingBooked = " - nic nie zaksiegowano";
inline constexpr std::string_view kNothingSent = " - nic nie wyslano";

struct ReadOutResult {
    ReadOutStatus status = ReadOutStatus::Done;
    std::string line;  // without the stand's prefix
    int code() const { return static_cast<int>(status); }
};

// What item 2's read-out came to, unattended. `list` names the station's
// unmatched-lines list; `last_message` is the last message the run gave,
// the reason when it failed.
ReadOutResult result_of(const SalesReadOut& r, std::string_view list, std::string_view last_message);

// A failure of the given kind: its line says why, and that nothing was booked.
ReadOutResult failure(ReadOutStatus status, std::string_view why);

// What item 1's send came to, unattended. `last_message` is the last message
// the run gave, the reason when no driver file was made.
ReadOutResult result_of(const GoodsSend& g, std::string_view last_message);

// An amount as the line shows it: two decimals, a point, no grouping.
std::string amount_text(double amount);

}  // namespace durva
