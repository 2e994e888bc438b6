#pragma once
// The report after every driver run: what durva\error.txt says, and the
// input-file line the driver refused.
#include <string>
#include <string_view>

#include "common/session.h"

namespace durva {

// What the error file said after a driver run.
struct DriverReport {
    enum class Kind { Good, Error, NoFile, Unreadable, Empty };
    Kind kind = Kind::NoFile;
    std::string text;  // an error's first line (at most 79 characters), else the message shown
    bool good() const { return kind == Kind::Good; }
};

// Reads durva\error.txt. A first field (up to the first ";") whose number is
// greater than 0 is an error: the file's first 35 characters stay on screen,
// and after a second (or a key) the input-file line named by the second field
// is shown on row 24 until a key; the driver counts from the first record,
// unless DURVA.OLD exists, when it counts the control line as line 1.
// Anything else is "Wszystko dobrze" for up to three seconds. A run that left
// no error file, or an empty one, is said to have done so until a key.
// Changes no file. Returns what the file said; an unattended session is shown
// nothing and waits for nothing.
DriverReport ERROR_DURVA(Session& s);

// Shows line `line` (counted from 1) of a CR LF text file on row 24: its
// first 79 characters padded with blanks, in the current colour; then waits
// for a key. Shows nothing and waits for nothing when the file cannot be read
// or has no such line. Returns true.
bool WIERSZ_III(Session& s, std::string_view file, int line);

}  // namespace durva
