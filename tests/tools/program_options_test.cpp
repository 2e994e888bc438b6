// Every program of the suite answers --help and --version, refuses an option
// it does not know with status 2 instead of starting its work, and the
// scheduled read-out says a failure on standard error as well, where a
// scheduler that throws standard output away still reports it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/readout_office.h"
#include "support/child_process.h"

namespace durva::test {
namespace {

// Standard output, or with `errors` standard error alone, and the status.
ProgramRun run_shell(const std::string& command, bool errors = false) {
    return run_program("/bin/sh", {"-c", errors ? command + " 2>&1 >/dev/null" : command + " 2>/dev/null"});
}

TEST(ProgramOptions, HelpVersionAndUnknownOptions) {
    for (const char* name : {"durva", "durvaedit", "dbtool", "durvadrv.exe", "durvademo"}) {
        SCOPED_TRACE(name);
        const std::string program = std::string(DURVA_BUILD_DIR) + "/" + name;
        const ProgramRun version = run_shell(program + " --version </dev/null");
        EXPECT_EQ(version.code, 0);
        EXPECT_EQ(version.line, std::string(name) + " 0.1.0");
        EXPECT_EQ(run_shell(program + " --help </dev/null").code, 0);
        const ProgramRun unknown = run_shell(program + " --nie-ma-takiej </dev/null", true);
        EXPECT_EQ(unknown.code, 2);
        EXPECT_NE(unknown.line.find("--nie-ma-takiej"), std::string::npos) << unknown.line;
    }
}

TEST(ProgramOptions, AScheduledRunThatFailsSaysSoOnStandardError) {
    ReadOutOffice office;
    const ProgramRun failed = run_shell(kProgram + " --odczyt 42 --folder " + office.path().string(), true);
    EXPECT_EQ(failed.code, 4);
    EXPECT_EQ(failed.line, "durva: kasa 42: brak kasy 42 w durva\\durva.DBF - nic nie zaksiegowano");
    // A run that went well says nothing there.
    const ProgramRun fine = run_shell(kProgram + " --odczyt 1 --folder " + office.path().string(), true);
    EXPECT_EQ(fine.code, 0);
    EXPECT_EQ(fine.line, "");
}

}  // namespace
}  // namespace durva::test
