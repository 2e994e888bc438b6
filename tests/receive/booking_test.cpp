#include "receive/rep_dow_voka.h"

#include <gtest/gtest.h>

#include <map>
#include <random>

#include "common/dbf/field_codec.h"
#include "common/dbf/xbase_values.h"
#include "common/screen/keys.h"
#include "receive/add_wiersz.h"
#include "receive/booking.h"
#include "receive/stock_change.h"
#include "receive/zrob_sd_voka.h"
#include "receive/sales_tables.h"

namespace durva {
namespace {

using test::SalesFolder;
using test::write_sales;

void set_goods(SalesFolder& f, std::uint32_t rec, double cena0, const std::string& rate) {
    dbf::Table& as = f.table("as");
    as.go_to(rec);
    ASSERT_TRUE(as.lock_record());
    as.put("CENA0", cena0);
    as.put("PODATEK0", rate);
    as.unlock();
}

// Every index of the tables a booking writes still finds every record.
void expect_indexes_sound(SalesFolder& f) {
    for (const char* alias : {"as", "dow", "dowod", "slow"}) {
        dbf::Table& t = f.table(alias);
        for (int i = 1; i <= t.index_count(); ++i) {
            SCOPED_TRACE(std::string(alias) + " index " + std::to_string(i));
            EXPECT_EQ(t.index(i).verify(t.record_count()), "");
            EXPECT_EQ(t.index(i).key_count(), t.record_count());
            for (std::uint32_t r = 1; r <= t.record_count(); ++r) {
                t.go_to(r);
                const std::string key = t.index(i).key_of(t.record());
                bool found = false;
                for (auto e = t.index(i).seek(key); e && e->key == key && !found; e = t.index(i).next(*e))
                    found = e->recno == r;
                ASSERT_TRUE(found) << "record " << r;
            }
        }
    }
}

TEST(SalesBooking, OneRowFieldByField) {
    SalesFolder f("nokod13", {' '});
    set_goods(f, 1, 90, "23");
    dbf::Table& as = f.table("as");
    as.go_to(1);
    const double ilosc = as.number("ILOSC"), bri = as.number("B_R_I"), brisd = as.number("B_R_I_SD"),
                 ilosc_sd = as.number("ILOSC_SD");
    const std::uint32_t headers = f.table("dowod").record_count(), rows = f.table("dow").record_count();
    write_sales("durva/data_out.xxx", {"S;10001;CUKIER;12300;1000;"});
    ASSERT_TRUE(ZROB_SD_VOKA(f.s(), f.m, "durva\\data_out.xxx"));

    dbf::Table& h = f.table("dowod");
    ASSERT_EQ(h.record_count(), headers + 1);
    h.go_to(headers + 1);
    EXPECT_EQ(h.text("R_P"), "R");
    EXPECT_EQ(h.text("S_Z"), "S");
    EXPECT_EQ(h.text("RD"), "SD ");
    EXPECT_EQ(h.text("NRD"), "      58");
    EXPECT_EQ(h.date("DATA"), Date::from_ymd(2016, 3, 15));
    EXPECT_EQ(h.text("MAG"), "1");
    EXPECT_EQ(h.text("KTO"), "O");
    EXPECT_DOUBLE_EQ(h.number("WARTOSC0"), 90);
    EXPECT_DOUBLE_EQ(h.number("NETTO"), 100);
    EXPECT_DOUBLE_EQ(h.number("VAT"), 23);
    EXPECT_EQ(h.text("SPZ"), "G");
    EXPECT_DOUBLE_EQ(h.number("KWOTA"), 123);
    EXPECT_EQ(h.text("OPERATOR"), " ");
    EXPECT_EQ(h.text("NODB"), std::string(26, ' ') + "Port: 1" + std::string(2, ' '));
    EXPECT_EQ(h.date("R_DATA"), Date::from_ymd(2016, 3, 15));
    EXPECT_EQ(h.text("R_CZAS").substr(0, 6), "10:00:");

    dbf::Table& w = f.table("dow");
    ASSERT_EQ(w.record_count(), rows + 1);
    w.go_to(rows + 1);
    EXPECT_EQ(w.text("R_P"), "R");
    EXPECT_EQ(w.text("S_Z"), "S");
    EXPECT_EQ(w.text("RD"), "SD ");
    EXPECT_EQ(w.text("NRD"), "      58");
    EXPECT_EQ(w.date("DATA"), Date::from_ymd(2016, 3, 15));
    // The work table's row keeps the provisional number: the one after the
    // counter, which no header uses.
    dbf::Table& dd = f.table("dd");
    dd.go_top();
    EXPECT_EQ(dd.text("NRD"), "      58");
    EXPECT_EQ(w.text("MAG"), "1");
    EXPECT_EQ(w.text("LP"), "  1");
    EXPECT_EQ(w.text("KTO"), "O");
    EXPECT_EQ(w.text("INDEKS"), "10001   ");
    as.go_to(1);
    EXPECT_EQ(w.text("NAZWA"), as.text("NAZWA"));
    EXPECT_EQ(w.text("JM"), as.text("JM"));
    EXPECT_DOUBLE_EQ(w.number("CENA0"), 90);
    EXPECT_DOUBLE_EQ(w.number("CENA"), 123);
    EXPECT_EQ(w.text("NB"), "B");
    EXPECT_DOUBLE_EQ(w.number("ILOSC"), 1);
    EXPECT_DOUBLE_EQ(w.number("WARTOSC"), 123);
    EXPECT_EQ(w.text("PODATEK0"), "23");
    EXPECT_DOUBLE_EQ(w.number("PODATEK"), 23);
    EXPECT_EQ(w.text("SWW"), as.text("SWW"));
    EXPECT_EQ(w.text("PKWIU"), as.text("PKWIU"));

    EXPECT_DOUBLE_EQ(as.number("ILOSC"), ilosc - 1);
    EXPECT_DOUBLE_EQ(as.number("B_R_I"), bri + 1);
    EXPECT_DOUBLE_EQ(as.number("B_R_I_SD"), brisd + 1);
    EXPECT_DOUBLE_EQ(as.number("ILOSC_SD"), ilosc_sd);  // no receipt date in this layout

    dbf::Table& slow = f.table("slow");
    ASSERT_TRUE(slow.seek("SD "));
    EXPECT_EQ(slow.number("NRD"), 58);
    EXPECT_TRUE(f.saw("SD 58  na kwote  123.00 Z"));
    expect_indexes_sound(f);
}

TEST(SalesBooking, RowsKeepFileOrderAndWarehousesReturnsRaiseStock) {
    SalesFolder f("nokod13", {' '});
    f.m.PS_MAG = "2";
    dbf::Table& as = f.table("as");
    as.go_to(2);
    const double before = as.number("ILOSC");
    // A good at half a cent: its sale's 0.125 rounds up to 0.13, its
    // return's -0.125 towards zero to -0.12.
    set_goods(f, 2, 0.125, as.text("PODATEK0"));
    ASSERT_TRUE(as.seek("2" "10004   "));
    set_goods(f, as.recno(), 0, as.text("PODATEK0"));
    write_sales("durva/data_out.xxx", {"S;10001;A;100;1000;", "S;10001;B;-250;-1000;", "S;10004;C;300;2000;"});
    ASSERT_TRUE(ZROB_SD_VOKA(f.s(), f.m, "durva\\data_out.xxx"));
    dbf::Table& w = f.table("dow");
    ASSERT_TRUE(w.seek("SD       58"));
    const char* lp[] = {"  1", "  2", "  3"};
    const double values[] = {1, -2.5, 3};
    for (int i = 0; i < 3; ++i, w.skip(1)) {
        EXPECT_EQ(w.text("LP"), lp[i]);
        EXPECT_EQ(w.number("WARTOSC"), values[i]);
        EXPECT_EQ(w.text("MAG"), "2");
    }
    EXPECT_DOUBLE_EQ(f.table("dowod").number("KWOTA"), 1.5);
    EXPECT_DOUBLE_EQ(f.table("dowod").number("WARTOSC0"), 0.01);  // 0.13 - 0.12
    as.go_to(2);
    EXPECT_DOUBLE_EQ(as.number("ILOSC"), before - 1 + 1);
    EXPECT_TRUE(f.saw("SD 58  na kwote  1.50 Z"));
}

TEST(SalesBooking, CounterBehindTheHeadersTakesTheNextFreeNumber) {
    SalesFolder f("nokod13", {' '});
    dbf::Table& slow = f.table("slow");
    ASSERT_TRUE(slow.seek("SD "));
    ASSERT_TRUE(slow.lock_record());
    slow.put("NRD", 41.0);
    slow.unlock();
    write_sales("durva/data_out.xxx", {"S;10001;A;100;1000;"});
    // Another station books 42 and 43 while this run reads its lines.
    ImportRun r(f.s(), f.m);
    dbf::Table& h = f.table("dowod");
    for (const char* n : {"      42", "      43"}) {
        h.append_blank();
        h.put("RD", std::string("SD "));
        h.put("NRD", std::string(n));
        h.unlock();
    }
    ASSERT_TRUE(ZROB_SD_VOKA(f.s(), f.m, "durva\\data_out.xxx"));
    ASSERT_TRUE(slow.seek("SD "));
    EXPECT_EQ(slow.number("NRD"), 44);
    EXPECT_TRUE(f.saw("SD 44  na kwote  1.00 Z"));
}

struct StockCase {
    const char* what;
    double ilosc_pz;
    Date data_pz, data_sd;
    double ilosc_sd;
    Date want_pz, want_sd;
    double want_ilosc_sd;
};

TEST(SalesBooking, SalesSinceTheLastReceipt) {
    SalesFolder f("kod13");
    const Date day = Date::from_ymd(2016, 3, 15), before = Date::from_ymd(2016, 3, 1),
               later = Date::from_ymd(2016, 3, 20);
    const StockCase cases[] = {
        {"no receipt yet: counting starts today", 0, {}, {}, 7, day, day, 2},
        {"receipt earlier", 5, before, {}, 7, before, day, 9},
        {"receipt the same day", 5, day, {}, 7, day, day, 9},
        {"receipt dated after the sales", 5, later, before, 7, later, before, 7},
        {"count past its limit starts again", 5, before, {}, 100000000, before, day, 0},
        {"received but no date: counted on", 3, {}, {}, 1, {}, day, 3},
    };
    dbf::Table& as = f.table("as");
    as.go_to(1);
    for (const StockCase& c : cases) {
        SCOPED_TRACE(c.what);
        StockFields s{10, 4, 4, c.ilosc_pz, c.ilosc_sd, c.data_pz, c.data_sd};
        StockFields after = sell(StockLayout(as), s, 2, day);
        EXPECT_EQ(after.ILOSC, 8);
        EXPECT_EQ(after.B_R_I, 6);
        EXPECT_EQ(after.B_R_I_SD, 6);
        EXPECT_EQ(after.DATA_PZ, c.want_pz);
        EXPECT_EQ(after.DATA_SD, c.want_sd);
        EXPECT_EQ(after.ILOSC_SD, c.want_ilosc_sd);
    }
}

// A second goods record holding the first one's good with the stock
// `stock` (and the index `indeks`, when one is given); its number.
std::uint32_t copy_of_first_good(dbf::Table& as, double stock, const std::string& indeks = {}) {
    as.go_to(1);
    const std::string good(as.record());
    if (!as.append_blank()) return 0;
    const std::uint32_t copy = as.recno();
    for (int i = 1; i <= as.field_count(); ++i)
        as.put(i, dbf::decode_field(as.fields()[static_cast<size_t>(i - 1)], good));
    if (!indeks.empty()) as.put("INDEKS", indeks);
    as.put("ILOSC", stock);
    as.unlock();
    return copy;
}

// An import of sales lines into document 58, ready for its lines.
void start_import(SalesFolder& f, ImportRun& r) {
    r.M_RD = f.s().values.M_SD;
    r.M_NRD = "      58";
    r.list = std::tmpfile();
    prepare_matching(r);
    f.table("as").set_order(1);
}

// Two rows matched to two goods records, the first of which has since been
// given another index, while the second is a copy of the good it had: both
// rows now sell that copy, and neither sale may hide the other.
TEST(SalesBooking, TwoRowsThatComeToOneGoodsRecordBothChangeItsStock) {
    SalesFolder f("nokod13", {' '});
    dbf::Table& as = f.table("as");
    as.go_to(1);
    const double first_stock = as.number("ILOSC");
    const std::uint32_t copy = copy_of_first_good(as, 50.0);
    ASSERT_NE(copy, 0u);

    ImportRun r(f.s(), f.m);
    start_import(f, r);
    ASSERT_TRUE(ADD_WIERSZ(r, "S;10001;A;100;2000;"));
    ASSERT_TRUE(ADD_WIERSZ(r, "S;10001;B;100;3000;"));
    ASSERT_EQ(r.goods_recnos, (std::vector<std::uint32_t>{1, 1}));
    r.goods_recnos[1] = copy;
    as.go_to(1);
    ASSERT_TRUE(as.lock_record());
    as.put("INDEKS", std::string("ZMIENION"));
    as.unlock();
    r.M_WPLATA = JAKA_VOKA(f.s());
    ASSERT_TRUE(REP_DOW_VOKA(r));
    EXPECT_TRUE(r.not_applied.empty());
    as.go_to(copy);
    EXPECT_DOUBLE_EQ(as.number("ILOSC"), 45);
    as.go_to(1);
    EXPECT_EQ(as.text("INDEKS"), "ZMIENION");
    EXPECT_DOUBLE_EQ(as.number("ILOSC"), first_stock);
}

// A good that moved to another record since its line was matched is sold
// from the record that holds it now, one no other row names and that comes
// before the records the other rows change.
TEST(SalesBooking, ARowWhoseGoodMovedToAnEarlierRecordChangesThatRecord) {
    SalesFolder f("nokod13", {' '});
    dbf::Table& as = f.table("as");
    const std::uint32_t last = copy_of_first_good(as, 50.0, "10009");
    ASSERT_NE(last, 0u);

    ImportRun r(f.s(), f.m);
    start_import(f, r);
    ASSERT_TRUE(ADD_WIERSZ(r, "S;10002;A;100;2000;"));
    ASSERT_TRUE(ADD_WIERSZ(r, "S;10009;B;100;3000;"));
    ASSERT_EQ(r.goods_recnos, (std::vector<std::uint32_t>{4, last}));
    // Record 4 now holds another good, and record 5 the good sold.
    as.go_to(4);
    const double stock4 = as.number("ILOSC");
    ASSERT_TRUE(as.lock_record());
    as.put("INDEKS", std::string("ZMIENION"));
    as.unlock();
    as.go_to(5);
    const double stock5 = as.number("ILOSC");
    ASSERT_TRUE(as.lock_record());
    as.put("MAG", std::string("1"));
    as.unlock();
    r.M_WPLATA = JAKA_VOKA(f.s());
    ASSERT_TRUE(REP_DOW_VOKA(r));
    EXPECT_TRUE(r.not_applied.empty());
    as.go_to(5);
    EXPECT_DOUBLE_EQ(as.number("ILOSC"), stock5 - 2);
    as.go_to(4);
    EXPECT_DOUBLE_EQ(as.number("ILOSC"), stock4);
    as.go_to(last);
    EXPECT_DOUBLE_EQ(as.number("ILOSC"), 47);
    expect_indexes_sound(f);
}

TEST(SalesBooking, AmountPicture) {
    EXPECT_EQ(amount_picture(1234.5), "1 234.50");
    EXPECT_EQ(amount_picture(12.3), "12.30");
    EXPECT_EQ(amount_picture(0), "0.00");
    EXPECT_EQ(amount_picture(999999999.99), "999 999 999.99");
    EXPECT_EQ(amount_picture(-1234.5), "-1 234.50");
    EXPECT_EQ(amount_picture(1000000000), "*** *** ***.**");
    EXPECT_EQ(booking_message("SD ", "     123", 1234.5), "SD 123  na kwote  1 234.50 Z");
}

// Random sales files against a model of the document: rows in file order
// with the goods' data, header totals kept at two decimals row by row, and
// the stock of each good lowered by what it sold.
TEST(SalesBooking, RandomFilesAgreeWithAModel) {
    SalesFolder f("kod13");
    std::mt19937 rng(7);
    const std::vector<std::string> codes = {"5901234123457", "0012345678905", "12345", "1234567", "5907777777775",
                                            "9788301000004", "5900000000000", "2812345"};
    for (int run = 0; run < 4; ++run) {
        SCOPED_TRACE("run " + std::to_string(run));
        std::ofstream out("durva/data_out.xxx", std::ios::binary);
        struct Line {
            std::string code;
            long value, qty;
        };
        std::vector<Line> lines;
        const int n = 1 + static_cast<int>(rng() % 30);
        for (int i = 0; i < n; ++i) {
            Line l{codes[rng() % codes.size()], static_cast<long>(rng() % 200000) - 20000,
                   static_cast<long>(rng() % 5000) - 500};
            lines.push_back(l);
            out << "S;" << l.code << ";X;" << l.value << ";" << l.qty << ";\r\n";
        }
        out.close();
        // Model: each known code's goods record, as the matcher takes it.
        dbf::Table& as = f.table("as");
        std::map<std::uint32_t, double> stock_before;
        struct Want {
            std::uint32_t goods;
            double q, w, vat, cena0;
        };
        std::vector<Want> want;
        std::string unmatched;  // the list the operator is shown, line by line
        as.set_order(2);
        for (const Line& l : lines) {
            std::string code = l.code;
            code.resize(13, ' ');
            std::string key;
            for (char c : code) key += static_cast<char>((256 - static_cast<unsigned char>(c)) & 0xFF);
            if (!as.seek(key, true) || !as.found()) {
                unmatched += "S;" + l.code + ";X;" + std::to_string(l.value) + ";" + std::to_string(l.qty) + ";\r\n";
                continue;
            }
            const double rate = dbf::val_number(as.text("PODATEK0"));
            const double w = l.value / 100.0, q = l.qty / 1000.0;
            want.push_back({as.recno(), q, w, dbf::round_decimal(w * rate / (rate + 100), 4), as.number("CENA0")});
            stock_before.emplace(as.recno(), as.number("ILOSC"));
        }
        as.set_order(1);
        if (!want.empty()) f.keys({' '});
        // Unmatched lines open in the editor after the pointer's second; Esc leaves it.
        if (want.size() < lines.size()) f.keys({platform::ScriptStep::silence(1000), screen::Key::Esc});
        const std::uint32_t rows_before = f.table("dow").record_count();
        ASSERT_TRUE(ZROB_SD_VOKA(f.s(), f.m, "durva\\data_out.xxx"));
        dbf::Table& w = f.table("dow");
        ASSERT_EQ(w.record_count(), rows_before + want.size());
        EXPECT_EQ(test::read_file("rob/wydruk03.prn"), unmatched);
        double netto = 0, vat = 0, w0 = 0, kwota = 0;
        std::map<std::uint32_t, double> sold;
        for (std::size_t i = 0; i < want.size(); ++i) {
            w.go_to(rows_before + 1 + static_cast<std::uint32_t>(i));
            EXPECT_DOUBLE_EQ(w.number("WARTOSC"), want[i].w);
            EXPECT_DOUBLE_EQ(w.number("ILOSC"), want[i].q);
            EXPECT_DOUBLE_EQ(w.number("PODATEK"), want[i].vat);
            EXPECT_EQ(w.text("LP"), dbf::str_number(static_cast<double>(i + 1), 3, 0));
            netto = dbf::round_decimal(netto + want[i].w - want[i].vat, 2);
            vat = dbf::round_decimal(vat + want[i].vat, 2);
            w0 = dbf::round_decimal(w0 + dbf::round_decimal(want[i].q * want[i].cena0, 2), 2);
            kwota += want[i].w;
            sold[want[i].goods] += want[i].q;
        }
        if (!want.empty()) {
            dbf::Table& h = f.table("dowod");
            h.go_bottom();
            h.go_to(h.record_count());
            EXPECT_NEAR(h.number("NETTO"), netto, 0.001);
            EXPECT_NEAR(h.number("VAT"), vat, 0.001);
            EXPECT_NEAR(h.number("WARTOSC0"), w0, 0.001);
            EXPECT_NEAR(h.number("KWOTA"), kwota, 0.001);
        }
        for (const auto& [rec, q] : sold) {
            as.go_to(rec);
            EXPECT_NEAR(as.number("ILOSC"), stock_before[rec] - q, 0.0005) << "goods " << rec;
        }
    }
    expect_indexes_sound(f);
}

}  // namespace
}  // namespace durva
