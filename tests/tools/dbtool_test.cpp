// dbtool as the office's IT person runs it: a real process on a copy of a
// sample folder, its output and exit status checked.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "support/fixture_folder.h"

namespace durva {
namespace {

struct ToolRun {
    int status = -1;
    std::string out;
};

ToolRun dbtool(const test::TempFolder& dir, const std::string& args) {
    std::string cmd = "cd '" + dir.path().string() + "' && '" + DURVA_BUILD_DIR + "/dbtool' " + args + " 2>&1";
    ToolRun r;
    FILE* p = ::popen(cmd.c_str(), "r");
    if (!p) return r;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
    int st = ::pclose(p);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return r;
}

void overwrite(const std::string& file, long offset, const std::string& bytes) {
    std::fstream f(file, std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(offset);
    f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

TEST(Dbtool, InfoNamesStructureCountsAndKeyExpressions) {
    test::TempFolder dir("kod13");
    ToolRun r = dbtool(dir, "info '16\\03\\AS' 16/03/as 16/03/as2 16/03/as3");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("Records:  300 (19 deleted)"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("KOD13      C    13"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("key DESCEND(KOD13+MAG)    size 14"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("key UPPER(NAZWA)+MAG    size 31"), std::string::npos) << r.out;
}

TEST(Dbtool, CheckPassesSoundIndexesAndCatchesAStaleKey) {
    test::TempFolder dir("kod13");
    ToolRun ok = dbtool(dir, "check 16/03/as 16/03/as 16/03/as2 16/03/as3");
    EXPECT_EQ(ok.status, 0) << ok.out;
    EXPECT_NE(ok.out.find("as3.ntx: OK (300 keys"), std::string::npos) << ok.out;

    // Record 5's INDEKS changed behind the index's back (header 738, record 248 bytes).
    overwrite(dir.file("16/03/as.dbf"), 738 + 4 * 248 + 2, "99999   ");
    ToolRun bad = dbtool(dir, "check 16/03/as 16/03/as 16/03/as2");
    EXPECT_EQ(bad.status, 1) << bad.out;
    EXPECT_NE(bad.out.find("as.ntx: BAD: record 5 is not under its key"), std::string::npos) << bad.out;
    EXPECT_NE(bad.out.find("as2.ntx: OK"), std::string::npos) << bad.out;
}

TEST(Dbtool, CheckReportsADamagedIndexFileAndExitsNonZero) {
    test::TempFolder dir("kod13");
    overwrite(dir.file("16/03/pk.ntx"), 4, std::string("\x00\xF0\x00\x00", 4));  // root beyond the file
    ToolRun r = dbtool(dir, "check 16/03/pk 16/03/pk");
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_NE(r.out.find("pk.ntx: BAD"), std::string::npos) << r.out;
}

TEST(Dbtool, ReindexRebuildsFromTheIndexOwnExpressionAndTheResultChecksOut) {
    test::TempFolder dir("kod13");
    overwrite(dir.file("16/03/as.dbf"), 738 + 4 * 248 + 2, "99999   ");
    ToolRun rebuilt = dbtool(dir, "reindex 16/03/as 16/03/as");
    EXPECT_EQ(rebuilt.status, 0) << rebuilt.out;
    EXPECT_NE(rebuilt.out.find("rebuilt, 300 keys (MAG+INDEKS)"), std::string::npos) << rebuilt.out;
    ToolRun check = dbtool(dir, "check 16/03/as 16/03/as");
    EXPECT_EQ(check.status, 0) << check.out;
    ToolRun found = dbtool(dir, "seek 16/03/as 16/03/as 399999");
    EXPECT_EQ(found.status, 0) << found.out;
    EXPECT_NE(found.out.find(",3,99999,KAWA MIELONA 250G,"), std::string::npos) << found.out;
    EXPECT_FALSE(std::ifstream(dir.file("16/03/as.ntx.new")).good());
}

TEST(Dbtool, DumpShowsPolishLettersInUtf8AndTheDeletedFlag) {
    test::TempFolder dir("kod13");
    ToolRun r = dbtool(dir, "dump 16/03/as");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.rfind("DELETED,MAG,INDEKS,NAZWA,JM,", 0), 0u);
    EXPECT_NE(r.out.find("\n,1,10001,CUKIER BIAŁY KRYSZTAŁ 1KG,"), std::string::npos);
    EXPECT_NE(r.out.find("\n*,2,10007,ŁOSOŚ WĘDZONY 100G,"), std::string::npos);
    EXPECT_NE(r.out.find("\n,3,10009,\" PROMOCJA ŚWIĄTECZNA\","), std::string::npos);
}

TEST(Dbtool, SeekTakesThePlainValueAlsoForADescendingIndex) {
    test::TempFolder dir("kod13");
    ToolRun r = dbtool(dir, "seek 16/03/as 16/03/as2 5906285943900");
    EXPECT_EQ(r.status, 0) << r.out;
    // Warehouses K, 3, 2, 1 in descending order.
    size_t k = r.out.find("\n,K,"), w3 = r.out.find("\n,3,"), w2 = r.out.find("\n,2,"), w1 = r.out.find("\n,1,");
    ASSERT_NE(w1, std::string::npos) << r.out;
    EXPECT_LT(k, w3);
    EXPECT_LT(w3, w2);
    EXPECT_LT(w2, w1);

    ToolRun missing = dbtool(dir, "seek 16/03/as 16/03/as 110004");
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.out.find("not found"), std::string::npos);
}

TEST(Dbtool, AMissingTableIsAClearMessage) {
    test::TempFolder dir;
    ToolRun r = dbtool(dir, "info nosuch");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("dbtool: Brak pliku"), std::string::npos) << r.out;
}

}  // namespace
}  // namespace durva
