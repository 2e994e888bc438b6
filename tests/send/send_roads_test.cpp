#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <map>
#include <set>

#include "common/_fun3.h"
#include "common/error_handler.h"
#include "common/dbf/dbf_file.h"
#include "common/dbf/field_codec.h"
#include "common/dbf/ntx_index.h"
#include "platform/file.h"
#include "platform/path_resolver.h"
#include "common/screen/keys.h"
#include "send/document_send.h"
#include "send/leaflet_send.h"
#include "send/main_send.h"
#include "send/name_cleaning.h"
#include "send/send_office.h"
#include "send/sent_records.h"
#include "send/sorted_copy.h"
#include "support/child_process.h"
#include "send/tworz_u.h"

namespace durva {
namespace {

using testing::SendOffice;

// The main send worked out the plain way, from the goods table read in record
// order: filters, names cleaned, sorted by name (first 17 characters for a
// short-form register), warehouse and index, each code written the first
// time, again only when its text changed since.
std::vector<std::string> main_send_model(SendOffice& office, const SendOptions& o,
                                         std::map<std::string, std::string>& sent) {
    Session& s = office.session();
    dbf::Table& goods = office.goods();
    const PluSettings st = plu_settings(s, office.menu, o.M_POZIOM);
    const GoodsFilter filter(s, office.menu, o);
    struct Item {
        std::string sort_key, nazwa;
        std::uint32_t recno;
    };
    std::vector<Item> items;
    goods.set_order(0);
    for (goods.go_top(); !goods.eof(); goods.skip(1)) {
        std::string name = goods.text("NAZWA");
        std::string cleaned = st.keep_national_letters ? name : clean_goods_name(name);
        cleaned.erase(0, cleaned.find_first_not_of(' '));
        cleaned.resize(name.size(), ' ');
        const std::string head = st.long_form ? cleaned : cleaned.substr(0, 17);
        items.push_back({head + goods.text("MAG") + goods.text("INDEKS"), cleaned, goods.recno()});
    }
    std::stable_sort(items.begin(), items.end(), [](const Item& a, const Item& b) {
        return std::lexicographical_compare(a.sort_key.begin(), a.sort_key.end(), b.sort_key.begin(),
                                            b.sort_key.end(), [](char x, char y) {
                                                return static_cast<unsigned char>(x) < static_cast<unsigned char>(y);
                                            });
    });
    const bool date_filter = !o.M_DATA.empty() && goods.field_pos("DATA_PZ") > 0;
    std::vector<std::string> lines;
    std::string previous(kNoPreviousCode);
    for (const Item& it : items) {
        goods.go_to(it.recno);
        if (goods.number("CENA2") <= 0) continue;
        if (filter.skips(goods.text("MAG"), it.nazwa, goods.number("ILOSC"))) continue;
        if (date_filter && !(goods.text("RD_PZ").starts_with(o.M_RD) && !goods.date("DATA_PZ").empty() &&
                             goods.date("DATA_PZ") >= o.M_DATA))
            continue;
        const std::string kod13 = s.values.JEST_KOD13 ? goods.text("KOD13") : "", indeks = goods.text("INDEKS"), vat = goods.text("PODATEK0");
        PluGood g{kod13, indeks, it.nazwa, vat, goods.number("CENA2"), goods.number("CENA2M"), {}};
        if (goods.field_pos("CENA3") > 0) g.cena3 = goods.number("CENA3");
        const PluRecord r = build_plu_record(st, g, SendRoad::Main, previous);
        if (!r.accepted()) continue;
        std::string& stored = sent[office.menu.NR_KASY + r.key];
        if (stored == r.text.substr(0, 80) && !date_filter) continue;
        stored = r.text.substr(0, 80);
        lines.push_back(r.text);
    }
    goods.set_order(1);
    return lines;
}

// A main send whose file the register took.
bool send_main(SendOffice& office, SendOptions& o) {
    SentRecords sent(office.session());
    if (!sent.open()) return false;
    SendRun run(office.session(), office.menu, o, sent);
    const bool written = main_send(run);
    sent.finish();
    keep_sent_changes(office.session());
    return written;
}

TEST(MainSend, WritesNewAndChangedGoodsInNameOrder) {
    SendOffice office("kod13");
    SendOptions o;
    std::map<std::string, std::string> sent;
    const std::vector<std::string> expected = main_send_model(office, o, sent);
    ASSERT_TRUE(send_main(office, o));
    const std::vector<std::string> lines = office.records();
    EXPECT_EQ(lines, expected);
    EXPECT_GT(lines.size(), 150u);
    EXPECT_TRUE(office.input_file().starts_with("S;I;1; ; ;\r\nI;1;"));
    EXPECT_TRUE(office.input_file().ends_with(";;\r\n"));
    // The sugar of warehouses 1 and 2 shares one code: the first in order is
    // written, the second refused as repeating it; warehouse K never goes.
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "I;1;5901234123457;CUKIER BIALY KRYSZ;370;C;3;11100;03;00;;"),
              1);
    EXPECT_TRUE(office.h.saw("W pliku jest  " + std::to_string(lines.size()) + " pozycji"));
    EXPECT_FALSE(office.session().areas.used(kSentRecordsArea));
    EXPECT_FALSE(office.session().areas.used(202));  // the sorted copy's area
    EXPECT_EQ(office.session().areas.current(), 2);
    EXPECT_TRUE(FILE_X("rob\\as_01.dbf") && FILE_X("rob\\ass01.dbf"));
    EXPECT_FALSE(FILE_X("rob\\as_01.ntx"));  // nothing reads the copy in order

