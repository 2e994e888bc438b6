#pragma once
// Running another program and waiting for it, without a shell: the command
// line is split into words and the program started directly, so nothing in it
// is ever interpreted (no redirections, no variables, no second command).
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace durva::platform {

// The words of a command line, split at blanks (spaces and tabs); runs of
// blanks count as one and there is no quoting.
std::vector<std::string> split_command_words(std::string_view command_line);

enum class ProgramSearch { WorkingFolderFirst, SearchPathOnly };

// Where a program of this name would be started from: the working folder
// first (the name found whatever its case), unless told to look on the search
// path only, then each folder of the search path PATH in turn (on the search
// path only, its relative folders are passed over too). Only a regular
// file that may be executed counts. A name holding a slash is taken as a
// path. nullopt when it is found nowhere.
std::optional<std::string> find_program(std::string_view name,
                                         ProgramSearch search = ProgramSearch::WorkingFolderFirst);

struct ChildRun {
    bool started = false;  // false: the program could not be started at all
    int error = 0;         // the operating system's error code when not started
    int exit_code = -1;    // its exit status, 128 + signal when a signal ended it
};

// Starts `program` (a path, as find_program gives it) with `args` (argv[1]
// on) and waits until it ends. The child reads from /dev/null and writes to
// /dev/null, and runs in a session of its own without a controlling
// terminal, so it can neither take the operator's keys nor write over the
// screen the program shows meanwhile.
ChildRun run_and_wait(const std::string& program, const std::vector<std::string>& args);

}  // namespace durva::platform
