#include "receive/add_wiersz.h"

#include <gtest/gtest.h>

#include <fstream>

#include "common/dbf/xbase_values.h"
#include "receive/sales_tables.h"

namespace durva {
namespace {

using test::SalesFolder;

// A run as VOKA_SD prepares it before the first line.
void start_run(ImportRun& r) {
    r.M_NRD = "      58";
    prepare_matching(r);
    r.s.areas.table("as").set_order(r.bar_codes ? 2 : 1);
}

void set_company_name(Session& s, const std::string& name) {
    dbf::Table& firma = s.areas.table("firma");
    firma.go_top();
    ASSERT_TRUE(firma.lock_record());
    firma.put("NODB", name);
    firma.unlock();
}

struct MatchCase {
    const char* what;
    std::string j_nazwa, ps_mag, ps_mag_no, code;
    std::uint32_t goods;  // the goods record taken, 0 for an unmatched line
};

void check_cases(SalesFolder& f, const std::vector<MatchCase>& cases) {
    for (const MatchCase& c : cases) {
        SCOPED_TRACE(c.what);
        f.s().vars.set_text("J_NAZWA", c.j_nazwa);
        f.m.PS_MAG = c.ps_mag;
        f.m.PS_MAG_NO = c.ps_mag_no;
        ImportRun r(f.s(), f.m);
        r.list = std::tmpfile();
        start_run(r);
        const std::uint32_t rows_before = f.table("dd").record_count();
        const bool matched = ADD_WIERSZ(r, "S;" + c.code + ";TOWAR;100;1000;");
        EXPECT_EQ(matched, c.goods != 0);
        EXPECT_EQ(r.BYL_PPLIK, c.goods == 0);
        if (c.goods == 0) {
            EXPECT_EQ(f.table("dd").record_count(), rows_before);
            continue;
        }
        ASSERT_EQ(r.goods_recnos.size(), 1u);
        EXPECT_EQ(r.goods_recnos[0], c.goods);
        // The work table's relation moves the goods table: the row first.
        dbf::Table& dd = f.table("dd");
        dd.go_bottom();
        dbf::Table& as = f.table("as");
        as.go_to(c.goods);
        EXPECT_EQ(dd.text("MAG"), as.text("MAG"));
        EXPECT_EQ(dd.text("INDEKS"), as.text("INDEKS"));
        EXPECT_EQ(r.M_MAG, as.text("MAG"));
    }
}

TEST(SalesMatching, BarCodesUnderEachWarehouseMode) {
    SalesFolder f("kod13");
    const std::string kod = " OBSLUGA KOD13 ", plain = " OBSLUGA HURTOWNI ";
    check_cases(f, {
        {"code alone: highest warehouse", kod, " ", " ", "5901234123457", 3},
        {"warehouses play no part without KOD13 in the name", plain, "3", "K", "5901234123457", 3},
        {"warehouse given", kod, "2", " ", "5901234123457", 2},
        {"warehouse given, code not there", kod, "3", " ", "5901234123457", 0},
        {"warehouse given wins over the one to skip", kod, "1", "1", "5901234123457", 1},
        {"skip K: the walk takes 2", kod, " ", "K", "5901234123457", 2},
        {"skip 2: K comes first anyway", kod, " ", "2", "5901234123457", 3},
        {"skip K among four", kod, " ", "K", "5906285943900", 184},
        {"skip the only warehouse", kod, " ", "2", "1234567", 0},
        {"deleted records are never found", kod, " ", " ", "5907777777775", 11},
        {"deleted record skipped by the walk", kod, " ", "U", "5907777777775", 11},
        {"leading zero kept", plain, " ", " ", "0012345678905", 5},
        {"a 5-character code without the prefix", plain, " ", " ", "12345", 6},
        {"a 7-character code is not a prefix of a longer one", plain, " ", " ", "1234567", 7},
        {"unknown code", plain, " ", " ", "5900000000000", 0},
        {"blank code", plain, " ", " ", "", 0},
        {"code longer than the bar code field", plain, " ", " ", "59012341234571", 0},
        {"index is no bar code", plain, " ", " ", "10001", 0},
    });
}

TEST(SalesMatching, ShortCodePrefixFollowsTheCompany) {
    SalesFolder f("kod13");
    const std::string plain = " OBSLUGA HURTOWNI ";
    set_company_name(f.s(), "HURTOWNIA WOLIX");
    check_cases(f, {{"WOLIX in the name", plain, " ", " ", "12345", 9}});
    set_company_name(f.s(), "WOLIX I ZELMONT");
    check_cases(f, {{"ZELMONT too", plain, " ", " ", "12345", 6}});
    set_company_name(f.s(), "PRZEDSIEBIORSTWO");
    check_cases(f, {{"neither", plain, " ", " ", "12345", 6}});
    std::ofstream("WOLIX.TXT") << "";
    check_cases(f, {{"marker file", plain, " ", " ", "12345", 9},
                    {"a 7-character code is left alone", plain, " ", " ", "1234567", 7}});
}

TEST(SalesMatching, WithoutBarCodesByWarehouseAndIndex) {
    SalesFolder f("nokod13");
    const std::string kod = " OBSLUGA KOD13 ";
    check_cases(f, {
        {"warehouse 1 by default", kod, " ", " ", "10001", 1},
        {"warehouse given", kod, "2", " ", "10001", 2},
        {"skip plays no part", kod, " ", "1", "10001", 1},
        {"only in another warehouse", kod, " ", " ", "10004", 0},
        {"there when asked for", kod, "2", " ", "10004", 7},
        {"deleted", kod, "2", " ", "10007", 0},
        {"first 8 characters only", kod, " ", " ", "10001   X", 1},
        {"trailing blanks count", kod, " ", " ", "1000", 0},
    });
    EXPECT_FALSE(f.s().values.JEST_KOD13);
}

TEST(SalesMatching, RowHoldsTheGoodsDataAndTheLinesAmounts) {
    SalesFolder f("kod13");
    f.s().vars.set_text("J_NAZWA", " OBSLUGA KOD13 ");
    f.m.PS_MAG = "1";
    ImportRun r(f.s(), f.m);
    r.list = std::tmpfile();
    start_run(r);
    ASSERT_TRUE(ADD_WIERSZ(r, "S;5901234123457;INNA NAZWA;349;2000;"));
    dbf::Table& dd = f.table("dd");
    dd.go_top();
    dbf::Table& as = f.table("as");
    as.go_to(1);
    EXPECT_EQ(dd.text("RD"), "SD ");
    EXPECT_EQ(dd.text("R_P"), "R");
    EXPECT_EQ(dd.text("S_Z"), "S");
    EXPECT_EQ(dd.text("NRD"), "      58");
    EXPECT_EQ(dd.date("DATA"), Date::from_ymd(2016, 3, 15));
    EXPECT_EQ(dd.text("MAG"), "1");
    EXPECT_EQ(dd.text("LP"), "  1");
    EXPECT_EQ(dd.text("KTO"), "O");
    EXPECT_EQ(dd.text("ODB"), std::string(8, ' '));
    EXPECT_EQ(dd.text("INDEKS"), as.text("INDEKS"));
    EXPECT_EQ(dd.text("NAZWA"), as.text("NAZWA"));
    EXPECT_EQ(dd.text("JM"), as.text("JM"));
    EXPECT_EQ(dd.number("UPUST0"), 0);
    EXPECT_DOUBLE_EQ(dd.number("CENA0"), as.number("CENA0"));
    EXPECT_DOUBLE_EQ(dd.number("CENA"), 1.745);
    EXPECT_EQ(dd.text("NB"), "B");
    EXPECT_DOUBLE_EQ(dd.number("ILOSC"), 2);
    EXPECT_DOUBLE_EQ(dd.number("WARTOSC"), 3.49);
    EXPECT_EQ(dd.text("PODATEK0"), as.text("PODATEK0"));
    const double rate = dbf::val_number(as.text("PODATEK0"));
    EXPECT_NEAR(dd.number("PODATEK"), 3.49 * rate / (rate + 100), 0.00005);
    EXPECT_DOUBLE_EQ(dd.number("BRUTTO"), 3.49);
    EXPECT_EQ(dd.text("SWW"), as.text("SWW"));
    EXPECT_EQ(dd.text("PKWIU"), as.text("PKWIU"));
    EXPECT_EQ(dd.number("CENA_N"), 0);
    EXPECT_EQ(r.M_INDEKS, as.text("INDEKS"));
    EXPECT_EQ(r.P1, "  1");
}

TEST(SalesMatching, RowNumbersPast999AreAsterisks) {
    SalesFolder f("kod13");
    ImportRun r(f.s(), f.m);
    r.list = std::tmpfile();
    start_run(r);
    for (int i = 0; i < 1000; ++i) ASSERT_TRUE(ADD_WIERSZ(r, "S;5901234123457;X;1;1;"));
    dbf::Table& dd = f.table("dd");
    dd.go_to(999);
    EXPECT_EQ(dd.text("LP"), "999");
    dd.go_to(1000);
    EXPECT_EQ(dd.text("LP"), "***");
}

TEST(SalesMatching, UnmatchedAndRefusedLinesAreListedAsRead) {
    SalesFolder f("kod13");
    ImportRun r(f.s(), f.m);
    r.list = std::tmpfile();
    start_run(r);
    const std::string unknown = "S;5900000000000;NIEZNANY \x86;100;1000;  ";
    const std::string too_big = "S;5901234123457;X;999999999999999;1000;";
    const std::string not_whole = "S;5901234123457;X;10.5;1000;";
    EXPECT_FALSE(ADD_WIERSZ(r, unknown));
    EXPECT_FALSE(ADD_WIERSZ(r, too_big));
    EXPECT_FALSE(ADD_WIERSZ(r, not_whole));
    EXPECT_FALSE(ADD_WIERSZ(r, "S;5901234123457;X;100"));  // not a sales line: no trace
    EXPECT_EQ(f.table("dd").record_count(), 0u);
    EXPECT_EQ(r.refused, 2);
    std::rewind(r.list);
    std::string listed(4096, '\0');
    listed.resize(std::fread(listed.data(), 1, listed.size(), r.list));
    EXPECT_EQ(listed, unknown + "\r\n" + too_big + "\r\n" + not_whole + "\r\n");
}

TEST(SalesMatching, ALineThatWouldOverflowTheDocumentTotalIsRefused) {
    SalesFolder f("kod13");
    ImportRun r(f.s(), f.m);
    r.list = std::tmpfile();
    start_run(r);
    r.layout = TotalsLayout::of(&f.table("dowod"));
    // 5 000 000 000.00 each: nineteen fit the header's 14.2 totals, twenty do not.
    const std::string line = "S;5901234123457;X;500000000000;1000000;";
    for (int i = 0; i < 19; ++i) ASSERT_TRUE(ADD_WIERSZ(r, line));
    EXPECT_FALSE(ADD_WIERSZ(r, line));
    EXPECT_EQ(r.refused, 1);
    EXPECT_EQ(f.table("dd").record_count(), 19u);
}

}  // namespace
}  // namespace durva
