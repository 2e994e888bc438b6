// dbbench's arguments as someone trying it out types them: nothing is run,
// and no folder made, unless the folder and the count make sense.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "support/fixture_folder.h"

namespace durva {
namespace {

struct BenchRun {
    int status = -1;
    std::string out;  // standard output and standard error together
};

BenchRun dbbench(const test::TempFolder& dir, const std::string& args) {
    const std::string cmd =
        "cd '" + dir.path().string() + "' && '" + DURVA_BUILD_DIR + "/dbbench' " + args + " 2>&1";
    BenchRun r;
    FILE* p = ::popen(cmd.c_str(), "r");
    if (!p) return r;
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
    const int st = ::pclose(p);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return r;
}

TEST(Dbbench, ArgumentsAreCheckedBeforeAnythingIsWritten) {
    const struct {
        const char* args;
        int status;
        const char* says;
    } cases[] = {
        {"--help", 0, "uzycie: dbbench FOLDER [N]"},
        {"-h", 0, "uzycie: dbbench FOLDER [N]"},
        {"", 2, "uzycie: dbbench FOLDER [N]"},
        {"--verbose", 2, "nieznana opcja --verbose"},
        {"wynik 100x", 2, "N musi byc liczba od 1 do 2000000"},
        {"wynik ' 100'", 2, "N musi byc liczba"},
        {"wynik -5", 2, "N musi byc liczba"},
        {"wynik 0", 2, "N musi byc liczba"},
        {"wynik 4294967297", 2, "N musi byc liczba"},  // 2^32 + 1 must not wrap to 1
        {"wynik 2000001", 2, "N musi byc liczba"},
        {"wynik 10 20", 2, "uzycie: dbbench FOLDER [N]"},
        {"plik.txt 10", 2, "plik.txt nie jest folderem"},
    };
    for (const auto& c : cases) {
        test::TempFolder dir;
        std::FILE* f = std::fopen(dir.file("plik.txt").c_str(), "w");
        ASSERT_NE(f, nullptr);
        std::fclose(f);
        const BenchRun r = dbbench(dir, c.args);
        EXPECT_EQ(r.status, c.status) << c.args << "\n" << r.out;
        EXPECT_NE(r.out.find(c.says), std::string::npos) << c.args << "\n" << r.out;
        for (const char* made : {"--help", "-h", "--verbose", "wynik"})
            EXPECT_FALSE(std::filesystem::exists(dir.file(made))) << c.args << " made " << made;
    }
}

}  // namespace
}  // namespace durva