    // Nothing changed: only the goods that share a code with another
    // warehouse's different record go again (they take turns in one row).
    SendOptions again;
    const std::vector<std::string> turns = main_send_model(office, again, sent);
    ASSERT_TRUE(send_main(office, again));
    EXPECT_EQ(office.records(), turns);
    ASSERT_FALSE(turns.empty());
    EXPECT_LT(turns.size(), 20u);
    EXPECT_TRUE(office.h.saw("W pliku jest   " + std::to_string(turns.size()) + " pozycji"));

    // A new price goes again, alone.
    dbf::Table& goods = office.goods();
    ASSERT_TRUE(goods.seek("110003   ", false));
    ASSERT_TRUE(goods.lock_record());
    goods.put("CENA2", 2.99);
    goods.unlock();
    SendOptions third;
    std::vector<std::string> changed = main_send_model(office, third, sent);
    ASSERT_TRUE(send_main(office, third));
    EXPECT_EQ(office.records(), changed);
    EXPECT_EQ(changed.size(), turns.size() + 1);
    EXPECT_EQ(std::count(changed.begin(), changed.end(), "I;1;12345;MCKA WROCLAWSKA 1K;299;C;3;11100;03;00;;"), 1);
}

TEST(MainSend, DateFilterSendsTheReceivedGoodsAgain) {
    SendOffice office("kod13");
    SendOptions first;
    ASSERT_TRUE(send_main(office, first));

    SendOptions o;
    o.M_NRD = "03.03.2016";
    read_date_or_numbers(o);
    ASSERT_FALSE(o.M_DATA.empty());
    std::map<std::string, std::string> sent;
    const std::vector<std::string> expected = main_send_model(office, o, sent);
    ASSERT_TRUE(send_main(office, o));
    EXPECT_EQ(office.records(), expected);
    EXPECT_GE(expected.size(), 3u);  // documents 2 and 3 of March 9 and 4
}

TEST(MainSend, WithoutBarCodesTheIndexIsTheCode) {
    SendOffice office("nokod13");
    office.menu.OPIS = "Stoisko DURVA 3000";  // long form, sorted by the whole name
    SendOptions o;
    std::map<std::string, std::string> sent;
    const std::vector<std::string> expected = main_send_model(office, o, sent);
    ASSERT_TRUE(send_main(office, o));
    EXPECT_EQ(office.records(), expected);
    EXPECT_TRUE(office.records().front().starts_with("I#00;1;"));

    // The registers take national and lower-case letters (DAJ.PL): the
    // names go as the goods table holds them, so the goods whose names lost
    // letters go again.
    std::ofstream("DAJ.PL") << "";
    SendOptions as_they_are;
    const std::vector<std::string> named = main_send_model(office, as_they_are, sent);
    ASSERT_TRUE(send_main(office, as_they_are));
    EXPECT_EQ(office.records(), named);
    EXPECT_EQ(std::count_if(named.begin(), named.end(),
                            [](const std::string& line) {
                                return line.find(";\x95wik\x92" "a z chrzanem 300g") != std::string::npos;
                            }),
              1);
}

