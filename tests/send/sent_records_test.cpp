#include "send/sent_records.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <random>

#include "common/_fun3.h"
#include "support/child_process.h"
#include "support/current_folder.h"
#include "support/fixture_folder.h"
#include "send/watched_session.h"

namespace durva {
namespace {

struct Folder {
    Folder() : here(folder.path()) { h.session.values.STACJA = 1; }

    bool screen_shows(const std::string& text) const { return h.saw(text); }
    dbf::Table& table() { return h.session.areas.table(kSentRecordsArea); }

    test::TempFolder folder;
    test::CurrentFolder here;
    testing::WatchedSession h;
};

PluRecord record(const std::string& key, const std::string& text) {
    PluRecord r;
    r.key = key;
    r.text = text;
    return r;
}

// The table's rows as (register + code) -> stored text, every row once.
std::map<std::string, std::string> rows_of(dbf::Table& t) {
    std::map<std::string, std::string> rows;
    t.set_order(0);
    for (t.go_top(); !t.eof(); t.skip(1)) {
        const bool fresh = rows.emplace(t.text("PKASA") + t.text("KOD13"), t.text("TEKST")).second;
        EXPECT_TRUE(fresh) << "two rows for " << t.text("PKASA") << t.text("KOD13");
    }
    t.set_order(1);
    return rows;
}

// The key of a row in the table's index: the register, then the code with
// every byte inverted.
std::string index_key(const std::string& reg, std::string code) {
    code.resize(13, ' ');
    for (char& c : code) c = static_cast<char>((256 - static_cast<unsigned char>(c)) & 0xFF);
    return reg + code;
}

// A key's look-up starts from its register and code as they lie in a record,
// or from the key made of them; rows put in one way are found the other.
TEST(SentLookup, AKeyReadInPlaceIsTheKeyMade) {
    for (const auto& [reg, code] : std::vector<std::pair<std::string, std::string>>{
             {"01", "5901234123457"}, {"17", "12345678     "}, {"01", "59012341234570000"}, {"1", "5901234123457"},
             {"01", "1234"}, {"", ""}}) {
        std::string key;
        make_sent_key(reg, code, key);
        EXPECT_EQ(SentLookup::tag_of(reg, code), SentLookup::tag_of(key)) << reg << "/" << code;
        SentLookup lookup;
        lookup.add(SentLookup::tag_of(key), 7);
        const size_t slot = lookup.find(SentLookup::tag_of(reg, code), [](std::uint32_t row) { return row == 7; });
        ASSERT_NE(slot, SentLookup::kNone) << reg << "/" << code;
        EXPECT_EQ(lookup.row(slot), 7u);
    }
}

// Sends decided against a model of the table, each send's changes kept (the
// register took them) or dropped (it did not), at random.
TEST(SentRecords, RandomSendsAgreeWithAModel) {
    Folder f;
    Session& s = f.h.session;
    auto sent = std::make_unique<SentRecords>(s);
    ASSERT_TRUE(sent->open());

    std::mt19937 rng(20160301);
    const std::vector<std::string> registers = {"01", "02", "17"};
    const std::vector<std::string> codes = {"5901234123457", "0012345678905", "12345        ", "1234567      ",
                                            "1234567890128", "1234" + std::string(9, ' '), std::string(13, ' ')};
    const std::string long_head = "I#00;1;5901234123457;0;CUKIER BIALY KRYSZTAL 1KG     ;349;A;3;11100;01;00";
    const std::vector<std::string> texts = {
        "I;1;12345;CUKIER BIALY KRYSZ;349;A;3;11100;01;00;;", "I;1;12345;CUKIER BIALY KRYSZ;350;A;3;11100;01;00;;",
        "I;1;12345;CUKIER;349;A;3;11100;01;00;;",  // begins like no other: a shorter name
        long_head + ";;00;0;", long_head + ";;00;1;",   // differ only past the 80th character
        long_head.substr(0, 60) + ";;",
    };
    std::map<std::string, std::string> table, model;  // register + code -> stored text, padded to 80
    auto padded = [](std::string t) {
        t.resize(80, ' ');
        return t;
    };

    for (int op = 0; op < 600; ++op) {
        if (op % 97 == 96) {
            sent->finish();
            if (rng() % 3 == 0) {
                drop_sent_changes();
                model = table;
            } else {
                keep_sent_changes(s);
                table = model;
            }
            sent = std::make_unique<SentRecords>(s);
            ASSERT_TRUE(sent->open());
            ASSERT_EQ(rows_of(f.table()), table) << "operation " << op;
        }
        const std::string& reg = registers[rng() % registers.size()];
        const std::string& code = codes[rng() % codes.size()];
        const std::string& text = texts[rng() % texts.size()];
        const SendRoad road = static_cast<SendRoad>(rng() % 3);
        const bool resend = rng() % 8 == 0;

        const std::string cut = text.substr(0, 80);
        bool expected;
        auto it = model.find(reg + code);
        if (it == model.end()) {
            model[reg + code] = padded(cut);
            expected = true;
        } else {
            const bool same = it->second.starts_with(cut);
            if (road == SendRoad::Main) {
                expected = !same || resend;
                if (expected) it->second = padded(cut);
            } else {
                expected = true;
                if (!same) it->second = padded(cut);
            }
        }
        ASSERT_EQ(sent->record(reg, record(code, text), road, resend), expected) << "operation " << op;
    }
    sent->finish();
    keep_sent_changes(s);
    ASSERT_TRUE(sent->open());
    EXPECT_EQ(rows_of(f.table()), model);
    for (const auto& [key, text] : model) EXPECT_TRUE(f.table().seek(index_key(key.substr(0, 2), key.substr(2)), false));
    EXPECT_FALSE(f.table().seek(index_key("03", codes[0]), false));
}

TEST(SentRecords, SameGoodToTwoRegistersAndTheIndexKeyOfAnIndexCode) {
    Folder f;
    Session& s = f.h.session;
    SentRecords sent(s);
    ASSERT_TRUE(sent.open());
    const std::string code = "1234" + std::string(9, ' ');
    EXPECT_TRUE(sent.record("01", record(code, "I;1;1234;A;1;A;3;11100;01;00;;"), SendRoad::Main, false));
    EXPECT_TRUE(sent.record("02", record(code, "I;1;1234;A;1;A;3;11100;01;00;;"), SendRoad::Main, false));
    EXPECT_FALSE(sent.record("01", record(code, "I;1;1234;A;1;A;3;11100;01;00;;"), SendRoad::Main, false));
    sent.finish();
    keep_sent_changes(s);
    ASSERT_TRUE(sent.open());
    EXPECT_EQ(f.table().record_count(), 2u);
    // The key as the index holds it: register, then the inverted code.
    ASSERT_TRUE(f.table().seek(std::string("02\xCF\xCE\xCD\xCC") + std::string(9, '\xE0'), false));
    EXPECT_EQ(f.table().text("KOD13"), code);
}

// A send of thousands of goods notes more changes than it holds at once: a
// good met again long after its first change, and one met again at once,
// are judged by what the send noted, and the table takes the last text.
TEST(SentRecords, GoodsMetAgainInALargeSendKeepTheirLastText) {
    Folder f;
    Session& s = f.h.session;
    SentRecords sent(s);
    ASSERT_TRUE(sent.open());
    auto code = [](int i) { return std::to_string(5900000000000LL + i); };
    auto text = [&](int i, char price) { return "I;1;" + code(i) + ";X;" + price + ";A;3;11100;01;00;;"; };
    constexpr int kGoods = 10000;
    for (int i = 0; i < kGoods; ++i)
        ASSERT_TRUE(sent.record("01", record(code(i), text(i, '1')), SendRoad::Main, false));
    for (int i : {0, 4095, 4096, kGoods - 1}) {
        EXPECT_FALSE(sent.record("01", record(code(i), text(i, '1')), SendRoad::Main, false)) << i;
        EXPECT_TRUE(sent.record("01", record(code(i), text(i, '2')), SendRoad::Main, false)) << i;
        EXPECT_FALSE(sent.record("01", record(code(i), text(i, '2')), SendRoad::Main, false)) << i;
    }
    sent.finish();
    keep_sent_changes(s);
    ASSERT_TRUE(sent.open());
    const std::map<std::string, std::string> rows = rows_of(f.table());
    ASSERT_EQ(rows.size(), static_cast<size_t>(kGoods));
    for (int i : {0, 1, 4095, 4096, 4097, kGoods - 1}) {
        const bool changed = i == 0 || i == 4095 || i == 4096 || i == kGoods - 1;
        std::string want = text(i, changed ? '2' : '1');
        want.resize(80, ' ');
        EXPECT_EQ(rows.at("01" + code(i)), want) << i;
    }
}

TEST(SentRecords, CreatedWithItsIndexAndKeptAcrossSends) {
    Folder f;
    Session& s = f.h.session;
    s.areas.select(4);
    SentRecords sent(s);
    ASSERT_TRUE(sent.open());
    EXPECT_EQ(s.areas.current(), 4);  // the caller's area stays selected
    EXPECT_TRUE(FILE_X("durva\\as2000.dbf"));
    EXPECT_TRUE(FILE_X("durva\\as2000.ntx"));
    EXPECT_TRUE(f.table().exclusive());
    sent.record("01", record("5901234123457", "I;1;5901234123457;X;1;A;3;11100;01;00;;"), SendRoad::Main, false);
    sent.finish();
    s.areas.close(kSentRecordsArea);
    keep_sent_changes(s);
    EXPECT_EQ(s.areas.current(), 4);
    ASSERT_TRUE(sent.open());
    EXPECT_TRUE(f.table().seek(index_key("01", "5901234123457"), false));

    // The index goes on with every send that changes the table, whether it
    // takes many new rows or one.
    auto code = [](int i) { return std::to_string(5900000000000LL + i); };
    for (int i = 0; i < 100; ++i) sent.record("02", record(code(i), "I;1;" + code(i) + ";X;1;A;3;11100;01;00;;"), SendRoad::Main, false);
    sent.finish();
    keep_sent_changes(s);
    ASSERT_TRUE(sent.open());
    sent.record("02", record(code(100), "I;1;" + code(100) + ";X;1;A;3;11100;01;00;;"), SendRoad::Main, false);
    sent.finish();
    keep_sent_changes(s);
    ASSERT_TRUE(sent.open());
    ASSERT_EQ(f.table().record_count(), 102u);
    EXPECT_EQ(f.table().index(1).verify(102), "");
    for (int i = 0; i <= 100; ++i) EXPECT_TRUE(f.table().seek(index_key("02", code(i)), false)) << i;
}

TEST(SentRecords, AnEarlierLayoutIsReplacedByAnEmptyTable) {
    Folder f;
    Session& s = f.h.session;
    std::filesystem::create_directory(f.folder.path() / "durva");
    ASSERT_TRUE(TWORZ(s, "durva\\AS2000,KOD13     ,C,13,  0,TEKST     ,C,80,  0", true, 1));
    s.areas.select(50);
    s.areas.use("durva\\as2000", "old", platform::Share::Exclusive);
    s.areas.table().append_blank();
    s.areas.table().put("KOD13", std::string("5901234123457"));
    s.areas.close();

    ASSERT_TRUE(SentRecords(s).open());
    EXPECT_GT(f.table().field_pos("PKASA"), 0);
    EXPECT_EQ(f.table().record_count(), 0u);
}

// A table another program laid out otherwise (its fields in another order,
// one more field) is read and written by field, send after send.
TEST(SentRecords, ATableLaidOutOtherwiseKeepsItsRows) {
    Folder f;
    Session& s = f.h.session;
    std::filesystem::create_directory(f.folder.path() / "durva");
    ASSERT_TRUE(TWORZ(s, "durva\\AS2000,KOD13     ,C,13,  0,UWAGI     ,C, 5,  0,PKASA     ,C, 2,  0,TEKST     ,C,80,  0",
                      true, 1));
    s.areas.close();
    auto code = [](int i) { return std::to_string(5900000000000LL + i); };
    auto text = [&](int i, char price) { return "I;1;" + code(i) + ";X;" + price + ";A;3;11100;01;00;;"; };
    for (char price : {'1', '2'}) {
        SentRecords sent(s);
        ASSERT_TRUE(sent.open());
        for (int i = 0; i < 50; ++i) {
            const char p = i % 2 == 0 ? price : '1';  // every other good changes at the second send
            const bool new_text = price == '1' || i % 2 == 0;
            EXPECT_EQ(sent.record("01", record(code(i), text(i, p)), SendRoad::Main, false), new_text) << i;
        }
        sent.finish();
        keep_sent_changes(s);
    }
    SentRecords sent(s);
    ASSERT_TRUE(sent.open());
    const std::map<std::string, std::string> rows = rows_of(f.table());
    ASSERT_EQ(rows.size(), 50u);
    for (int i = 0; i < 50; ++i) {
        std::string want = text(i, i % 2 == 0 ? '2' : '1');
        want.resize(80, ' ');
        EXPECT_EQ(rows.at("01" + code(i)), want) << i;
        EXPECT_TRUE(f.table().seek(index_key("01", code(i)), false)) << i;
    }
    EXPECT_EQ(f.table().field_pos("UWAGI"), 2);
}

TEST(SentRecords, ADamagedIndexIsBuiltAgain) {
    Folder f;
    Session& s = f.h.session;
    SentRecords sent(s);
    ASSERT_TRUE(sent.open());
    sent.record("01", record("5901234123457", "I;1;5901234123457;X;1;A;3;11100;01;00;;"), SendRoad::Main, false);
    sent.finish();
    keep_sent_changes(s);
    std::ofstream(f.folder.file("durva/as2000.ntx"), std::ios::trunc) << "not an index";

    ASSERT_TRUE(sent.open());
    EXPECT_TRUE(f.table().seek(index_key("01", "5901234123457"), false));
}

TEST(SentRecords, ADamagedTableRefusesTheSendAndIsLeftAlone) {
    Folder f;
    Session& s = f.h.session;
    std::filesystem::create_directory(f.folder.path() / "durva");
    const std::string junk(100, '\x07');
    std::ofstream(f.folder.file("durva/as2000.dbf"), std::ios::binary) << junk;

    EXPECT_FALSE(SentRecords(s).open());
    EXPECT_TRUE(f.screen_shows("PROBLEMY Z durva\\as2000.dbf"));
    EXPECT_EQ(s.areas.current(), 2);
    EXPECT_FALSE(s.areas.used(kSentRecordsArea));
    EXPECT_EQ(std::filesystem::file_size(f.folder.file("durva/as2000.dbf")), junk.size());
}

TEST(SentRecords, ASecondStationIsRefusedWhileOneSends) {
    Folder f;
    Session& s = f.h.session;
    ASSERT_TRUE(SentRecords(s).open());
    s.areas.close(kSentRecordsArea);

    test::ChildProcess other(test::proc_path("dbf_holder"), {f.folder.file("durva/as2000.dbf"), "exclusive"});
    ASSERT_EQ(other.read_line(), "ready");
    EXPECT_FALSE(SentRecords(s).open());
    EXPECT_TRUE(f.screen_shows("PROBLEMY Z durva\\as2000.dbf"));
    EXPECT_EQ(s.areas.current(), 2);
    other.write_line("quit");
}

}  // namespace
}  // namespace durva
