// dbtool as the office's IT person runs it: a real process on a copy of a
// sample folder, its output and exit status checked.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <iterator>
#include <fstream>
#include <string>

#include "common/dbf/dbf_file.h"
#include "common/dbf/ntx_index.h"
#include "common/screen/codepage.h"
#include "support/fixture_folder.h"

namespace durva {
namespace {

struct ToolRun {
    int status = -1;
    std::string out;  // standard output, then standard error
    std::string std_out, std_err;
};

ToolRun dbtool(const test::TempFolder& dir, const std::string& args) {
    const std::string err_file = dir.file(".dbtool-stderr");
    std::string cmd = "cd '" + dir.path().string() + "' && '" + DURVA_BUILD_DIR + "/dbtool' " + args + " 2>'" +
                      err_file + "'";
    ToolRun r;
    FILE* p = ::popen(cmd.c_str(), "r");
    if (!p) return r;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) r.std_out.append(buf, n);
    int st = ::pclose(p);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    std::ifstream e(err_file, std::ios::binary);
    r.std_err.assign(std::istreambuf_iterator<char>(e), std::istreambuf_iterator<char>());
    r.out = r.std_out + r.std_err;
    return r;
}

// Messages are Polish without Polish letters, as the program's own: no
// English words the tool used to mix in, and plain ASCII.
void expect_program_language(const std::string& messages) {
    for (const char* english : {"usage", "not found", "unknown", "error", "record", "keys", "deleted", "rebuilt"})
        EXPECT_EQ(messages.find(english), std::string::npos) << english << " in " << messages;
    for (unsigned char c : messages) EXPECT_LT(c, 0x80) << messages;
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
    EXPECT_NE(r.out.find("Rekordy:  300 (usunietych 19)"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("KOD13      C    13"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("klucz DESCEND(KOD13+MAG)    dlugosc 14"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("klucz UPPER(NAZWA)+MAG    dlugosc 31"), std::string::npos) << r.out;
    expect_program_language(r.out);
}

TEST(Dbtool, CheckPassesSoundIndexesAndCatchesAStaleKey) {
    test::TempFolder dir("kod13");
    ToolRun ok = dbtool(dir, "check 16/03/as 16/03/as 16/03/as2 16/03/as3");
    EXPECT_EQ(ok.status, 0) << ok.out;
    EXPECT_NE(ok.out.find("as3.ntx: OK (kluczy 300"), std::string::npos) << ok.out;

    // Record 5's INDEKS changed behind the index's back (header 738, record 248 bytes).
    overwrite(dir.file("16/03/as.dbf"), 738 + 4 * 248 + 2, "99999   ");
    ToolRun bad = dbtool(dir, "check 16/03/as 16/03/as 16/03/as2");
    EXPECT_EQ(bad.status, 1) << bad.out;
    EXPECT_NE(bad.out.find("as.ntx: BLAD: rekord 5 nie stoi pod swoim kluczem"), std::string::npos) << bad.out;
    expect_program_language(bad.out);
    EXPECT_NE(bad.out.find("as2.ntx: OK"), std::string::npos) << bad.out;
}

TEST(Dbtool, CheckReportsADamagedIndexFileAndExitsNonZero) {
    test::TempFolder dir("kod13");
    overwrite(dir.file("16/03/pk.ntx"), 4, std::string("\x00\xF0\x00\x00", 4));  // root beyond the file
    ToolRun r = dbtool(dir, "check 16/03/pk 16/03/pk");
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_NE(r.out.find("pk.ntx: BLAD"), std::string::npos) << r.out;
}

TEST(Dbtool, ReindexRebuildsFromTheIndexOwnExpressionAndTheResultChecksOut) {
    test::TempFolder dir("kod13");
    overwrite(dir.file("16/03/as.dbf"), 738 + 4 * 248 + 2, "99999   ");
    ToolRun rebuilt = dbtool(dir, "reindex 16/03/as 16/03/as");
    EXPECT_EQ(rebuilt.status, 0) << rebuilt.out;
    EXPECT_NE(rebuilt.out.find("odbudowany, kluczy 300 (MAG+INDEKS)"), std::string::npos) << rebuilt.out;
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

    // Without an equal key nothing goes to standard output: the record a
    // soft seek stops on is only named, never shown as if it were the match.
    ToolRun missing = dbtool(dir, "seek 16/03/as 16/03/as 110004");
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.std_out, "");
    EXPECT_NE(missing.std_err.find("nie znaleziono klucza; nastepny wiekszy klucz ma rekord"), std::string::npos)
        << missing.std_err;
    expect_program_language(missing.std_err);
}

TEST(Dbtool, SeekTakesAKeyOnlyPartlyDescendingAsWritten) {
    test::TempFolder dir("kod13");
    // An index whose DESCEND covers only the warehouse, built beside the others.
    {
        auto dbf = dbf::DbfFile::open(dir.file("16/03/as.dbf"), platform::Share::Exclusive);
        dbf::NtxIndex::create(
            dir.file("16/03/asd.ntx"), "DESCEND(MAG)+UPPER(INDEKS)", dbf->fields(), dbf->record_count(),
            [&](std::uint32_t r) { return dbf->record_view(r); }, platform::Share::Exclusive, false);
    }
    // The key as the index holds it: warehouse 1 descending, then the index.
    const std::string stored = std::string(1, static_cast<char>(256 - '1')) + "10001";
    ToolRun r = dbtool(dir, "seek 16/03/as 16/03/asd '" + screen::to_utf8(stored) + "'");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.std_out.find("\n,1,10001,CUKIER BIAŁY KRYSZTAŁ 1KG,"), std::string::npos) << r.out;
}

TEST(Dbtool, DumpOfATableCutShortWarnsAndFails) {
    // Header 738 bytes, records of 248, 300 of them in the header.
    for (const std::uintmax_t size : {738u + 100u * 248u, 738u + 100u * 248u + 50u}) {
        test::TempFolder dir("kod13");
        std::filesystem::resize_file(dir.file("16/03/as.dbf"), size);
        ToolRun r = dbtool(dir, "dump 16/03/as");
        EXPECT_EQ(r.status, 1) << size;
        EXPECT_NE(r.std_err.find("tabela niepelna"), std::string::npos) << r.std_err;
        EXPECT_NE(r.std_err.find("naglowek podaje 300 rekordow, w pliku jest 100"), std::string::npos) << r.std_err;
        EXPECT_EQ(std::count(r.std_out.begin(), r.std_out.end(), '\n'), 101) << size;  // heading and 100 records
        expect_program_language(r.std_err);
    }
}

TEST(Dbtool, AMissingTableIsAClearMessage) {
    test::TempFolder dir;
    ToolRun r = dbtool(dir, "info nosuch");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("dbtool: Brak pliku"), std::string::npos) << r.out;
    expect_program_language(r.out);

    ToolRun unknown = dbtool(dir, "zrzut as");
    EXPECT_EQ(unknown.status, 2);
    EXPECT_NE(unknown.std_err.find("nieznane polecenie zrzut"), std::string::npos) << unknown.out;
    expect_program_language(unknown.out);
    ToolRun usage = dbtool(dir, "seek as");
    EXPECT_EQ(usage.status, 2);
    expect_program_language(usage.out);
}

}  // namespace
}  // namespace durva