TEST(MainSend, FiltersOfTheOptions) {
    SendOffice office("kod13");
    SendOptions o;
    o.JEST_ILOSC = "T";
    o.M_ZN = "M";
    office.menu.M_MAGAZYN = "2         ";
    std::map<std::string, std::string> sent;
    const std::vector<std::string> expected = main_send_model(office, o, sent);
    ASSERT_TRUE(send_main(office, o));
    EXPECT_EQ(office.records(), expected);
    ASSERT_FALSE(expected.empty());
    for (const std::string& line : expected) EXPECT_GE(static_cast<unsigned char>(line[line.find(';', 4) + 1]), 'M');
}

// A goods table of several runs of records, with deleted goods and a change
// this station has not written back yet: the send reads the file in runs and
// sorts through its scratch copies, and must come out as the plain reading,
// whether the copy is sorted at once or in runs merged afterwards.
void many_goods_deleted_ones_and_a_change_not_written_yet() {
    SendOffice office("kod13");
    dbf::Table& goods = office.goods();
    std::vector<std::string> records;
    goods.set_order(0);
    for (goods.go_top(); !goods.eof(); goods.skip(1)) records.emplace_back(goods.record());
    const int kod13 = goods.field_pos("KOD13"), nazwa = goods.field_pos("NAZWA"), indeks = goods.field_pos("INDEKS");
    for (std::uint32_t n = 0; n < 900; ++n) {
        ASSERT_TRUE(goods.append_blank());
        const std::string& from = records[n % records.size()];
        for (int f = 1; f <= goods.field_count(); ++f) goods.put(f, dbf::decode_field(goods.fields()[static_cast<size_t>(f - 1)], from));
        char code[16];
        std::snprintf(code, sizeof code, "59%011u", 7000000 + n * 37);
        goods.put(kod13, std::string(code));
        goods.put(indeks, std::to_string(800000 + n));
        goods.put(nazwa, goods.text("NAZWA").substr(0, 10) + " " + std::to_string((n * 7919) % 1000));
        if (n % 11 == 0) goods.delete_record();
    }
    goods.unlock();
    goods.set_order(1);
    ASSERT_TRUE(goods.seek("110003   ", false));
    ASSERT_TRUE(goods.lock_record());
    goods.put(nazwa, std::string("AAA PIERWSZY"));  // left in the buffer, not written back
    ASSERT_GT(goods.record_count(), 3 * 256u);

    SendOptions o;
    ASSERT_TRUE(send_main(office, o));
    goods.unlock();
    std::map<std::string, std::string> sent;
    const std::vector<std::string> expected = main_send_model(office, o, sent);
    EXPECT_EQ(office.records(), expected);
    ASSERT_GT(expected.size(), 700u);
    EXPECT_EQ(std::count_if(expected.begin(), expected.end(),
                            [](const std::string& line) { return line.find(";AAA PIERWSZY") != std::string::npos; }),
              1);

    // The scratch copies: every good that is not deleted in each, the sorted
    // one in order of the name's first 17 characters, warehouse and index.
    const auto live = static_cast<std::uint32_t>(records.size() + 900 - 82);
    auto as_ = dbf::DbfFile::open("rob\\as_01.dbf", platform::Share::Shared);
    auto ass = dbf::DbfFile::open("rob\\ass01.dbf", platform::Share::Shared);
    ASSERT_EQ(as_->record_count(), live);
    ASSERT_EQ(ass->record_count(), live);
    const dbf::FieldList& f = ass->fields();
    const dbf::FieldDesc &n = f[static_cast<size_t>(nazwa - 1)], &m = f[static_cast<size_t>(ass->field_index("MAG"))],
                         &i = f[static_cast<size_t>(indeks - 1)];
    std::multiset<std::string> copied, sorted;
    std::string last;
    for (std::uint32_t r = 1; r <= live; ++r) {
        copied.emplace(as_->record_view(r));
        const std::string rec(ass->record_view(r));
        const std::string key = rec.substr(static_cast<size_t>(n.offset), 17) + rec.substr(static_cast<size_t>(m.offset), 1) +
                                rec.substr(static_cast<size_t>(i.offset), 8);
        ASSERT_LE(last, key) << r;
        last = key;
        sorted.insert(rec);
    }
    EXPECT_EQ(copied, sorted);
}

TEST(MainSend, ManyGoodsDeletedOnesAndAChangeNotWrittenYet) {
    many_goods_deleted_ones_and_a_change_not_written_yet();
}

