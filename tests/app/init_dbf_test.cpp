#include "app/init_dbf.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <algorithm>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "app/durva.h"
#include "app/station_support.h"
#include "common/dbf/work_areas.h"
#include "support/current_folder.h"
#include "support/fixture_folder.h"
#include "support/headless_session.h"

namespace durva::testing {

namespace {

namespace fs = std::filesystem;

std::string read_file(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Every file of a folder tree with its bytes, to see that nothing changed.
std::map<std::string, std::string> snapshot(const fs::path& root) {
    std::map<std::string, std::string> files;
    for (const auto& e : fs::recursive_directory_iterator(root))
        if (e.is_regular_file()) files[fs::relative(e.path(), root).string()] = read_file(e.path());
    return files;
}

}  // namespace

class CompanyTables : public ::testing::Test {
protected:
    explicit CompanyTables(const std::string& sample = "kod13") : folder_(sample), here_(folder_.path()) {
        h_.session.values.STACJA = 3;
    }
    dbf::WorkAreas& areas() { return h_.session.areas; }
    std::string message_row() { return h_.text(17, 0, 80); }
    void set_bmr(const std::string& bmr) { test::write_company_field(folder_.file("firma.dbf"), "BMR", bmr); }

    test::TempFolder folder_;
    test::CurrentFolder here_;
    HeadlessSession h_;
};

TEST_F(CompanyTables, OpensEveryTableInItsAreaWithItsIndexes) {
    h_.session.vars.set_number("J_POZIOM", 3, 10, 0);
    // The sign-in leaves the company table open exclusively.
    areas().select(1);
    areas().use("firma", "firma", platform::Share::Exclusive);

    ASSERT_TRUE(INIT_DBF(h_.session));
    EXPECT_EQ(h_.session.values.HH, "16\\03");
    EXPECT_TRUE(h_.session.values.JEST_KOD13);
    EXPECT_EQ(h_.session.vars.number("J_POZIOM"), 3) << "the goods have CENAM";

    struct Expected {
        int area;
        const char* alias;
        std::vector<std::string> indexes;  // in the order of the list: the first is the controlling one
    };
    for (const Expected& e : {Expected{1, "firma", {}}, Expected{2, "as", {"as", "as2", "as3"}},
                              Expected{4, "dd", {"d03"}}, Expected{5, "dow", {"dow1", "dow2", "dow3"}},
                              Expected{6, "dowod", {"dowod1", "dowod2"}}, Expected{9, "slow", {"slow"}},
                              Expected{10, "pk", {"pk"}}}) {
        SCOPED_TRACE(e.alias);
        ASSERT_TRUE(areas().used(e.area));
        dbf::Table& t = areas().table(e.area);
        EXPECT_EQ(t.alias(), e.alias);
        std::vector<std::string> indexes;
        for (int i = 1; i <= t.index_count(); ++i) indexes.push_back(fs::path(t.index(i).path()).stem().string());
        EXPECT_EQ(indexes, e.indexes);
        EXPECT_EQ(t.exclusive(), e.area == 4);
        if (e.area != 4 && !e.indexes.empty()) {
            EXPECT_EQ(t.order(), 1);
        }
    }
    EXPECT_FALSE(areas().used(3));
    EXPECT_FALSE(areas().used(7));
    // The goods' first order is warehouse and index.
    dbf::Table& goods = areas().table(2);
    EXPECT_TRUE(goods.seek("1" "10001   "));
    EXPECT_EQ(goods.recno(), 1u);

    // The work table: current, empty, in record order.
    EXPECT_EQ(areas().current(), 4);
    dbf::Table& dd = areas().table();
    EXPECT_EQ(dd.record_count(), 0u);
    EXPECT_EQ(dd.order(), 0);
    EXPECT_TRUE(fs::exists(folder_.path() / "rob" / "d03.dbf"));
    EXPECT_TRUE(fs::exists(folder_.path() / "rob" / "d03.ntx"));
}

TEST_F(CompanyTables, WorkTableHasTheFieldsOfTheListAndFollowsTheGoods) {
    ASSERT_TRUE(INIT_DBF(h_.session));
    dbf::Table& dd = areas().table(4);
    const char* names[] = {"R_P",    "S_Z",   "RD",    "NRD",      "DATA",    "MAG",    "LP",  "KTO",
                           "ODB",    "INDEKS", "NAZWA", "JM",      "UPUST0",  "CENA0",  "CENA", "NB",
                           "ILOSC",  "WARTOSC", "PODATEK0", "PODATEK", "BRUTTO", "SWW", "PKWIU", "CENA_N"};
    ASSERT_EQ(dd.field_count(), 24);
    for (int i = 0; i < 24; ++i) EXPECT_EQ(dd.field_name(i + 1), names[i]);
    EXPECT_EQ(dd.fields()[10].length, 30);    // NAZWA
    EXPECT_EQ(dd.fields()[13].type, 'N');     // CENA0 N 14 4
    EXPECT_EQ(dd.fields()[13].length, 14);
    EXPECT_EQ(dd.fields()[13].decimals, 4);
    EXPECT_EQ(dd.fields()[4].type, 'D');
    EXPECT_EQ(dd.fields()[20].length, 16);    // BRUTTO N 16 2

    // Moving the work table puts the goods on the good of the same warehouse and index.
    ASSERT_TRUE(dd.append_blank());
    dd.put("MAG", dbf::FieldValue(std::string("2")));
    dd.put("INDEKS", dbf::FieldValue(std::string("10004")));
    ASSERT_TRUE(dd.append_blank());
    dd.put("MAG", dbf::FieldValue(std::string("1")));
    dd.put("INDEKS", dbf::FieldValue(std::string("10004")));  // only in warehouse 2
    dd.go_top();
    EXPECT_EQ(areas().table(2).recno(), 7u);
    dd.skip(1);
    EXPECT_TRUE(areas().table(2).eof());
    // The work table's own index is kept current: warehouse 1 before 2.
    dd.set_order(1);
    dd.go_top();
    EXPECT_EQ(dd.text("MAG"), "1");
}

TEST(WorkTableList, IsTheExactFieldListText) {
    const std::string list = work_table_field_list(3);
    EXPECT_EQ(list.substr(0, 52), "rob\\d03,R_P       ,C,  1,  0,S_Z       ,C,  1,  0,RD");
    EXPECT_NE(list.find(",NAZWA     ,C, 30,  0,"), std::string::npos);
    EXPECT_NE(list.find(",UPUST0    ,N,  4,  1,"), std::string::npos);
    EXPECT_NE(list.find(",DATA      ,D,  8,  0,"), std::string::npos);
    EXPECT_EQ(list.substr(list.size() - 21), ",CENA_N    ,N, 14,  2");
    // The path, then four elements for each of the 24 fields.
    EXPECT_EQ(std::count(list.begin(), list.end(), ','), 24 * 4);
    EXPECT_EQ(work_table_field_list(10).substr(0, 8), "rob\\d10,");
}

TEST_F(CompanyTables, LeftoverWorkTableIsReplacedByAnEmptyOne) {
    ASSERT_TRUE(INIT_DBF(h_.session));
    dbf::Table& dd = areas().table(4);
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(dd.append_blank());
    dd.commit();
    areas().close_all();

    HeadlessSession again;
    again.session.values.STACJA = 3;
    ASSERT_TRUE(INIT_DBF(again.session));
    EXPECT_EQ(again.session.areas.table(4).record_count(), 0u);
}

class CompanyTablesWithoutBarCodes : public CompanyTables {
protected:
    CompanyTablesWithoutBarCodes() : CompanyTables("nokod13") {}
};

TEST_F(CompanyTablesWithoutBarCodes, TwoGoodsIndexesAndOnePriceLevel) {
    h_.session.vars.set_number("J_POZIOM", 3, 10, 0);
    ASSERT_TRUE(INIT_DBF(h_.session));
    EXPECT_FALSE(h_.session.values.JEST_KOD13);
    EXPECT_EQ(areas().table(2).index_count(), 2);
    EXPECT_EQ(h_.session.vars.number("J_POZIOM"), 1);
}

TEST_F(CompanyTablesWithoutBarCodes, OnePriceLevelStaysOne) {
    h_.session.vars.set_number("J_POZIOM", 1, 10, 0);
    ASSERT_TRUE(INIT_DBF(h_.session));
    EXPECT_EQ(h_.session.vars.number("J_POZIOM"), 1);
}

struct PeriodCase {
    const char* bmr;
    const char* hh;  // "" when the period is no valid one
};

class PeriodFolder : public ::testing::TestWithParam<PeriodCase> {};

TEST_P(PeriodFolder, FromTheCompanyRecordsPeriod) {
    const auto hh = period_folder(GetParam().bmr);
    if (*GetParam().hh)
        EXPECT_EQ(hh, std::optional<std::string>(GetParam().hh));
    else
        EXPECT_EQ(hh, std::nullopt);
}

INSTANTIATE_TEST_SUITE_P(Bmr, PeriodFolder,
                         ::testing::Values(PeriodCase{"03/16", "16\\03"}, PeriodCase{"12/99", "99\\12"},
                                           PeriodCase{"01-00", "00\\01"}, PeriodCase{"     ", ""},
                                           PeriodCase{"ab/cd", ""}, PeriodCase{"13/16", ""},
                                           PeriodCase{"00/16", ""}, PeriodCase{"3/16 ", ""},
                                           PeriodCase{"03/1", ""}, PeriodCase{"", ""},
                                           PeriodCase{"03/..", ""}, PeriodCase{"03/16xyz", "16\\03"}));

struct FailureCase {
    const char* name;
    const char* bmr;                 // written into the company record first
    const char* remove;              // a file or folder removed first, or ""
    const char* message;
};

class CompanyTablesRefused : public CompanyTables, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(CompanyTablesRefused, SaysWhyAndChangesNothing) {
    const FailureCase& c = GetParam();
    if (*c.bmr) set_bmr(c.bmr);
    if (*c.remove) fs::remove_all(folder_.path() / c.remove);
    h_.screen.say(3, 0, "ekran przed");
    const auto before = snapshot(folder_.path());

