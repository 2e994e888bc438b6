#pragma once
// The general error handler: a failure no routine handles (a missing table
// file, a damaged header or index page, a malformed field list, a file that
// cannot be created or deleted) is shown to the operator with its cause, the
// file and the operating system's error code, and the operator chooses to
// try again or to end the program. Ending closes every table first, so the
// program never goes on with half of its tables open.
#include <exception>
#include <string>
#include <utility>

#include "platform/errors.h"

namespace durva {

struct Session;

// Thrown when the operator ends the program from the error handler; the
// start-up routine catches it and ends the run (exit code 0).
class ProgramEnd : public std::exception {
public:
    const char* what() const noexcept override { return "program ended by the operator"; }
};

// Shows the error and waits for the choice. Returns when the operator wants
// the operation tried again, the screen as it was; otherwise leaves the
// window on the screen, closes every table and throws ProgramEnd.
void handle_db_error(Session& s, const DbError& e);

// The same window and choice, for callers that cannot close the tables
// themselves (a wait inside a table operation): true for T, the screen as it
// was; false for N, the window left on the screen and nothing closed, the
// caller then ends the program with ProgramEnd. An unattended session gets
// false at once, the error added to its messages.
bool operator_retries(Session& s, const DbError& e);

// Why the operator ended the program from the handler: the cause, the file
// and the system's code with its text, for standard error once the terminal
// is given back; empty when the program did not end that way.
const std::string& program_end_note();

// Runs `op` until it succeeds, sending every DbError to the handler above.
template <class Op>
auto with_error_handler(Session& s, Op&& op) -> decltype(op()) {
    for (;;) {
        try {
            return op();
        } catch (const DbError& e) {
            handle_db_error(s, e);
        }
    }
}

}  // namespace durva