TEST(MainSend, ManyGoodsSortedInRuns) {
    const size_t saved = sort_run_bytes();
    set_sort_run_bytes(20 * 1024);  // some 80 goods a run
    many_goods_deleted_ones_and_a_change_not_written_yet();
    set_sort_run_bytes(1);  // one good a run
    many_goods_deleted_ones_and_a_change_not_written_yet();
    set_sort_run_bytes(saved);
}

// The sorted copy is written by a thread of its own: a write of it that fails
// there (a full disk) reaches the operator as any failed write does, the
// send offers no file, and the next send goes as usual.
int g_sorted_copy_writes = 0;
void sorted_copy_disk_full(const std::string& path, int, const void*, size_t, std::uint64_t) {
    if (path.ends_with("rob/ass01.dbf") && ++g_sorted_copy_writes == 2)
        throw DbError("Blad zapisu pliku", path, ENOSPC);
}

TEST(MainSend, AFailedWriteOfTheSortedCopyEndsTheSend) {
    struct Fault {
        size_t saved = sort_run_bytes();
        Fault() {
            set_sort_run_bytes(20 * 1024);  // the goods merged from runs
            g_sorted_copy_writes = 0;
            platform::set_write_observer(sorted_copy_disk_full);
        }
        ~Fault() { end(); }
        void end() {
            platform::set_write_observer(nullptr);
            set_sort_run_bytes(saved);
        }
    } fault;
    SendOffice office("kod13", {'T'});
    SendOptions o;
    bool written = true;
    {
        SentRecords sent(office.session());
        ASSERT_TRUE(sent.open());
        SendRun run(office.session(), office.menu, o, sent);
        written = main_send(run);  // no file, so no driver run, and the table keeps nothing
    }
    fault.end();
    EXPECT_FALSE(written);
    EXPECT_GE(g_sorted_copy_writes, 2);
    EXPECT_TRUE(office.h.saw("Blad zapisu pliku"));
    EXPECT_FALSE(office.h.saw("W pliku jest"));
    EXPECT_FALSE(office.session().areas.used(kSentRecordsArea));

    std::map<std::string, std::string> sent;
    const std::vector<std::string> expected = main_send_model(office, o, sent);
    ASSERT_TRUE(send_main(office, o));
    EXPECT_EQ(office.records(), expected);
}

// A goods table without a name field cannot be put in name order: the
// general error window says why, and N ends the program; nothing is sent.
TEST(MainSend, GoodsWithoutANameGoToTheErrorWindow) {
    SendOffice office("kod13", {'N'});
    Session& s = office.session();
    s.areas.close(2);
    {
        dbf::FieldDesc mag{"MAG", 'C', 1, 0, 0}, indeks{"INDEKS", 'C', 8, 0, 0}, cena{"CENA2", 'N', 10, 2, 0};
        auto t = dbf::DbfFile::create("16\\03\\bez.dbf", {mag, indeks, cena});
        std::string rec = t->blank_record();
        rec.replace(1, 1, "1");
        t->append_record(rec.data());
        t->close();
    }
    s.areas.select(2);
    s.areas.use("16\\03\\bez", "as", platform::Share::Shared);
    SendOptions o;
    EXPECT_THROW(send_main(office, o), ProgramEnd);
    EXPECT_TRUE(office.h.saw("Nie mozna obliczyc klucza indeksu"));
}

// Every percentage and every bar length the walk passes through is shown, in
// order, though the texts are not worked out at every record.
TEST(MainSend, ProgressShowsEveryStepOfTheWalk) {
    SendOffice office("kod13");
    office.h.terminal.watch_presents = true;
    SendOptions o;
    ASSERT_TRUE(send_main(office, o));
    const auto count = static_cast<std::uint32_t>(dbf::DbfFile::open("rob\\ass01.dbf", platform::Share::Shared)->record_count());
    ASSERT_GT(count, 200u);
    auto push_new = [](std::vector<std::string>& seq, const std::string& v) {
        if (seq.empty() || seq.back() != v) seq.push_back(v);
    };
    std::vector<std::string> percents, bars, shown_percents, shown_bars;
    for (std::uint32_t r = 1; r <= count; ++r) {
        push_new(percents, progress_texts(r, count).percent);
        push_new(bars, std::to_string(progress_texts(r, count).bar.size()));
    }
    // The screens as shown, 25 rows each: row 17 holds the percentage, row 18 the bar.
    const std::string& seen = office.h.terminal.seen;
    std::vector<std::string> rows;
    for (size_t at = 0, end; (end = seen.find('\n', at)) != std::string::npos; at = end + 1) rows.push_back(seen.substr(at, end - at));
    const std::string block = "\u2588";
    for (size_t r = 0; r + 25 <= rows.size(); r += 25) {
        const std::string& p = rows[r + 17];
        const size_t pc = p.find("% ");
        if (pc == std::string::npos || pc == 0) continue;
        const size_t from = p.find_last_not_of("0123456789", pc - 1) + 1;
        if (from == pc) continue;
        push_new(shown_percents, p.substr(from, pc - from) + "% ");
        size_t n = 0;
        for (size_t at = rows[r + 18].find(block); at != std::string::npos; at = rows[r + 18].find(block, at + block.size())) ++n;
        push_new(shown_bars, std::to_string(n));
    }
    EXPECT_EQ(shown_percents, percents);
    EXPECT_EQ(shown_bars, bars);
}

