// Changing indexes: many random inserts, removals and key changes checked
// against a model of the entry sequence, on copies of the sample indexes and
// on new ones with very small pages; bulk builds against the sample folders'
// freshly built indexes and against building by inserts.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>

#include "common/dbf/ntx_build.h"
#include "common/dbf/ntx_sort.h"
#include "platform/errors.h"
#include "support/fixture_folder.h"
#include "support/ntx_inspect.h"
#include "support/ntx_test_support.h"

namespace durva::dbf {
namespace {

using platform::Share;
using test::TempFolder;

std::vector<unsigned char> file_bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<unsigned char>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

unsigned header_version(const std::string& path) {
    auto b = file_bytes(path);
    return b.size() >= 4 ? unsigned(b[2] | (b[3] << 8)) : 0;
}

// The entry sequence an index must hold: new keys go after all their equals.
class Model {
public:
    Model(std::vector<NtxEntry> entries, bool unique) : e_(std::move(entries)), unique_(unique) {}
    const std::vector<NtxEntry>& entries() const { return e_; }

    bool insert(const std::string& key, std::uint32_t recno) {
        auto at = std::upper_bound(e_.begin(), e_.end(), key, [](const std::string& k, const NtxEntry& e) { return k < e.key; });
        if (unique_ && at != e_.begin() && std::prev(at)->key == key) return false;
        e_.insert(at, {key, recno});
        return true;
    }
    bool remove(const std::string& key, std::uint32_t recno) {
        auto it = std::find(e_.begin(), e_.end(), NtxEntry{key, recno});
        if (it == e_.end()) return false;
        e_.erase(it);
        return true;
    }

private:
    std::vector<NtxEntry> e_;
    bool unique_;
};

struct Mix {
    int inserts, removes, updates;  // weights
};

// Random changes to `path` through a fresh opening, checked against the model
// afterwards: the walk both ways, verify(), the key count, the version raised
// once per write, and the same entries seen by a new opening.
class Churner {
public:
    Churner(std::string path, const FieldList& fields, Share mode, unsigned seed)
        : path_(std::move(path)), fields_(fields), mode_(mode), rng_(seed) {
        auto ntx = NtxIndex::open(path_, mode_, fields_);
        model_ = std::make_unique<Model>(test::walk_forward(*ntx), ntx->unique());
        ks_ = static_cast<size_t>(ntx->key_size());
        for (const auto& e : model_->entries()) next_recno_ = std::max(next_recno_, e.recno + 1);
        orphans_ = test::inspect_ntx(path_).orphans();
    }

    void run(int steps, Mix mix) {
        unsigned version = header_version(path_);
        unsigned writes = 0;
        {
            auto ntx = NtxIndex::open(path_, mode_, fields_);
            std::discrete_distribution<int> pick({double(mix.inserts), double(mix.removes), double(mix.updates)});
            for (int i = 0; i < steps; ++i) {
                const auto& cur = model_->entries();
                int op = cur.empty() ? 0 : pick(rng_);
                if (op == 0) {
                    std::string key = some_key();
                    std::uint32_t r = next_recno_++;
                    ntx->insert(key, r);
                    writes += model_->insert(key, r);
                } else {
                    NtxEntry e = cur[rng_() % cur.size()];
                    if (op == 1) {
                        ASSERT_TRUE(ntx->remove(e.key, e.recno)) << e.recno;
                        model_->remove(e.key, e.recno);
                        ++writes;
                    } else {
                        std::string key = some_key();
                        ntx->update(e.key, key, e.recno);
                        if (key != e.key) {
                            model_->remove(e.key, e.recno);
                            model_->insert(key, e.recno);
                            ++writes;
                        }
                    }
                }
            }
            // A pair that is not there is reported and changes nothing.
            EXPECT_FALSE(ntx->remove(std::string(ks_, '~'), 1));
            check(*ntx);
        }
        EXPECT_EQ(header_version(path_), (version + writes) % 65536);
        auto again = NtxIndex::open(path_, mode_, fields_);
        EXPECT_EQ(test::walk_forward(*again), model_->entries());

        // What another program's reader meets: pages at least half full, an
        // empty root only as the last page, every page in the tree or free.
        test::NtxShape shape = test::inspect_ntx(path_);
        EXPECT_TRUE(shape.free_list_ok);
        EXPECT_LE(shape.orphans(), orphans_);
        if (shape.tree_pages > 1) {
            EXPECT_GE(shape.min_fill, shape.max_items / 2);
        }
        if (shape.root_keys == 0) {
            EXPECT_EQ(shape.root_child0, 0u);
        }
    }