    EXPECT_FALSE(INIT_DBF(h_.session));
    EXPECT_NE(message_row().find(c.message), std::string::npos) << message_row();
    EXPECT_EQ(h_.clock.now_ms(), 1000) << "the message stands for a second";
    areas().close_all();
    EXPECT_EQ(snapshot(folder_.path()), before);
    EXPECT_FALSE(fs::exists(folder_.path() / "rob"));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CompanyTablesRefused,
    ::testing::Values(FailureCase{"BlankPeriod", "     ", "", "Bledny okres w firma.dbf: \"     \""},
                      FailureCase{"LettersInPeriod", "ab/cd", "", "Bledny okres w firma.dbf: \"ab/cd\""},
                      FailureCase{"MonthThirteen", "13/16", "", "Bledny okres w firma.dbf: \"13/16\""},
                      FailureCase{"MissingPeriodFolder", "", "16", "Plik 16\\03\\as niedostepny"},
                      FailureCase{"PeriodWithoutFolder", "04/16", "", "Plik 16\\04\\as niedostepny"},
                      FailureCase{"MissingGoodsTable", "", "16/03/as.dbf", "Plik 16\\03\\as niedostepny"}),
    [](const ::testing::TestParamInfo<FailureCase>& p) { return std::string(p.param.name); });

TEST_F(CompanyTables, MissingGoodsTableClearsTheScreenFirst) {
    fs::remove(folder_.path() / "16" / "03" / "as.dbf");
    h_.screen.say(3, 0, "ekran przed");
    EXPECT_FALSE(INIT_DBF(h_.session));
    EXPECT_EQ(h_.text(3, 0, 11), std::string(11, ' '));
}

TEST_F(CompanyTables, CompanyTableHeldExclusivelyMeansWaiting) {
    dbf::WorkAreas other;
    other.use("firma", "firma", platform::Share::Exclusive);
    EXPECT_FALSE(INIT_DBF(h_.session));
    EXPECT_NE(message_row().find("Musisz zaczekac"), std::string::npos) << message_row();
    EXPECT_EQ(h_.clock.now_ms(), 15'000 + 1000);
    EXPECT_FALSE(areas().used(1));
}

TEST_F(CompanyTables, DocumentHeadersHeldExclusivelyElsewhereNameThatTable) {
    dbf::WorkAreas other;
    other.use("16\\03\\dowod", "dowod", platform::Share::Exclusive);
    EXPECT_FALSE(INIT_DBF(h_.session));
    EXPECT_NE(message_row().find("Plik 16\\03\\dowod niedostepny"), std::string::npos) << message_row();
    EXPECT_EQ(h_.clock.now_ms(), 20'000 + 1000);
}

// The whole start-up on a copy of an office folder: sign-in, tables, sign-out.
class StartUpWithTables : public CompanyTables {
protected:
    std::string st() { return test::read_station_string(folder_.file("firma.dbf")); }
};

TEST_F(StartUpWithTables, SignsInOpensTheTablesAndSignsOutAtTheEnd) {
    test::write_company_field(folder_.file("firma.dbf"), "ST", "0100000000");
    StartupStages stages = program_stages();
    int station_in_menu = 0;
    std::string hh_in_menu;
    stages.DURVA_ = [&](Session& s) {
        station_in_menu = s.values.STACJA;
        hh_in_menu = s.values.HH;
        EXPECT_EQ(test::read_station_string(folder_.file("firma.dbf")), "1000000000");
        EXPECT_EQ(s.areas.current(), 4);
    };
    EXPECT_EQ(MAIN(h_.session, "", stages), 0);
    EXPECT_EQ(station_in_menu, 1);
    EXPECT_EQ(hh_in_menu, "16\\03");
    EXPECT_EQ(h_.session.values.PLIK, "rob\\wydruk01.prn");
    EXPECT_EQ(h_.text(1, 0, 27), "Koniec pracy programu DURVA");
    h_.session.areas.close_all();
    EXPECT_EQ(st(), "0000000000");
    EXPECT_TRUE(fs::exists(folder_.path() / "rob" / "d01.dbf"));
}

TEST_F(StartUpWithTables, ABadPeriodEndsTheRunAfterSigningOut) {
    set_bmr("13/16");
    bool menu_ran = false;
    StartupStages stages = program_stages();
    stages.DURVA_ = [&](Session&) { menu_ran = true; };
    EXPECT_EQ(MAIN(h_.session, "", stages), 0);
    EXPECT_FALSE(menu_ran);
    EXPECT_NE(message_row().find("Bledny okres"), std::string::npos);
    EXPECT_EQ(h_.text(1, 0, 27).find("Koniec"), std::string::npos);
    h_.session.areas.close_all();
    EXPECT_EQ(st(), "0000000000");
}

TEST_F(StartUpWithTables, AllStationsTakenEndsAtOnceWithoutSigningOut) {
    test::write_company_field(folder_.file("firma.dbf"), "ST", "1111111110");
    dbf::WorkAreas other;
    other.use("firma", "firma", platform::Share::Shared);
    bool tables_opened = false;
    StartupStages stages = program_stages();
    stages.INIT_DBF = [&](Session&) { return tables_opened = true; };
    EXPECT_EQ(MAIN(h_.session, "", stages), 0);
    EXPECT_FALSE(tables_opened);
    EXPECT_NE(message_row().find("Wszystkie stacje zajete"), std::string::npos);
    h_.session.areas.close_all();
    other.close_all();
    EXPECT_EQ(st(), "1111111110");
}

}  // namespace durva::testing