TEST(MainSend, ProgressBarFollowsTheWalk) {
    EXPECT_EQ(progress_texts(1, 3).percent, "33% ");
    EXPECT_EQ(progress_texts(1, 3).bar, std::string(11, '\xDB'));
    EXPECT_EQ(progress_texts(3, 3).percent, "100% ");
    EXPECT_EQ(progress_texts(3, 3).bar, std::string(35, '\xDB'));
    EXPECT_EQ(progress_texts(1, 200).percent, "1% ");  // half a percent shows as one
    EXPECT_EQ(progress_texts(1, 200).bar, "");
}

TEST(DocumentSend, NumberListsAsTheDocumentsHoldThem) {
    using V = std::vector<std::string>;
    EXPECT_EQ(document_numbers(",12,15,"), (V{"      12", "      15"}));
    EXPECT_EQ(document_numbers(",PZ12,PZ15,"), (V{"      12", "      15"}));
    EXPECT_EQ(document_numbers(",007,"), (V{"       7"}));
    EXPECT_EQ(document_numbers(",123456789,"), (V{"********"}));
    EXPECT_EQ(document_numbers(",,,,"), V{});
    EXPECT_EQ(document_numbers(""), V{});
    SendOptions o;
    o.M_NRD = "PZ12/PZ15";
    read_date_or_numbers(o);
    EXPECT_EQ(o.M_NRD, ",PZ12,PZ15,");
    o.M_NRD = "12.34.5678";  // read as a date, not as numbers: an impossible one
    read_date_or_numbers(o);
    EXPECT_TRUE(o.M_DATA.empty());
    EXPECT_TRUE(is_blank(o.M_NRD));
    o.M_NRD = "31.02.2016";
    read_date_or_numbers(o);
    EXPECT_TRUE(o.M_DATA.empty());
    o.M_NRD = "01.02.2016";
    read_date_or_numbers(o);
    EXPECT_EQ(o.M_DATA, Date::from_ymd(2016, 2, 1));
}