    size_t size() const { return model_->entries().size(); }

private:
    // Keys from a small pool, so that many are equal.
    std::string some_key() {
        const auto& cur = model_->entries();
        std::string k;
        if (!cur.empty() && rng_() % 3 == 0) k = cur[rng_() % cur.size()].key;
        else k = "K" + std::to_string(rng_() % 400);
        k.resize(ks_, ' ');
        return k;
    }

    void check(NtxIndex& ntx) {
        EXPECT_EQ(ntx.verify(next_recno_), "");
        EXPECT_EQ(ntx.key_count(), model_->entries().size());
        auto forward = test::walk_forward(ntx);
        EXPECT_EQ(forward, model_->entries());
        auto backward = test::walk_backward(ntx);
        std::reverse(backward.begin(), backward.end());
        EXPECT_EQ(backward, model_->entries());
    }

    std::string path_;
    FieldList fields_;
    Share mode_;
    std::mt19937 rng_;
    std::unique_ptr<Model> model_;
    size_t ks_ = 0;
    std::uint32_t next_recno_ = 1;
    size_t orphans_ = 0;
};

FieldList fields_of(const std::string& dbf) { return DbfFile::open(dbf, Share::Shared)->fields(); }

TEST(NtxUpdates, ChurnedSampleIndexStaysSoundAndFreedPagesAreReused) {
    TempFolder folder("extra");
    std::string path = folder.file("churn.ntx");
    Churner c(path, fields_of(folder.file("churn.dbf")), Share::Exclusive, 1);
    c.run(3000, {4, 3, 3});
    auto size_before = std::filesystem::file_size(path);
    c.run(static_cast<int>(c.size()) + 100, {0, 1, 0});  // down to an empty tree
    EXPECT_EQ(c.size(), 0u);
    test::NtxShape empty = test::inspect_ntx(path);
    EXPECT_EQ(empty.tree_pages, 1u);
    EXPECT_EQ(empty.depth, 1);
    EXPECT_GT(empty.free_pages, 50u);
    c.run(3000, {1, 0, 0});
    // Freed pages came back from the free list instead of growing the file.
    EXPECT_LE(std::filesystem::file_size(path), size_before);
}

TEST(NtxUpdates, GoodsIndexesThroughASharedOpening) {
    TempFolder folder("kod13");
    FieldList fields = fields_of(folder.file("16/03/as.dbf"));
    for (const char* name : {"16/03/as.ntx", "16/03/as2.ntx", "16/03/as3.ntx"}) {
        SCOPED_TRACE(name);
        Churner c(folder.file(name), fields, Share::Shared, 2);
        c.run(1500, {4, 3, 3});
        c.run(1200, {1, 4, 2});
    }
}

TEST(NtxUpdates, UniqueIndexKeepsOneEntryPerKey) {
    TempFolder folder("extra");
    std::string path = folder.file("keys_u.ntx");
    FieldList fields = fields_of(folder.file("keys.dbf"));
    Churner c(path, fields, Share::Exclusive, 3);
    c.run(2000, {4, 3, 3});

    auto ntx = NtxIndex::open(path, Share::Exclusive, fields);
    auto first = ntx->first();
    ASSERT_TRUE(first);
    unsigned version = header_version(path);
    const std::uint64_t keys = ntx->key_count();
    ntx->insert(first->key, 99999);  // already there: nothing happens
    ntx->flush();
    EXPECT_EQ(header_version(path), version);
    EXPECT_EQ(ntx->seek(first->key)->recno, first->recno);
    auto second = ntx->next(*first);  // the key's one entry is followed by the next key
    ASSERT_TRUE(second);
    EXPECT_NE(second->key, first->key);
    EXPECT_NE(second->recno, 99999u);
    EXPECT_EQ(ntx->key_count(), keys);
    ntx->update(first->key, first->key, first->recno);  // same key: untouched
    ntx->flush();
    EXPECT_EQ(header_version(path), version);
    ntx->insert("ZZZ", 99999);
    ntx->flush();
    EXPECT_EQ(header_version(path), version + 1);
}

// New indexes with long keys have tiny pages (8 and 2 keys), so a few hundred
// changes split, merge, redistribute and collapse the root many times over.
TEST(NtxUpdates, TinyPagesThroughEveryRebalancingCase) {
    for (const char* expr : {"PADR(KOD,100)", "PADR(KOD,256)"}) {
        SCOPED_TRACE(expr);
        TempFolder folder("extra");
        auto dbf = DbfFile::open(folder.file("keys.dbf"), Share::Exclusive);
        std::string path = folder.file("tiny.ntx");
        auto built = NtxIndex::create(path, expr, dbf->fields(), dbf->record_count(),
                                      [&](std::uint32_t r) { return dbf->record_view(r); }, Share::Exclusive);
        EXPECT_EQ(built->verify(dbf->record_count()), "");
        built.reset();
        Churner c(path, dbf->fields(), Share::Exclusive, 4);
        c.run(1500, {4, 3, 3});
        c.run(static_cast<int>(c.size()) + 10, {0, 3, 1});
        c.run(800, {3, 1, 1});
    }
}

TEST(NtxUpdates, ChangesMadeThroughOneOpeningAreSeenByAnother) {
    TempFolder folder("kod13");
    FieldList fields = fields_of(folder.file("16/03/pk.dbf"));
    std::string path = folder.file("16/03/pk.ntx");
    auto a = NtxIndex::open(path, Share::Shared, fields);
    auto b = NtxIndex::open(path, Share::Shared, fields);
    EXPECT_EQ(b->first()->recno, 4u);  // b has "100" cached
    a->insert("050       ", 9);
    EXPECT_EQ(b->first()->recno, 9u);
    auto all = test::walk_forward(*b);
    EXPECT_EQ(all.size(), 9u);
    a->remove("050       ", 9);
    a->update("100       ", "999       ", 4);
    EXPECT_EQ(b->first()->recno, 2u);
    EXPECT_EQ(b->last()->recno, 4u);
    // b's remembered position is stale; stepping from it still works.
    EXPECT_EQ(b->prev(NtxEntry{"999       ", 4})->recno, 3u);
    EXPECT_EQ(b->verify(9), "");
}

TEST(NtxUpdates, ReadOnlyOpeningRefusesChanges) {
    TempFolder folder("kod13");
    std::string path = folder.file("16/03/pk.ntx");
    auto before = file_bytes(path);
    auto ntx = NtxIndex::open(path, Share::Shared, fields_of(folder.file("16/03/pk.dbf")), true);
    EXPECT_THROW(ntx->insert("050       ", 9), DbError);
    EXPECT_THROW(ntx->remove("100       ", 4), DbError);
    EXPECT_EQ(ntx->first()->recno, 4u);
    EXPECT_EQ(file_bytes(path), before);
}

// --- bulk builds --------------------------------------------------------------

std::unique_ptr<NtxIndex> build(DbfFile& dbf, const std::string& path, const std::string& expr, bool unique = false,
                                Share mode = Share::Exclusive) {
    return NtxIndex::create(path, expr, dbf.fields(), dbf.record_count(),
                            [&](std::uint32_t r) { return dbf.record_view(r); }, mode, unique);
}

TEST(NtxBuild, MatchesTheSamplesFreshBuildsByteForByteOutsideTheRoot) {
    TempFolder folder("extra");
    auto dbf = DbfFile::open(folder.file("keys.dbf"), Share::Exclusive);
    for (const char* name : {"keys_n.ntx", "keys_s.ntx", "keys_d.ntx", "keys_dt.ntx", "keys_u.ntx"}) {
        SCOPED_TRACE(name);
        auto theirs = NtxIndex::open(folder.file(name), Share::Exclusive, dbf->fields());
        std::string ours_path = folder.file(std::string("ours_") + name);
        auto ours = build(*dbf, ours_path, theirs->expression(), theirs->unique());
        EXPECT_EQ(ours->key_size(), theirs->key_size());
        EXPECT_EQ(ours->key_decimals(), theirs->key_decimals());
        EXPECT_EQ(test::walk_forward(*ours), test::walk_forward(*theirs));
        EXPECT_EQ(ours->verify(dbf->record_count()), "");

        auto a = file_bytes(ours_path), b = file_bytes(folder.file(name));
        EXPECT_EQ(a.size(), b.size());  // the same number of pages: leaves filled alike
        ASSERT_GE(a.size(), 1024u);
        ASSERT_GE(b.size(), 1024u);
        // Signature, version 1, free list, geometry, expression, unique flag, zeros to 1023.
        EXPECT_TRUE(std::equal(a.begin(), a.begin() + 4, b.begin()));
        EXPECT_TRUE(std::equal(a.begin() + 8, a.begin() + 1024, b.begin() + 8));
    }
}

// The office's programs build with every leaf full (the last two share what
// is left when it would be under half a page): appends then split the leaves
// they reach, in their files as in ours.
TEST(NtxBuild, LeavesAreFilledAsTheSamplesFreshBuildsFillThem) {
    TempFolder folder("extra");
    auto dbf = DbfFile::open(folder.file("keys.dbf"), Share::Exclusive);
    for (const char* name : {"keys_n.ntx", "keys_s.ntx", "keys_d.ntx", "keys_dt.ntx", "keys_u.ntx"}) {
        SCOPED_TRACE(name);
        auto theirs = NtxIndex::open(folder.file(name), Share::Exclusive, dbf->fields());
        std::string ours = folder.file(std::string("ours_") + name);
        build(*dbf, ours, theirs->expression(), theirs->unique());
        test::NtxShape a = test::inspect_ntx(ours), b = test::inspect_ntx(folder.file(name));
        EXPECT_EQ(a.leaf_fill, b.leaf_fill);
        EXPECT_EQ(a.root_keys, b.root_keys);
    }
    // Deeper trees (8 keys a page): the same rule on every level.
    for (const char* expr : {"PADR(KOD,100)", "PADR(NAZWA,100)"}) {
        SCOPED_TRACE(expr);
        std::string path = folder.file("deep.ntx");
        build(*dbf, path, expr);
        test::NtxShape shape = test::inspect_ntx(path);
        ASSERT_EQ(shape.max_items, 8);
        EXPECT_EQ(shape.depth, 3);
        const std::vector<int>& fill = shape.leaf_fill;
        ASSERT_GE(fill.size(), 3u);
        for (size_t i = 0; i + 2 < fill.size(); ++i) EXPECT_EQ(fill[i], 8) << "leaf " << i;
        EXPECT_GE(fill.back(), 4);
        EXPECT_GE(fill[fill.size() - 2], fill.back());
        EXPECT_EQ(shape.orphans(), 0u);
    }
}

TEST(NtxBuild, BulkBuildEqualsBuildingByInserts) {
    TempFolder folder("kod13");
    auto dbf = DbfFile::open(folder.file("16/03/as.dbf"), Share::Exclusive);
    for (const char* expr : {"MAG+INDEKS", "DESCEND(KOD13+MAG)", "UPPER(NAZWA)+MAG", "PADR(KOD13,200)"}) {
        SCOPED_TRACE(expr);
        auto bulk = build(*dbf, folder.file("bulk.ntx"), expr);
        auto grown = NtxIndex::create(folder.file("grown.ntx"), expr, dbf->fields(), 0,
                                      [](std::uint32_t) { return std::string_view(); }, Share::Exclusive);
        for (std::uint32_t r = 1; r <= dbf->record_count(); ++r) grown->insert(grown->key_of(dbf->record_view(r)), r);
        EXPECT_EQ(test::walk_forward(*grown), test::walk_forward(*bulk));
        EXPECT_EQ(grown->verify(dbf->record_count()), "");
        EXPECT_EQ(bulk->verify(dbf->record_count()), "");
    }
}

TEST(NtxBuild, SortsByKeyBytesThenRecordWhateverTheKeysShare) {
    std::mt19937 rng(5);
    for (size_t ks : {1u, 3u, 8u, 9u, 16u, 17u, 31u, 100u, 256u}) {
        SCOPED_TRACE(ks);
        for (int shape = 0; shape < 3; ++shape) {
            // 0: random bytes, 1: long shared beginnings and few endings, 2: many equal keys.
            size_t n = 5000;
            std::vector<unsigned char> keys(n * ks);
            for (size_t i = 0; i < n; ++i) {
                for (size_t b = 0; b < ks; ++b) {
                    unsigned char v = static_cast<unsigned char>(rng());
                    if (shape == 1) v = b + 3 < ks ? 'A' : static_cast<unsigned char>("\x00 9\xFF"[rng() % 4]);
                    if (shape == 2) v = static_cast<unsigned char>(rng() % 3);
                    keys[i * ks + b] = v;
                }
            }
            std::vector<std::uint32_t> want(n);
            for (std::uint32_t i = 0; i < n; ++i) want[i] = i;
            std::stable_sort(want.begin(), want.end(), [&](std::uint32_t a, std::uint32_t b) {
                return std::memcmp(&keys[a * ks], &keys[b * ks], ks) < 0;
            });
            EXPECT_EQ(ntx_sort_entries(keys.data(), ks, n, false), want);
            std::vector<std::uint32_t> firsts;
            for (size_t i = 0; i < n; ++i)
                if (i == 0 || std::memcmp(&keys[want[i] * ks], &keys[want[i - 1] * ks], ks) != 0) firsts.push_back(want[i]);
            EXPECT_EQ(ntx_sort_entries(keys.data(), ks, n, true), firsts);
        }
    }
}

// An index built from more keys than one share of the sort holds (sorted a
// share at a time and merged) is the same file, byte for byte, as one built
// from a single share: equal keys in record order, the first record of each
// key in a unique index, the greatest key first in a descending one.
TEST(NtxBuild, KeysSortedInSharesAndMergedBuildTheSameFile) {
    TempFolder folder;
    const FieldList fields = {{"KOD", 'C', 5, 0, 1}};
    const std::uint32_t n = 7000;  // seven shares of the least size
    std::mt19937 rng(11);
    std::vector<std::string> records(n + 1);
    for (std::uint32_t r = 1; r <= n; ++r) records[r] = " " + std::to_string(rng() % 900);  // many equal keys
    auto source = [&](std::uint32_t r) { return std::string_view(records[r]); };
    for (const NtxOptions& options : {NtxOptions{false, false}, NtxOptions{true, false}, NtxOptions{false, true},
                                      NtxOptions{true, true}}) {
        SCOPED_TRACE(std::string(options.unique ? "unique" : "") + (options.descending ? " descending" : ""));
        NtxIndex::create(folder.file("one.ntx"), "KOD", fields, n, source, Share::Exclusive, options);
        {
            const size_t old = ntx_sort_budget();
            set_ntx_sort_budget(1);
            NtxIndex::create(folder.file("merged.ntx"), "KOD", fields, n, source, Share::Exclusive, options);
            set_ntx_sort_budget(old);
        }
        EXPECT_TRUE(file_bytes(folder.file("one.ntx")) == file_bytes(folder.file("merged.ntx")));
        auto merged = NtxIndex::open(folder.file("merged.ntx"), Share::Exclusive, fields);
        EXPECT_EQ(merged->verify(n), "");
        EXPECT_EQ(merged->key_count(), options.unique ? 900u : n);
    }
}

TEST(NtxBuild, EmptyIndexAndKeySizeFromABlankRecord) {
    TempFolder folder("extra");
    auto dbf = DbfFile::open(folder.file("keys.dbf"), Share::Exclusive);
    std::string path = folder.file("empty.ntx");
    {
        auto empty = NtxIndex::create(path, "KOD", dbf->fields(), 0, [](std::uint32_t) { return std::string_view(); },
                                      Share::Shared);
        EXPECT_FALSE(empty->first());
        EXPECT_FALSE(empty->last());
        EXPECT_FALSE(empty->seek("0"));
        EXPECT_EQ(empty->key_count(), 0u);
        EXPECT_EQ(empty->verify(0), "");
    }
    auto b = file_bytes(path);
    ASSERT_EQ(b.size(), 2048u);
    // Signature 6, version 1, root 1024, no free page, item 18, key 10, max 50, half 25.
    const unsigned char head[] = {6, 0, 1, 0, 0, 4, 0, 0, 0, 0, 0, 0, 18, 0, 10, 0, 0, 0, 50, 0, 25, 0, 'K', 'O', 'D', 0};
    EXPECT_TRUE(std::equal(std::begin(head), std::end(head), b.begin()));

    // A trimmed text is empty on a blank record: only the rest sizes the key.
    EXPECT_EQ(build(*dbf, folder.file("t.ntx"), "TRIM(NAZWA)+KOD")->key_size(), 10);
    auto d = build(*dbf, folder.file("d.ntx"), "DESCEND(DATA)");
    EXPECT_EQ(d->key_size(), 10);
    EXPECT_EQ(d->key_decimals(), 0);
    EXPECT_EQ(d->verify(dbf->record_count()), "");
    EXPECT_EQ(build(*dbf, folder.file("n.ntx"), "KWOTA")->key_decimals(), 2);

    try {
        build(*dbf, folder.file("bad.ntx"), "NAZWA+KODX");
        ADD_FAILURE() << "an unknown field was accepted";
    } catch (const DbError& e) {
        EXPECT_EQ(e.file(), folder.file("bad.ntx"));
        EXPECT_NE(std::string(e.what()).find("KODX"), std::string::npos);
    }
    EXPECT_FALSE(std::filesystem::exists(folder.file("bad.ntx")));
}

// --- the page cache's budget -------------------------------------------------

// With room for only a few pages every operation makes room: the changed
// pages of an exclusive opening must reach the file when they leave (the
// model and a new opening see every change), and a shared opening must read
// back what it wrote.
TEST(NtxCache, ChurnWithRoomForAFewPages) {
    for (size_t pages : {1u, 3u, 8u}) {
        for (Share mode : {Share::Exclusive, Share::Shared}) {
            SCOPED_TRACE(std::to_string(pages) + (mode == Share::Shared ? " shared" : " exclusive"));
            test::NtxCacheBudget budget(pages);
            TempFolder folder("extra");
            Churner c(folder.file("churn.ntx"), fields_of(folder.file("churn.dbf")), mode, static_cast<unsigned>(10 + pages));
            c.run(1200, {4, 3, 3});
            c.run(900, {1, 4, 2});
        }
    }
}

// A walk keeps its position between calls; when another operation on the
// same index has used the position's pages for others, the next step must
// find its way from the key, not read whatever the buffers hold now.
TEST(NtxCache, StepsAfterTheWalksPagesWereReusedStayInOrder) {
    TempFolder folder("extra");
    auto dbf = DbfFile::open(folder.file("keys.dbf"), Share::Exclusive);
    std::string path = folder.file("deep.ntx");
    build(*dbf, path, "PADR(NAZWA,100)").reset();
    std::vector<NtxEntry> want;
    {
        auto ntx = NtxIndex::open(path, Share::Exclusive, dbf->fields());
        want = test::walk_forward(*ntx);
    }
    ASSERT_EQ(want.size(), 400u);
    for (size_t pages : {1u, 2u, 3u, 5u}) {
        SCOPED_TRACE(pages);
        test::NtxCacheBudget budget(pages);
        auto ntx = NtxIndex::open(path, Share::Exclusive, dbf->fields());
        std::vector<NtxEntry> forward, backward;
        for (auto e = ntx->first(); e; e = ntx->next(*e)) {
            forward.push_back(*e);
            if (forward.size() % 7 == 0) {
                EXPECT_EQ(ntx->key_count(), 400u);  // reads every page
            }
        }
        EXPECT_EQ(forward, want);
        for (auto e = ntx->last(); e; e = ntx->prev(*e)) {
            backward.push_back(*e);
            if (backward.size() % 5 == 0) {
                EXPECT_EQ(ntx->verify(400), "");
            }
        }
        std::reverse(backward.begin(), backward.end());
        EXPECT_EQ(backward, want);
        // Whole-tree walks let go of pages as they go.
        EXPECT_LE(ntx->cached_pages(), std::max<size_t>(pages, 4));
    }
}

// However large the index, what stays in memory is the budget.
TEST(NtxCache, MemoryStaysWithinTheBudgetAsTheIndexGrows) {
    TempFolder folder("extra");
    auto dbf = DbfFile::open(folder.file("keys.dbf"), Share::Exclusive);
    test::NtxCacheBudget budget(16);
    std::string path = folder.file("grown.ntx");
    auto ntx = NtxIndex::create(path, "PADR(NAZWA,60)", dbf->fields(), 0,
                                [](std::uint32_t) { return std::string_view(); }, Share::Exclusive);
    std::mt19937 rng(11);
    for (std::uint32_t r = 1; r <= 3000; ++r) {
        std::string key = "N" + std::to_string(rng() % 100000);
        key.resize(60, ' ');
        ntx->insert(key, r);
        ASSERT_LE(ntx->cached_pages(), 16u) << r;
    }
    EXPECT_EQ(ntx->verify(3000), "");
    EXPECT_LE(ntx->cached_pages(), 16u);
    ntx.reset();
    EXPECT_GT(test::inspect_ntx(path).tree_pages, 200u);
    auto again = NtxIndex::open(path, Share::Exclusive, dbf->fields());
    EXPECT_EQ(again->key_count(), 3000u);
}

// A cache given back between operations: a walk goes on in order from where
// it stood, and an exclusive opening's changes not yet written stay to be
// written (a new opening sees them).
TEST(NtxCache, AShrunkCacheKeepsUnwrittenChangesAndAWalksPlace) {
    TempFolder folder("extra");
    auto dbf = DbfFile::open(folder.file("keys.dbf"), Share::Exclusive);
    std::string path = folder.file("deep.ntx");
    build(*dbf, path, "PADR(NAZWA,100)").reset();
    std::vector<NtxEntry> want;
    {
        auto ntx = NtxIndex::open(path, Share::Shared, dbf->fields());
        want = test::walk_forward(*ntx);
        ASSERT_EQ(want.size(), 400u);
        std::vector<NtxEntry> seen;
        auto e = ntx->first();
        for (; e && seen.size() < 150; e = ntx->next(*e)) seen.push_back(*e);
        ASSERT_GT(ntx->cached_pages(), 10u);
        ntx->shrink_cache(0);
        EXPECT_LE(ntx->cached_pages(), 4u);  // the last step's path
        for (; e; e = ntx->next(*e)) seen.push_back(*e);
        EXPECT_EQ(seen, want);
    }
    auto ntx = NtxIndex::open(path, Share::Exclusive, dbf->fields());
    for (std::uint32_t r = 401; r <= 460; ++r) {
        std::string key = "ZZ" + std::to_string(r);
        key.resize(100, ' ');
        ntx->insert(key, r);
    }
    ntx->shrink_cache(0);
    EXPECT_EQ(ntx->verify(460), "");
    ntx.reset();
    auto again = NtxIndex::open(path, Share::Exclusive, dbf->fields());
    EXPECT_EQ(again->key_count(), 460u);
    EXPECT_EQ(again->verify(460), "");
}

}  // namespace
}  // namespace durva::dbf
