// The sample office builder run as a newcomer runs it: a real process writing
// into a temporary folder, whose tables and indexes the table layer and
// dbtool must accept as they accept the office's own folders.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <string>

#include "common/dbf/table.h"
#include "common/dbf/xbase_values.h"
#include "common/mem_file.h"
#include "print/print_settings.h"
#include "support/fixture_folder.h"

namespace durva {
namespace {

namespace fs = std::filesystem;

struct ToolRun {
    int status = -1;
    std::string out;
};

ToolRun run(const std::string& dir, const std::string& program, const std::string& args) {
    std::string cmd = "cd '" + dir + "' && '" + DURVA_BUILD_DIR + "/" + program + "' " + args + " 2>&1";
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

// Every file of a folder with its bytes, by path inside the folder.
std::map<std::string, std::string> folder_bytes(const fs::path& root) {
    std::map<std::string, std::string> files;
    for (const auto& e : fs::recursive_directory_iterator(root)) {
        if (!e.is_regular_file()) continue;
        std::ifstream in(e.path(), std::ios::binary);
        files[fs::relative(e.path(), root).string()] = std::string(std::istreambuf_iterator<char>(in), {});
    }
    return files;
}

bool valid_ean(const std::string& code) {
    if (code.size() != 13 && code.size() != 8) return false;
    int sum = 0;
    for (size_t i = 0; i < code.size(); ++i) {
        if (code[i] < '0' || code[i] > '9') return false;
        // Weights 3 and 1 alternate from the digit before the check digit.
        sum += (code[i] - '0') * (((code.size() - i) % 2 == 0) ? 3 : 1);
    }
    return sum % 10 == 0;
}

std::string trimmed(std::string s) {
    while (!s.empty() && s.back() == ' ') s.pop_back();
    return s;
}

class SampleOffice : public ::testing::Test {
protected:
    std::string dir() const { return tmp_.path().string(); }
    ToolRun demo(const std::string& args) { return run(dir(), "durvademo", args); }
    std::unique_ptr<dbf::Table> open(const std::string& table) {
        return dbf::Table::open(dir() + "/office/26/03/" + table, platform::Share::Shared, settings_, true);
    }

    test::TempFolder tmp_;
    dbf::TableSettings settings_{false, true, false};  // deleted records visible
};

TEST_F(SampleOffice, EveryTableOpensAndEveryIndexChecksOut) {
    ToolRun r = demo("--date 2026-03-15 office");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("okres 03/26"), std::string::npos) << r.out;

    const std::map<std::string, std::vector<std::string>> tables = {
        {"as", {"as", "as2", "as3"}}, {"dow", {"dow1", "dow2", "dow3"}}, {"dowod", {"dowod1", "dowod2"}},
        {"slow", {"slow"}},           {"pk", {"pk"}}};
    for (const auto& [table, indexes] : tables) {
        std::string args = "check 26/03/" + table;
        for (const std::string& idx : indexes) args += " 26/03/" + idx;
        ToolRun check = run(dir() + "/office", "dbtool", args);
        EXPECT_EQ(check.status, 0) << check.out;

        auto t = open(table);
        for (const std::string& idx : indexes) t->add_index(dir() + "/office/26/03/" + idx);
        EXPECT_EQ(t->index_count(), static_cast<int>(indexes.size()));
        EXPECT_GT(t->record_count(), 0u) << table;
    }
    auto firma = dbf::Table::open(dir() + "/office/firma", platform::Share::Shared, settings_, true);
    firma->go_top();
    EXPECT_EQ(firma->text("ST"), "0000000000");
    EXPECT_EQ(firma->text("BMR"), "03/26");
    EXPECT_NE(trimmed(firma->text("NODB")), "");

    Memvars vars;
    ASSERT_TRUE(restore_mem_file(dir() + "/office/PARAMETR.MEM", vars).ok());
    EXPECT_EQ(vars.text("J_PTUA"), "23");
    EXPECT_EQ(vars.text("J_PTUB"), " 8");
    EXPECT_EQ(vars.text("J_PTUC"), " 5");
    EXPECT_EQ(vars.text("J_PTUZ"), " 0");
    EXPECT_EQ(vars.number("J_POZIOM"), 3);

    // The printer settings are an example only: the default queue prints.
    std::ifstream in(dir() + "/office/DRUKARKA.TXT", std::ios::binary);
    const std::string printers((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(printers.find(";LPT1="), std::string::npos);
    const print::PrintSettings settings = print::parse_print_settings(printers);
    EXPECT_EQ(settings.lpt1.queue, "");
    EXPECT_EQ(settings.lpt2.queue, "");
    EXPECT_EQ(settings.server, "");
}

TEST_F(SampleOffice, GoodsHoldWhatTheSendAndTheImportMeet) {
    ASSERT_EQ(demo("--date 2026-03-15 office").status, 0);
    auto as = open("as");
    std::set<std::string> warehouses;
    int lower_case = 0, priceless = 0, weighed_codes = 0, receipts_booked = 0;
    std::map<std::string, Date> last_receipt;  // NRD -> date, from the goods
    for (as->go_top(); !as->eof(); as->skip()) {
        warehouses.insert(as->text("MAG"));
        std::string name = trimmed(as->text("NAZWA"));
        bool has_upper = false, has_lower = false;
        for (char ch : name) {
            has_upper |= ch >= 'A' && ch <= 'Z';
            has_lower |= ch >= 'a' && ch <= 'z';
        }
        lower_case += has_lower && !has_upper;
        priceless += as->number("CENA2") == 0;
        std::string code = trimmed(as->text("KOD13"));
        if (code.size() == 7) {
            weighed_codes += code.compare(0, 2, "28") == 0;
        } else if (!code.empty()) {
            EXPECT_TRUE(valid_ean(code)) << "record " << as->recno() << " code " << code;
        }
        EXPECT_NEAR(as->number("ILOSC"), as->number("B_R_I") + as->number("ILOSC_PZ") - as->number("ILOSC_SD"), 1e-6)
            << "record " << as->recno();
        EXPECT_EQ(as->number("B_R_I_SD"), as->number("B_R_I"));
        if (as->text("RD_PZ") == "PZ ") {
            ++receipts_booked;
            EXPECT_GT(as->number("ILOSC_PZ"), 0);
            last_receipt[as->text("NRD_PZ")] = as->date("DATA_PZ");
        } else {
            EXPECT_TRUE(as->date("DATA_PZ").empty());
        }
    }
    EXPECT_EQ(as->record_count(), 3000u);
    for (const char* mag : {"1", "2", "3", "K", "U"}) EXPECT_TRUE(warehouses.count(mag)) << mag;
    EXPECT_GT(lower_case, 10);
    EXPECT_GT(priceless, 10);
    EXPECT_GT(weighed_codes, 10);
    EXPECT_GT(receipts_booked, 10);

    // The import's bar-code lookup: a code alone finds the highest warehouse
    // holding it first, then the others downwards.
    as->add_index(dir() + "/office/26/03/as2");
    std::string descending;
    for (char ch : std::string("5901234123457")) descending += static_cast<char>(256 - static_cast<unsigned char>(ch));
    ASSERT_TRUE(as->seek(descending, false));
    std::string order;
    for (; !as->eof() && as->text("KOD13") == "5901234123457"; as->skip()) order += as->text("MAG");
    EXPECT_TRUE(std::is_sorted(order.rbegin(), order.rend())) << order;
    for (char mag : {'K', '2', '1'}) EXPECT_NE(order.find(mag), std::string::npos) << order;

    // Each good's last receipt is a document in the headers with that date,
    // and the counter holds the last number given.
    auto dowod = open("dowod");
    dowod->add_index(dir() + "/office/26/03/dowod1");
    for (const auto& [nrd, date] : last_receipt) {
        ASSERT_TRUE(dowod->seek("PZ " + nrd, false)) << nrd;
        EXPECT_EQ(dowod->date("DATA"), date);
        EXPECT_NEAR(dowod->number("KWOTA"), dowod->number("NETTO") + dowod->number("VAT"), 0.005);
    }
    auto slow = open("slow");
    slow->add_index(dir() + "/office/26/03/slow");
    ASSERT_TRUE(slow->seek("PZ ", false));
    EXPECT_EQ(slow->number("NRD"), dowod->record_count());
    EXPECT_TRUE(slow->seek("SD ", false));
}

TEST_F(SampleOffice, ReceiptsAddUpInRowsHeadersAndGoods) {
    ASSERT_EQ(demo("--seed 3 --date 2026-03-15 office").status, 0);
    auto as = open("as");
    as->add_index(dir() + "/office/26/03/as");
    auto dow = open("dow");
    auto dowod = open("dowod");
    dowod->add_index(dir() + "/office/26/03/dowod1");

    std::map<std::string, double> netto, vat;   // by document number
    std::map<std::string, double> received;     // by MAG+INDEKS
    std::map<std::string, int> lines;
    for (dow->go_top(); !dow->eof(); dow->skip()) {
        std::string nrd = dow->text("NRD");
        EXPECT_EQ(dow->text("RD"), "PZ ");
        EXPECT_EQ(dow->text("LP"), dbf::str_number(++lines[nrd], 3, 0)) << "row " << dow->recno();
        EXPECT_NEAR(dow->number("WARTOSC"), dbf::round_decimal(dow->number("ILOSC") * dow->number("CENA"), 2), 1e-9);
        netto[nrd] += dow->number("WARTOSC");
        vat[nrd] += dow->number("PODATEK");
        std::string key = dow->text("MAG") + dow->text("INDEKS");
        received[key] += dow->number("ILOSC");
        ASSERT_TRUE(as->seek(key, false)) << key;
        EXPECT_EQ(as->text("NAZWA"), dow->text("NAZWA"));
        EXPECT_GE(as->date("DATA_PZ"), dow->date("DATA")) << key;  // the last receipt is the latest
    }
    ASSERT_FALSE(netto.empty());
    for (const auto& [nrd, sum] : netto) {
        ASSERT_TRUE(dowod->seek("PZ " + nrd, false)) << nrd;
        EXPECT_NEAR(dowod->number("NETTO"), sum, 0.005) << nrd;
        EXPECT_NEAR(dowod->number("VAT"), dbf::round_decimal(vat[nrd], 2), 0.005) << nrd;
        EXPECT_EQ(dowod->date("R_DATA"), dowod->date("DATA"));
    }
    EXPECT_EQ(dowod->record_count(), netto.size());
    for (as->go_top(); !as->eof(); as->skip()) {
        std::string key = as->text("MAG") + as->text("INDEKS");
        EXPECT_NEAR(as->number("ILOSC_PZ"), received.count(key) ? received[key] : 0.0, 1e-6) << key;
    }
}

TEST_F(SampleOffice, PeriodFollowsTheDayGiven) {
    struct Case {
        const char* date;
        int year, month, day;
        const char* bmr;
        const char* folder;
    };
    // The last day of a year of the nineties, and a first of the month,
    // where every document of the month falls on that one day.
    const Case cases[] = {{"1999-01-31", 1999, 1, 31, "01/99", "99/01"},
                          {"01.12.2026", 2026, 12, 1, "12/26", "26/12"}};
    for (const Case& c : cases) {
        ToolRun r = demo(std::string("--force --size 300 --date ") + c.date + " office");
        ASSERT_EQ(r.status, 0) << r.out;
        auto firma = dbf::Table::open(dir() + "/office/firma", platform::Share::Shared, settings_, true);
        firma->go_top();
        EXPECT_EQ(firma->text("BMR"), c.bmr);
        const std::string period = dir() + "/office/" + c.folder + "/";
        auto dowod = dbf::Table::open(period + "dowod", platform::Share::Shared, settings_, true);
        const Date today = Date::from_ymd(c.year, c.month, c.day);
        for (dowod->go_top(); !dowod->eof(); dowod->skip()) {
            EXPECT_LE(dowod->date("DATA"), today) << c.date;
            EXPECT_GE(dowod->date("DATA"), Date::from_ymd(c.year, c.month, 1)) << c.date;
        }
        EXPECT_GT(dowod->record_count(), 0u);
        dowod->close();
        firma->close();
    }
}

TEST_F(SampleOffice, SameSeedSameBytesOtherSeedOtherGoods) {
    ASSERT_EQ(demo("--seed 7 --date 15.03.2026 a").status, 0);
    ASSERT_EQ(demo("--date 2026-03-15 --seed 7 b").status, 0);
    ASSERT_EQ(demo("--seed 8 --date 2026-03-15 c").status, 0);
    auto a = folder_bytes(tmp_.path() / "a");
    // firma.dbf, PARAMETR.MEM, DRUKARKA.TXT, five period tables and their ten indexes
    EXPECT_EQ(a.size(), 18u);
    EXPECT_TRUE(a == folder_bytes(tmp_.path() / "b"));
    EXPECT_NE(a["26/03/as.dbf"], folder_bytes(tmp_.path() / "c")["26/03/as.dbf"]);
}

TEST_F(SampleOffice, OlderLayoutHasNoBarCodes) {
    ToolRun r = demo("--old --size 500 --date 2026-03-15 office");
    ASSERT_EQ(r.status, 0) << r.out;
    auto as = open("as");
    EXPECT_EQ(as->field_pos("KOD13"), 0);
    EXPECT_EQ(as->field_pos("CENAM"), 0);
    EXPECT_EQ(as->field_pos("DATA_PZ"), 0);
    EXPECT_EQ(as->record_count(), 500u);
    EXPECT_FALSE(fs::exists(tmp_.path() / "office/26/03/as3.ntx"));
    ToolRun check = run(dir() + "/office", "dbtool", "check 26/03/as 26/03/as 26/03/as2");
    EXPECT_EQ(check.status, 0) << check.out;
    EXPECT_NE(check.out.find("UPPER(NAZWA))"), std::string::npos) << check.out;
}

TEST_F(SampleOffice, RefusesBadCommandLinesAndKeepsExistingFolders) {
    struct Case {
        const char* args;
        int status;
    };
    const Case cases[] = {{"--size 0", 2},         {"--size 12x", 2},      {"--size 1000001", 2},
                          {"--size", 2},           {"--seed -1", 2},       {"--date 31.02.2026", 2},
                          {"--date 2090-01-01", 2}, {"--bogus", 2},        {"one two", 2},
                          {"--help", 0}};
    for (const Case& c : cases) {
        ToolRun r = demo(c.args);
        EXPECT_EQ(r.status, c.status) << c.args << "\n" << r.out;
    }
    EXPECT_FALSE(fs::exists(tmp_.path() / "sample"));

    ASSERT_EQ(demo("--size 50 --date 2026-03-15 office").status, 0);
    std::ofstream(tmp_.path() / "office/keep.txt") << "operator's own file";
    EXPECT_EQ(demo("--size 50 office").status, 1);
    EXPECT_TRUE(fs::exists(tmp_.path() / "office/keep.txt"));
    EXPECT_EQ(demo("--force --size 60 --date 2026-04-15 office").status, 0);
    EXPECT_FALSE(fs::exists(tmp_.path() / "office/keep.txt"));
    EXPECT_TRUE(fs::exists(tmp_.path() / "office/26/04/as.dbf"));

    // A folder that is not an office is never replaced, not even by force.
    fs::create_directories(tmp_.path() / "papers");
    std::ofstream(tmp_.path() / "papers/letter.txt") << "x";
    EXPECT_EQ(demo("--force papers").status, 1);
    EXPECT_TRUE(fs::exists(tmp_.path() / "papers/letter.txt"));
}

TEST_F(SampleOffice, FoldersBesideTheOfficeAreNeverTouched) {
    // A folder of the name a new office could be put together under.
    for (const char* name : {"office.nowy", "office.nowy-1"}) {
        fs::create_directories(tmp_.path() / name);
        std::ofstream(tmp_.path() / name / "notes.txt") << "operator's own";
    }
    ASSERT_EQ(demo("--size 50 --date 2026-03-15 office").status, 0);
    ASSERT_EQ(demo("--force --size 50 --date 2026-03-15 office").status, 0);
    std::set<std::string> beside;
    for (const auto& e : fs::directory_iterator(tmp_.path())) beside.insert(e.path().filename().string());
    EXPECT_EQ(beside, (std::set<std::string>{"office", "office.nowy", "office.nowy-1"}));
    for (const char* name : {"office.nowy", "office.nowy-1"})
        EXPECT_TRUE(fs::exists(tmp_.path() / name / "notes.txt")) << name;
    // The office is open to the office's users as any new folder.
    fs::create_directory(tmp_.path() / "plain");
    EXPECT_EQ(fs::status(tmp_.path() / "office").permissions(), fs::status(tmp_.path() / "plain").permissions());
}

}  // namespace
}  // namespace durva