TEST(DocumentSend, GoodsOfTheListedDocumentsEveryTime) {
    SendOffice office("kod13");
    SendOptions o;
    o.M_NRD = "3 1";
    read_date_or_numbers(o);
    SentRecords sent(office.session());
    ASSERT_TRUE(sent.open());
    SendRun run(office.session(), office.menu, o, sent);
    EXPECT_TRUE(DURVA_PZ(run, o.M_NRD));
    const std::vector<std::string> first = office.records();
    // Document 3's five lines first, then document 1's four: names cleaned
    // but not trimmed, a zero price sent as 0.
    const std::vector<std::string> expected = {
        "I;1;0997906517971;SZPROTKI W POMIDOR;73293;Z;3;11100;07;00;;",
        "I;1;5904030850756;KETCHUP LAGODNY 0,;0;Z;3;11100;07;00;;",
        "I;1;5908330837097;P A 1,5           ;53824;Z;3;11100;07;00;;",
        "I;1;5901041614520;S  500            ;62822;A;3;11100;01;00;;",
        "I;1;4005691811214;JAJA SWIEZE L 2L  ;54035;B;3;11100;02;00;;",
        "I;1;5906316219745;WAFLE RYZOWE OP.10;28427;A;3;11100;01;00;;",
        "I;1;2833801;MAKARON SWIDERKI  ;33484;A;3;11100;01;00;;",
        "I;1;5904075750646;MIOD WIELOKWIATOWY;0;Z;3;11100;07;00;;",
        "I;1;5908496323694;MUSZTARDA SAREPSKA;2433;B;3;11100;02;00;;",
    };
    EXPECT_EQ(first, expected);
    EXPECT_TRUE(office.h.saw("PZ        3"));
    EXPECT_TRUE(office.h.shows(first.back().substr(0, 40)));  // each line is shown as it is written
    EXPECT_FALSE(office.session().areas.used(kSentRecordsArea));

    ASSERT_TRUE(sent.open());
    SendRun again(office.session(), office.menu, o, sent);
    EXPECT_TRUE(DURVA_PZ(again, o.M_NRD));
    EXPECT_EQ(office.records(), first);  // already in the register, sent all the same

    // A line whose good has gone from the goods table is passed over; the
    // lines after it on the same document are still sent.
    dbf::Table& goods = office.goods();
    for (goods.go_top(); !goods.eof(); goods.skip(1)) {
        if (goods.text("KOD13") != "5904030850756") continue;
        ASSERT_TRUE(goods.lock_record());
        goods.delete_record();
        goods.unlock();
        break;
    }
    ASSERT_TRUE(sent.open());
    SendRun without(office.session(), office.menu, o, sent);
    EXPECT_TRUE(DURVA_PZ(without, o.M_NRD));
    std::vector<std::string> rest = first;
    rest.erase(rest.begin() + 1);
    EXPECT_EQ(office.records(), rest);
}

TEST(DocumentSend, NoDigitsWritesTheControlLineAlone) {
    SendOffice office("kod13");
    SendOptions o;
    SentRecords sent(office.session());
    ASSERT_TRUE(sent.open());
    SendRun run(office.session(), office.menu, o, sent);
    EXPECT_TRUE(DURVA_PZ(run, ",,,;,"));
    EXPECT_EQ(office.input_file(), "S;I;1; ; ;\r\n");
}

void make_leaflet(SendOffice& office, const char* name, std::vector<std::pair<std::string, std::string>> rows) {
    Session& s = office.session();
    std::filesystem::create_directory(office.folder.path() / "rob0");
    ASSERT_TRUE(TWORZ(s, std::string("rob0\\") + name + ",MAG       ,C,  1,  0,INDEKS    ,C,  8,  0", true, 1));
    s.areas.select(60);
    dbf::Table& t = s.areas.use(std::string("rob0\\") + name, "leaflet", platform::Share::Exclusive);
    for (const auto& [mag, indeks] : rows) {
        t.append_blank();
        t.put("MAG", mag);
        t.put("INDEKS", indeks);
    }
    s.areas.close();
    s.areas.select(2);
}

TEST(LeafletSend, EveryRowWhoseGoodPasses) {
    SendOffice office("kod13");
    make_leaflet(office, "gazetka_", {{"1", "10011"}});
    make_leaflet(office, "gazetka1",
                 {{"1", "10002"}, {"9", "NONE"}, {"1", "10002"}, {"U", "10006"}, {"1", "10003"}});
    SendOptions o;
    o.M_RD = "GZ ";
    SentRecords sent(office.session());
    ASSERT_TRUE(sent.open());
    SendRun run(office.session(), office.menu, o, sent);
    EXPECT_TRUE(GAZETKA1(run));
    const std::vector<std::string> expected = {
        "I;1;0012345678905;KAWA MIELONA 250G ;1378;A;3;11100;01;00;;",
        "I;1;0012345678905;KAWA MIELONA 250G ;1378;A;3;11100;01;00;;",
        "I;1;12345;MCKA WROCLAWSKA 1K;251;C;3;11100;03;00;;",
    };
    EXPECT_EQ(office.records(), expected);
    EXPECT_TRUE(office.h.saw("Wysylam rob0\\gazetka1"));
    // The sent-record table stays held until the next send.
    EXPECT_TRUE(office.session().areas.used(kSentRecordsArea));
    EXPECT_FALSE(office.session().areas.used(44));
}

TEST(LeafletSend, ALeafletOfAnotherLayoutSendsNothing) {
    SendOffice office("kod13");
    Session& s = office.session();
    std::filesystem::create_directory(office.folder.path() / "rob0");
    ASSERT_TRUE(TWORZ(s, "rob0\\gazetka_,KOD       ,C, 13,  0", true, 1));
    SendOptions o;
    SentRecords sent(s);
    ASSERT_TRUE(sent.open());
    SendRun run(s, office.menu, o, sent);
    EXPECT_TRUE(GAZETKA1(run));
    EXPECT_TRUE(office.h.saw("Plik rob0\\gazetka_ bez pol MAG, INDEKS"));
    EXPECT_EQ(office.input_file(), "S;I;1; ; ;\r\n");
}

