// The Table over the sample office folders: every table with all its
// indexes, the lookups the folders' README lists, and writes that must leave
// every index complete and ordered.
#include <gtest/gtest.h>

#include <vector>

#include "common/dbf/table.h"
#include "support/fixture_folder.h"
#include "table_check.h"

namespace durva::dbf {
namespace {

using platform::Share;
using test::descend;

struct TableLayout {
    const char* table;
    std::vector<const char*> indexes;
};

std::vector<TableLayout> folder_tables(bool kod13) {
    return {{"16/03/as", kod13 ? std::vector<const char*>{"as", "as2", "as3"} : std::vector<const char*>{"as", "as2"}},
            {"16/03/dow", {"dow1", "dow2", "dow3"}},
            {"16/03/dowod", {"dowod1", "dowod2"}},
            {"16/03/slow", {"slow"}},
            {"16/03/pk", {"pk"}}};
}

std::unique_ptr<Table> open_with_indexes(const durva::test::TempFolder& dir, const TableLayout& layout,
                                         const TableSettings& settings, Share mode = Share::Shared) {
    auto t = Table::open(dir.file(layout.table), mode, settings);
    for (const char* ix : layout.indexes) t->add_index(dir.file(std::string("16/03/") + ix));
    return t;
}

std::vector<std::uint32_t> walk(Table& t, int steps = 1000) {
    std::vector<std::uint32_t> out;
    for (t.go_top(); !t.eof() && steps-- > 0; t.skip(1)) out.push_back(t.recno());
    return out;
}

std::vector<std::uint32_t> next_records(Table& t, int count) {
    std::vector<std::uint32_t> out;
    for (int i = 0; i < count && !t.eof(); ++i, t.skip(1)) out.push_back(t.recno());
    return out;
}

class FixtureFolders : public ::testing::TestWithParam<const char*> {};

TEST_P(FixtureFolders, EveryTableWalksEachOrderAndFindsEveryRecordByItsKey) {
    durva::test::TempFolder dir(GetParam());
    TableSettings visible;
    visible.deleted_hidden = false;
    for (const TableLayout& layout : folder_tables(std::string(GetParam()) == "kod13")) {
        SCOPED_TRACE(layout.table);
        auto t = open_with_indexes(dir, layout, visible);
        EXPECT_EQ(t->order(), 1);
        test::expect_indexes_complete(*t);
        // Backwards from the bottom gives the same records in reverse.
        for (int o = 1; o <= t->index_count(); ++o) {
            t->set_order(o);
            std::vector<std::uint32_t> fwd = walk(*t), back;
            for (t->go_bottom(); !t->bof(); t->skip(-1)) back.push_back(t->recno());
            EXPECT_TRUE(t->bof());
            EXPECT_EQ(t->recno(), fwd.front());
            std::reverse(back.begin(), back.end());
            EXPECT_EQ(back, fwd);
        }
    }
}

TEST_P(FixtureFolders, DeletedRecordsAreHiddenFromEveryOrder) {
    durva::test::TempFolder dir(GetParam());
    TableSettings hidden;
    const bool kod13 = std::string(GetParam()) == "kod13";
    auto t = open_with_indexes(dir, folder_tables(kod13)[0], hidden);
    const std::size_t live = kod13 ? 300 - 19 : 100 - 7;
    for (int o = 0; o <= t->index_count(); ++o) {
        t->set_order(o);
        std::vector<std::uint32_t> recs = walk(*t);
        EXPECT_EQ(recs.size(), live) << "order " << o;
        for (std::uint32_t r : recs) EXPECT_NE(r, 12u);
    }
}

TEST_P(FixtureFolders, DocumentsCountersAndAccountsLookUpAsListed) {
    durva::test::TempFolder dir(GetParam());
    TableSettings s;
    auto tables = folder_tables(true);
    auto dow = open_with_indexes(dir, tables[1], s);
    EXPECT_TRUE(dow->seek("PZ " "       2", false));
    EXPECT_EQ(next_records(*dow, 4), (std::vector<std::uint32_t>{5, 6, 7, 8}));
    dow->seek("PZ " "       2", false);
    int rows = 0;
    for (; !dow->eof() && dow->text("NRD") == "       2"; dow->skip(1)) ++rows;
    EXPECT_EQ(rows, 3);
    dow->set_order(3);
    EXPECT_EQ(walk(*dow), (std::vector<std::uint32_t>{1, 2, 3, 4, 8, 9, 10, 11, 12, 5, 6, 7}));

    auto dowod = open_with_indexes(dir, tables[2], s);
    EXPECT_EQ(walk(*dowod), (std::vector<std::uint32_t>{1, 2, 3}));
    dowod->set_order(2);
    EXPECT_EQ(walk(*dowod), (std::vector<std::uint32_t>{1, 3, 2}));

    auto slow = open_with_indexes(dir, tables[3], s);
    ASSERT_TRUE(slow->seek("PZ "));
    EXPECT_EQ(slow->recno(), 2u);
    EXPECT_EQ(slow->number("NRD"), 3);
    EXPECT_EQ(walk(*slow), (std::vector<std::uint32_t>{3, 2, 1}));

    auto pk = open_with_indexes(dir, tables[4], s);
    EXPECT_EQ(walk(*pk), (std::vector<std::uint32_t>{4, 2, 7, 5, 1, 8, 6, 3}));
}

class Kod13Goods : public ::testing::Test {
protected:
    void SetUp() override {
        visible_.deleted_hidden = false;
        goods_ = open_with_indexes(dir_, folder_tables(true)[0], visible_);
    }
    // Seeks exactly in `order`; the record found, 0 when not found (then at the end).
    std::uint32_t find(int order, const std::string& key) {
        goods_->set_order(order);
        bool found = goods_->seek(key, false);
        if (!found) {
            EXPECT_TRUE(goods_->eof());
            return 0;
        }
        return goods_->recno();
    }
    durva::test::TempFolder dir_{"kod13"};
    TableSettings visible_;
    std::unique_ptr<Table> goods_;
};

TEST_F(Kod13Goods, WarehouseAndIndexOrder) {
    EXPECT_EQ(find(1, "1" "10001   "), 1u);
    EXPECT_EQ(find(1, "2" "10007   "), 12u);
    EXPECT_EQ(find(1, "1" "10004   "), 0u);
    goods_->go_top();
    EXPECT_EQ(goods_->recno(), 29u);
    EXPECT_TRUE(goods_->deleted());
    goods_->go_bottom();
    EXPECT_EQ(goods_->recno(), 144u);
    EXPECT_EQ(goods_->text("INDEKS"), "PIW-729 ");
}

TEST_F(Kod13Goods, DescendingBarCodeOrder) {
    EXPECT_EQ(find(2, descend("5901234123457")), 3u);
    EXPECT_EQ(next_records(*goods_, 3), (std::vector<std::uint32_t>{3, 2, 1}));
    EXPECT_EQ(find(2, descend("5901234123457" "2")), 2u);
    EXPECT_EQ(find(2, descend("5901234123457" "3")), 0u);
    find(2, descend("0012345678905"));
    EXPECT_EQ(next_records(*goods_, 2), (std::vector<std::uint32_t>{5, 4}));
    find(2, descend("5906285943900"));
    EXPECT_EQ(next_records(*goods_, 4), (std::vector<std::uint32_t>{24, 184, 64, 56}));
    EXPECT_EQ(find(2, descend("5907777777775")), 12u);
    find(2, descend("12345"));
    EXPECT_EQ(next_records(*goods_, 4), (std::vector<std::uint32_t>{8, 7, 6, 245}));
    EXPECT_EQ(find(2, descend("12345        ")), 6u);
    EXPECT_EQ(find(2, descend("1234567")), 8u);
    EXPECT_EQ(find(2, descend("1234567      ")), 7u);
    EXPECT_EQ(find(2, descend("2812345")), 9u);
    goods_->go_top();
    EXPECT_EQ(next_records(*goods_, 3), (std::vector<std::uint32_t>{263, 16, 68}));
    find(2, descend(std::string(13, ' ')));
    EXPECT_EQ(next_records(*goods_, 4), (std::vector<std::uint32_t>{137, 183, 230, 250}));
    goods_->go_bottom();
    EXPECT_EQ(goods_->recno(), 280u);
}

TEST_F(Kod13Goods, NameOrder) {
    goods_->set_order(3);
    goods_->go_top();
    EXPECT_EQ(next_records(*goods_, 2), (std::vector<std::uint32_t>{258, 238}));
    goods_->go_bottom();
    EXPECT_EQ(goods_->recno(), 8u);
    goods_->skip(-1);
    EXPECT_EQ(goods_->recno(), 222u);
    EXPECT_EQ(find(3, "M\x8F" "KA \xA1" "YTNIA"), 149u);
    ASSERT_EQ(find(3, "M\x86" "KA \xA7" "YTNIA"), 159u);
    bool saw_13 = false;
    const std::string run = "M\x86" "KA \xA7" "YTNIA";
    for (; !goods_->eof() && goods_->index(3).key_of(goods_->record()).starts_with(run); goods_->skip(1))
        saw_13 = saw_13 || goods_->recno() == 13;
    EXPECT_TRUE(saw_13);
    EXPECT_EQ(find(3, "GROCH"), 67u);
    EXPECT_EQ(find(3, "ZMIENIONA"), 20u);
}

TEST_F(Kod13Goods, HiddenDeletedRecordsAreSkippedBySeeks) {
    TableSettings hidden;
    hidden.soft_seek = false;
    goods_->close();
    goods_ = open_with_indexes(dir_, folder_tables(true)[0], hidden);
    EXPECT_FALSE(goods_->seek("2" "10007   "));
    EXPECT_TRUE(goods_->eof());
    goods_->set_order(2);
    ASSERT_TRUE(goods_->seek(descend("5907777777775")));
    EXPECT_EQ(goods_->recno(), 11u);
    // The top of the descending order skips the deleted record 68.
    goods_->go_top();
    std::vector<std::uint32_t> top = next_records(*goods_, 3);
    EXPECT_EQ(top[0], 263u);
    EXPECT_EQ(top[1], 16u);
    EXPECT_NE(top[2], 68u);
}

TEST(Nokod13Goods, LookUpAsListed) {
    durva::test::TempFolder dir("nokod13");
    TableSettings visible;
    visible.deleted_hidden = false;
    visible.soft_seek = false;
    auto t = open_with_indexes(dir, folder_tables(false)[0], visible);
    EXPECT_TRUE(t->seek("1" "10001   "));
    EXPECT_EQ(t->recno(), 1u);
    EXPECT_TRUE(t->seek("2" "10007   "));
    EXPECT_EQ(t->recno(), 12u);
    t->go_top();
    EXPECT_EQ(t->recno(), 48u);
    t->go_bottom();
    EXPECT_EQ(t->recno(), 99u);
    t->set_order(2);
    t->go_top();
    EXPECT_EQ(next_records(*t, 2), (std::vector<std::uint32_t>{14, 98}));
    t->go_bottom();
    EXPECT_EQ(t->recno(), 8u);
    t->skip(-1);
    EXPECT_EQ(t->recno(), 12u);
    EXPECT_TRUE(t->seek("M\x86" "KA \xA7" "YTNIA"));
    EXPECT_EQ(t->recno(), 13u);
    EXPECT_FALSE(t->seek("M\x8F" "KA \xA1" "YTNIA"));
    EXPECT_TRUE(t->seek("GROCH"));
    EXPECT_EQ(t->recno(), 97u);
    EXPECT_TRUE(t->seek("ZMIENIONA"));
    EXPECT_EQ(t->recno(), 20u);

    TableSettings hidden;
    hidden.soft_seek = false;
    t->close();
    t = open_with_indexes(dir, folder_tables(false)[0], hidden);
    EXPECT_FALSE(t->seek("2" "10007   "));
    EXPECT_TRUE(t->eof());
}

// Appends and key changes through a shared opening, as a workstation makes
// them: afterwards every index holds every record exactly once, in order.
TEST_P(FixtureFolders, AppendsAndKeyChangesKeepEveryIndexComplete) {
    durva::test::TempFolder dir(GetParam());
    const bool kod13 = std::string(GetParam()) == "kod13";
    TableSettings s;
    auto t = open_with_indexes(dir, folder_tables(kod13)[0], s);
    const std::uint32_t before = t->record_count();
    const char* mags[] = {"1", "2", "K", "U", "3"};
    for (int i = 0; i < 60; ++i) {
        ASSERT_TRUE(t->append_blank());
        t->put("MAG", std::string(mags[i % 5]));
        t->put("INDEKS", "N" + std::to_string(1000 + (i * 37) % 50));
        t->put("NAZWA", std::string(i % 3 ? "nowy towar " : "NOWY TOWAR ") + std::to_string(i % 7));
        if (kod13) t->put("KOD13", i % 4 ? std::to_string(5900000000000LL + i * 7919) : std::string());
        t->put("CENA2", i * 1.25);
        t->unlock();
    }
    // Key fields changed on existing records, including one moved twice, and deletions.
    for (std::uint32_t r : {1u, 20u, 50u, 85u, 99u, 1u}) {
        t->go_to(r);
        ASSERT_TRUE(t->lock_record());
        t->put("NAZWA", "ZMIANA " + std::to_string(r) + (t->text("NAZWA").starts_with("ZMIANA") ? " BIS" : ""));
        t->put("MAG", std::string("3"));
        if (kod13) t->put("KOD13", std::string("77") + std::to_string(r));
        t->unlock();
    }
    for (std::uint32_t r : {2u, before + 5}) {
        t->go_to(r);
        ASSERT_TRUE(t->lock_record());
        t->delete_record();
        t->unlock();
    }
    t->close();

    TableSettings visible;
    visible.deleted_hidden = false;
    auto check = open_with_indexes(dir, folder_tables(kod13)[0], visible, Share::Exclusive);
    EXPECT_EQ(check->record_count(), before + 60);
    test::expect_indexes_complete(*check);
    check->set_order(1);
    ASSERT_TRUE(check->seek("3" "10001   "));
    EXPECT_EQ(check->recno(), 1u);
    EXPECT_EQ(check->text("NAZWA").substr(0, 15), "ZMIANA 1 BIS   ");
    EXPECT_TRUE(check->seek("K" "N1024   "));
}

INSTANTIATE_TEST_SUITE_P(Samples, FixtureFolders, ::testing::Values("kod13", "nokod13"));

}  // namespace
}  // namespace durva::dbf
