// Reading the indexes the office's other programs wrote: every index of the
// sample folders walked both ways, every record found under its own key, and
// the lookups the office relies on.
#include <gtest/gtest.h>

#include <optional>

#include "support/fixture_folder.h"
#include "support/ntx_test_support.h"

namespace durva::dbf {
namespace {

using test::descend;
using test::IndexedTable;
using test::recnos;
using test::TempFolder;

struct IndexFile {
    const char* sample;
    const char* dbf;
    const char* ntx;
    std::uint64_t keys;
};

const IndexFile kIndexes[] = {
    {"kod13", "16/03/as.dbf", "16/03/as.ntx", 300},       {"kod13", "16/03/as.dbf", "16/03/as2.ntx", 300},
    {"kod13", "16/03/as.dbf", "16/03/as3.ntx", 300},      {"kod13", "16/03/dow.dbf", "16/03/dow1.ntx", 12},
    {"kod13", "16/03/dow.dbf", "16/03/dow2.ntx", 12},     {"kod13", "16/03/dow.dbf", "16/03/dow3.ntx", 12},
    {"kod13", "16/03/dowod.dbf", "16/03/dowod1.ntx", 3},  {"kod13", "16/03/dowod.dbf", "16/03/dowod2.ntx", 3},
    {"kod13", "16/03/slow.dbf", "16/03/slow.ntx", 3},     {"kod13", "16/03/pk.dbf", "16/03/pk.ntx", 8},
    {"nokod13", "16/03/as.dbf", "16/03/as.ntx", 100},     {"nokod13", "16/03/as.dbf", "16/03/as2.ntx", 100},
    {"nokod13", "16/03/dow.dbf", "16/03/dow3.ntx", 12},   {"nokod13", "16/03/pk.dbf", "16/03/pk.ntx", 8},
    {"extra", "keys.dbf", "keys_n.ntx", 400},             {"extra", "keys.dbf", "keys_s.ntx", 400},
    {"extra", "keys.dbf", "keys_d.ntx", 400},             {"extra", "keys.dbf", "keys_dt.ntx", 400},
    {"extra", "keys.dbf", "keys_u.ntx", 150},             {"extra", "churn.dbf", "churn.ntx", 3000},
};

TEST(NtxFixtures, EveryIndexIsSoundAndHoldsEachRecordUnderItsOwnKey) {
    for (const IndexFile& ix : kIndexes) {
        SCOPED_TRACE(std::string(ix.sample) + "/" + ix.ntx);
        TempFolder folder(ix.sample);
        IndexedTable t(folder.file(ix.dbf), folder.file(ix.ntx));
        EXPECT_EQ(t.ntx->verify(t.records()), "");
        EXPECT_EQ(t.ntx->key_count(), ix.keys);

        auto forward = test::walk_forward(*t.ntx);
        auto backward = test::walk_backward(*t.ntx);
        ASSERT_EQ(forward.size(), ix.keys);
        std::reverse(backward.begin(), backward.end());
        EXPECT_EQ(forward, backward);

        // Rebuilt from the table, the keys are exactly what the file holds.
        std::vector<std::string> keys;
        for (std::uint32_t r = 1; r <= t.records(); ++r) keys.push_back(t.key_of(r));
        if (t.ntx->unique()) {
            std::map<std::string, std::uint32_t> lowest;
            for (std::uint32_t r = 1; r <= keys.size(); ++r) lowest.emplace(keys[r - 1], r);
            std::vector<NtxEntry> want;
            for (const auto& [k, r] : lowest) want.push_back({k, r});
            EXPECT_EQ(forward, want);
        } else {
            std::map<std::uint32_t, std::string> held;
            for (const NtxEntry& e : forward) EXPECT_TRUE(held.emplace(e.recno, e.key).second) << e.recno;
            for (std::uint32_t r = 1; r <= keys.size(); ++r) EXPECT_EQ(held[r], keys[r - 1]) << "record " << r;
        }
    }
}

TEST(NtxFixtures, StepsFromAnyEntryFindTheExactPairAmongEqualKeys) {
    // keys.dbf has 150 codes over 400 records; churn.ntx has lived through many changes.
    for (const char* name : {"keys_s.ntx", "keys_d.ntx", "churn.ntx"}) {
        SCOPED_TRACE(name);
        TempFolder folder("extra");
        IndexedTable t(folder.file(std::string(name) == "churn.ntx" ? "churn.dbf" : "keys.dbf"), folder.file(name));
        auto all = test::walk_forward(*t.ntx);
        for (size_t i = 0; i < all.size(); i += 7) {
            t.ntx->first();  // the remembered position is elsewhere now
            auto n = t.ntx->next(all[i]);
            if (i + 1 < all.size()) EXPECT_EQ(n, all[i + 1]);
            else EXPECT_FALSE(n);
            t.ntx->last();
            auto p = t.ntx->prev(all[i]);
            if (i > 0) EXPECT_EQ(p, all[i - 1]);
            else EXPECT_FALSE(p);
        }
    }
    // Equal keys: the two goods with one name in one warehouse, in record order.
    TempFolder folder("kod13");
    IndexedTable t(folder.file("16/03/as.dbf"), folder.file("16/03/as3.ntx"));
    auto e193 = t.ntx->seek(t.key_of(193));
    ASSERT_TRUE(e193);
    EXPECT_EQ(e193->recno, 193u);
    auto e281 = t.ntx->next(*e193);
    ASSERT_TRUE(e281);
    EXPECT_EQ(e281->recno, 281u);
    EXPECT_EQ(e281->key, e193->key);
    t.ntx->first();
    EXPECT_EQ(t.ntx->prev(*e281), e193);
}

TEST(NtxFixtures, AGoneEntryStepsToItsNeighboursByKey) {
    TempFolder folder("nokod13");
    IndexedTable t(folder.file("16/03/pk.dbf"), folder.file("16/03/pk.ntx"));
    // Between "131" (rec 2) and "201-00001" (rec 7); record 99 does not exist.
    NtxEntry gone{"150       ", 99};
    EXPECT_EQ(t.ntx->next(gone)->recno, 7u);
    EXPECT_EQ(t.ntx->prev(gone)->recno, 2u);
    EXPECT_EQ(t.ntx->prev(NtxEntry{"999       ", 1})->recno, 3u);
    EXPECT_FALSE(t.ntx->next(NtxEntry{"999       ", 1}));
}

// A non-soft seek: found only when the entry begins with the searched bytes.
std::optional<std::uint32_t> seek(NtxIndex& ntx, const std::string& key) {
    auto e = ntx.seek(key);
    if (!e || e->key.compare(0, key.size(), key) != 0) return std::nullopt;
    return e->recno;
}

// The records of the entries from `key` on that begin with it.
std::vector<std::uint32_t> run_of(NtxIndex& ntx, const std::string& key) {
    std::vector<std::uint32_t> out;
    for (auto e = ntx.seek(key); e && e->key.compare(0, key.size(), key) == 0; e = ntx.next(*e)) out.push_back(e->recno);
    return out;
}

std::vector<std::uint32_t> first_n(NtxIndex& ntx, size_t n) {
    std::vector<std::uint32_t> out;
    for (auto e = ntx.first(); e && out.size() < n; e = ntx.next(*e)) out.push_back(e->recno);
    return out;
}

std::vector<std::uint32_t> last_n(NtxIndex& ntx, size_t n) {
    std::vector<std::uint32_t> out;
    for (auto e = ntx.last(); e && out.size() < n; e = ntx.prev(*e)) out.push_back(e->recno);
    return out;
}

const std::string kMakaUpperAscii = "M\x86KA \xA7YTNIA";  // UPPER("mąka żytnia")
const std::string kMakaMazovia = "M\x8FKA \xA1YTNIA";     // "MĄKA ŻYTNIA"

TEST(NtxFixtures, Kod13GoodsLookups) {
    TempFolder folder("kod13");
    IndexedTable as(folder.file("16/03/as.dbf"), folder.file("16/03/as.ntx"));
    EXPECT_EQ(seek(*as.ntx, "110001   "), 1u);
    EXPECT_EQ(seek(*as.ntx, "210007   "), 12u);
    EXPECT_EQ(seek(*as.ntx, "110004   "), std::nullopt);
    EXPECT_EQ(as.ntx->first()->recno, 29u);
    EXPECT_EQ(as.ntx->first()->key, "100003979");
    EXPECT_EQ(as.ntx->last()->recno, 144u);
    EXPECT_EQ(as.ntx->last()->key, "UPIW-729 ");

    auto as2 = NtxIndex::open(folder.file("16/03/as2.ntx"), platform::Share::Exclusive, as.dbf->fields());
    NtxIndex& d = *as2;
    EXPECT_EQ(run_of(d, descend("5901234123457")), (std::vector<std::uint32_t>{3, 2, 1}));
    EXPECT_EQ(seek(d, descend("59012341234572")), 2u);
    EXPECT_EQ(seek(d, descend("59012341234573")), std::nullopt);
    EXPECT_EQ(run_of(d, descend("0012345678905")), (std::vector<std::uint32_t>{5, 4}));
    EXPECT_EQ(run_of(d, descend("5906285943900")), (std::vector<std::uint32_t>{24, 184, 64, 56}));
    EXPECT_EQ(seek(d, descend("5907777777775")), 12u);
    // A partial key: the longer codes that begin with it come first.
    auto e = d.seek(descend("12345"));
    std::vector<std::uint32_t> walked;
    for (int i = 0; e && i < 4; ++i, e = d.next(*e)) walked.push_back(e->recno);
    EXPECT_EQ(walked, (std::vector<std::uint32_t>{8, 7, 6, 245}));
    EXPECT_EQ(seek(d, descend("12345        ")), 6u);
    EXPECT_EQ(seek(d, descend("1234567")), 8u);
    EXPECT_EQ(seek(d, descend("1234567      ")), 7u);
    EXPECT_EQ(seek(d, descend("2812345")), 9u);
    EXPECT_EQ(first_n(d, 3), (std::vector<std::uint32_t>{263, 16, 68}));
    auto blanks = run_of(d, descend(std::string(13, ' ')));
    ASSERT_GE(blanks.size(), 6u);
    EXPECT_EQ(std::vector<std::uint32_t>(blanks.begin(), blanks.begin() + 6),
              (std::vector<std::uint32_t>{137, 183, 230, 250, 87, 99}));
    EXPECT_EQ(blanks.back(), 280u);
    EXPECT_EQ(blanks.size(), 36u);
    EXPECT_EQ(d.last()->recno, 280u);

    auto as3 = NtxIndex::open(folder.file("16/03/as3.ntx"), platform::Share::Exclusive, as.dbf->fields());
    NtxIndex& n = *as3;
    EXPECT_EQ(first_n(n, 2), (std::vector<std::uint32_t>{258, 238}));
    EXPECT_EQ(last_n(n, 2), (std::vector<std::uint32_t>{8, 222}));
    EXPECT_EQ(seek(n, kMakaMazovia), 149u);
    auto maka = run_of(n, kMakaUpperAscii);
    ASSERT_FALSE(maka.empty());
    EXPECT_EQ(maka.front(), 159u);
    EXPECT_NE(std::find(maka.begin(), maka.end(), 13u), maka.end());
    EXPECT_EQ(seek(n, "GROCH"), 67u);
    EXPECT_EQ(seek(n, "ZMIENIONA"), 20u);
}

TEST(NtxFixtures, Nokod13GoodsLookups) {
    TempFolder folder("nokod13");
    IndexedTable as(folder.file("16/03/as.dbf"), folder.file("16/03/as.ntx"));
    EXPECT_EQ(seek(*as.ntx, "110001   "), 1u);
    EXPECT_EQ(seek(*as.ntx, "210007   "), 12u);
    EXPECT_EQ(as.ntx->first()->recno, 48u);
    EXPECT_EQ(as.ntx->first()->key, "100018221");
    EXPECT_EQ(as.ntx->last()->recno, 99u);
    EXPECT_EQ(as.ntx->last()->key, "UJAJ-109 ");

    auto as2 = NtxIndex::open(folder.file("16/03/as2.ntx"), platform::Share::Exclusive, as.dbf->fields());
    NtxIndex& n = *as2;
    EXPECT_EQ(first_n(n, 2), (std::vector<std::uint32_t>{14, 98}));
    EXPECT_EQ(last_n(n, 2), (std::vector<std::uint32_t>{8, 12}));
    EXPECT_EQ(seek(n, kMakaUpperAscii), 13u);
    EXPECT_EQ(seek(n, kMakaMazovia), std::nullopt);
    EXPECT_EQ(seek(n, "GROCH"), 97u);
    EXPECT_EQ(seek(n, "ZMIENIONA"), 20u);
}

TEST(NtxFixtures, DocumentCounterAndAccountOrders) {
    for (const char* sample : {"kod13", "nokod13"}) {
        SCOPED_TRACE(sample);
        TempFolder folder(sample);
        using V = std::vector<std::uint32_t>;
        auto walk = [&](const char* dbf, const char* ntx) {
            IndexedTable t(folder.file(dbf), folder.file(ntx));
            return recnos(test::walk_forward(*t.ntx));
        };
        {
            IndexedTable t(folder.file("16/03/dow.dbf"), folder.file("16/03/dow1.ntx"));
            EXPECT_EQ(run_of(*t.ntx, "PZ        2"), (V{5, 6, 7}));
        }
        EXPECT_EQ(walk("16/03/dow.dbf", "16/03/dow3.ntx"), (V{1, 2, 3, 4, 8, 9, 10, 11, 12, 5, 6, 7}));
        EXPECT_EQ(walk("16/03/dowod.dbf", "16/03/dowod1.ntx"), (V{1, 2, 3}));
        EXPECT_EQ(walk("16/03/dowod.dbf", "16/03/dowod2.ntx"), (V{1, 3, 2}));
        EXPECT_EQ(walk("16/03/slow.dbf", "16/03/slow.ntx"), (V{3, 2, 1}));
        {
            IndexedTable t(folder.file("16/03/slow.dbf"), folder.file("16/03/slow.ntx"));
            EXPECT_EQ(seek(*t.ntx, "PZ "), 2u);
        }
        EXPECT_EQ(walk("16/03/pk.dbf", "16/03/pk.ntx"), (V{4, 2, 7, 5, 1, 8, 6, 3}));
    }
}

TEST(NtxFixtures, KeyEncodingsOfNumbersAndDates) {
    TempFolder folder("extra");
    {
        // Numbers: negatives first, larger magnitudes lower.
        IndexedTable t(folder.file("keys.dbf"), folder.file("keys_n.ntx"));
        EXPECT_EQ(t.ntx->key_size(), 10);
        EXPECT_EQ(t.ntx->key_decimals(), 2);
        KeyExpr kwota = KeyExpr::compile("KWOTA", t.dbf->fields());
        double lowest = 1e9, highest = -1e9;
        for (std::uint32_t r = 1; r <= t.records(); ++r) {
            double v = kwota.eval(t.dbf->record_view(r)).n;
            lowest = std::min(lowest, v);
            highest = std::max(highest, v);
        }
        ASSERT_LT(lowest, -1);
        EXPECT_EQ(kwota.eval(t.dbf->record_view(t.ntx->first()->recno)).n, lowest);
        EXPECT_EQ(kwota.eval(t.dbf->record_view(t.ntx->last()->recno)).n, highest);
        EXPECT_EQ(t.ntx->first()->key[0], ',');
        EXPECT_EQ(t.ntx->last()->key[0], '0');
    }
    {
        // Dates: the empty date is 8 blanks, before every real date.
        IndexedTable t(folder.file("keys.dbf"), folder.file("keys_dt.ntx"));
        auto all = test::walk_forward(*t.ntx);
        EXPECT_EQ(all.front().key, "        ");
        EXPECT_EQ(all.front().recno, 17u);
        size_t empty = 0;
        for (const auto& e : all) empty += e.key == "        ";
        EXPECT_EQ(empty, 23u);  // every 17th of 400 records
    }
    {
        // DESCEND of a DTOS text: a blank date becomes E0 bytes, above every
        // descended digit, so those records come last.
        IndexedTable t(folder.file("keys.dbf"), folder.file("keys_d.ntx"));
        auto all = test::walk_forward(*t.ntx);
        ASSERT_EQ(all.size(), 400u);
        for (size_t i = 0; i < all.size(); ++i) {
            bool blank = all[i].key.substr(0, 8) == std::string(8, '\xE0');
            EXPECT_EQ(blank, i >= all.size() - 23) << i;
        }
    }
    {
        IndexedTable t(folder.file("keys.dbf"), folder.file("keys_u.ntx"));
        EXPECT_TRUE(t.ntx->unique());
        EXPECT_EQ(t.ntx->first()->key, "0000000000");
    }
}

}  // namespace
}  // namespace durva::dbf