TEST(LeafletSend, NoLeafletTableNoSend) {
    SendOffice office("kod13");
    SendOptions o;
    SentRecords sent(office.session());
    SendRun run(office.session(), office.menu, o, sent);
    EXPECT_FALSE(GAZETKA1(run));
    EXPECT_TRUE(office.h.saw("NIE ma plikow GAZETKA1, GAZETKA_"));
    EXPECT_FALSE(FILE_X("durva\\data_in.txt"));
}

TEST(SendGoods, OptionsScreenThenTheMainSend) {
    using screen::Key;
    // Three Enters are typed ahead by the screen itself: the operator starts
    // in the warehouse field, leaves it and the stock field, and confirms.
    SendOffice office("kod13", {Key::Enter, Key::Enter, 'T'});
    office.h.terminal.watch_presents = true;
    EXPECT_TRUE(TWORZ_U(office.session(), office.menu));
    EXPECT_TRUE(office.h.saw(" 2. Wyslac tylko wtedy gdy ilosc > 0     N"));
    EXPECT_TRUE(office.h.saw("Rd: PZ   Nrd:"));
    EXPECT_TRUE(office.h.saw("Na pewno z wszystkich magazynow"));
    EXPECT_TRUE(office.h.saw("Tworze plik ...."));
    // The progress inside the waiting message, halfway and at the end.
    EXPECT_TRUE(office.h.saw("║  50% "));
    EXPECT_TRUE(office.h.saw("║  100% "));
    EXPECT_TRUE(office.h.saw("║  " + std::string("█████████████████")));
    EXPECT_GT(office.records().size(), 150u);
    EXPECT_FALSE(office.session().areas.used(kSentRecordsArea));
}

TEST(SendGoods, EscOrNoSendsNothing) {
    using screen::Key;
    SendOffice esc("kod13", {Key::Esc});
    EXPECT_FALSE(TWORZ_U(esc.session(), esc.menu));
    EXPECT_FALSE(FILE_X("durva\\data_in.txt"));

    SendOffice no("kod13", {Key::Enter, Key::Enter, 'n'});
    no.menu.PS_MAG = "2";
    EXPECT_FALSE(TWORZ_U(no.session(), no.menu));
    EXPECT_TRUE(no.h.saw("Na pewno z magazynu 2"));
    EXPECT_EQ(no.menu.M_MAGAZYN, "2         ");  // offered again at the next send
    EXPECT_FALSE(FILE_X("durva\\as2000.dbf"));
}

TEST(SendGoods, LeafletTypeEndsTheEntryAtOnce) {
    using screen::Key;
    // Back up to Rd, overwrite PZ with GZ: the entry ends as the field is left.
    SendOffice office("kod13", {Key::Up, Key::Up, Key::Up, Key::Ins, 'g', 'z', Key::Enter, 'T'});
    make_leaflet(office, "gazetka1", {{"1", "10002"}});
    EXPECT_TRUE(TWORZ_U(office.session(), office.menu));
    EXPECT_EQ(office.records(),
              std::vector<std::string>{"I;1;0012345678905;KAWA MIELONA 250G ;1378;A;3;11100;01;00;;"});
}

TEST(SendGoods, ASecondStationCannotSendMeanwhile) {
    using screen::Key;
    SendOffice office("kod13", {Key::Enter, Key::Enter, 'T'});
    ASSERT_TRUE(SentRecords(office.session()).open());  // held as by a leaflet send of another station
    office.session().areas.table(kSentRecordsArea).close();
    test::ChildProcess other(test::proc_path("dbf_holder"), {office.folder.file("durva/as2000.dbf"), "exclusive"});
    ASSERT_EQ(other.read_line(), "ready");
    EXPECT_FALSE(TWORZ_U(office.session(), office.menu));
    EXPECT_TRUE(office.h.saw("PROBLEMY Z durva\\as2000.dbf"));
    EXPECT_FALSE(FILE_X("durva\\data_in.txt"));
    other.write_line("quit");
}

}  // namespace
}  // namespace durva
