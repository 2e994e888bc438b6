#pragma once
// What the simulator does for the program: performs one input file on a
// port's register and says how it went, in the words of the error file.
#include <string>

#include "arguments.h"
#include "records.h"

namespace durvadrv {

// The error file's content: the code, the record the run stopped at (counted
// from 1 after the control line, 0 for the control line itself, none when
// the fault is not a record's) and a short text.
struct Report {
    Fault fault = Fault::None;
    int line = -1;
    std::string text;
};

// "code;line;text" and CR LF; an empty line field when there is no line.
std::string error_file_text(const Report& report);

// Performs the input file named by the arguments on the register of their
// port, in `folder` (already resolved and known to exist), writing the
// output files the control line asks for. Records before a bad one stay
// applied, as a register takes records one by one; nothing after it is.
Report perform_input_file(const std::string& folder, const Arguments& args);

}  // namespace durvadrv
