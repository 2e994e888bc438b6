// Indexes made again over an existing file (a zap, dbtool reindex, a new
// index of a table the other programs lock at the extended offsets) keep what
// the header says of the index: its order, uniqueness and lock-scheme mark.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "common/dbf/table.h"
#include "platform/errors.h"
#include "support/fixture_folder.h"
#include "support/ntx_test_support.h"

namespace durva::dbf {
namespace {

using platform::Share;

struct HeaderFlags {
    unsigned signature = 0;
    int unique = -1, descending = -1;
    friend bool operator==(const HeaderFlags&, const HeaderFlags&) = default;
};

HeaderFlags flags_of(const std::string& ntx) {
    std::ifstream in(ntx, std::ios::binary);
    std::string b((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (b.size() < 1024) return {};
    return {static_cast<unsigned>(static_cast<unsigned char>(b[0]) | static_cast<unsigned char>(b[1]) << 8), b[278],
            b[280]};
}

void PrintTo(const HeaderFlags& f, std::ostream* os) {
    *os << "signature " << f.signature << ", unique " << f.unique << ", descending " << f.descending;
}

int run_dbtool(const std::string& args) {
    std::string cmd = std::string("'") + DURVA_BUILD_DIR + "/dbtool' " + args + " >/dev/null 2>&1";
    int st = std::system(cmd.c_str());
    return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
}

class IndexRebuild : public ::testing::Test {
protected:
    // Nine records whose codes repeat, so the order among equal keys shows.
    void SetUp() override {
        auto d = DbfFile::create(dbf_, {{"KOD", 'C', 4, 0, 0}, {"ILE", 'N', 5, 0, 0}});
        for (const char* kod : {"B", "D", "A", "B", "C", "A", "D", "B", "E"}) {
            std::string rec = d->blank_record();
            rec.replace(1, 1, kod);
            d->append_record(rec.data());
        }
        d->close();
    }
    std::unique_ptr<NtxIndex> build(const std::string& ntx, const NtxOptions& o, std::uint32_t count = 9) {
        auto d = DbfFile::open(dbf_, Share::Exclusive);
        return NtxIndex::create(ntx, "KOD", d->fields(), count, [&](std::uint32_t r) { return d->record_view(r); },
                                Share::Exclusive, o);
    }
    std::vector<std::uint32_t> order_of(const std::string& ntx) {
        auto d = DbfFile::open(dbf_, Share::Shared, true);
        auto ix = NtxIndex::open(ntx, Share::Shared, d->fields(), true);
        return test::recnos(test::walk_forward(*ix));
    }

    durva::test::TempFolder dir_;
    const std::string dbf_ = dir_.file("t.dbf");
    const std::string ntx_ = dir_.file("t.ntx");
};

TEST_F(IndexRebuild, ADescendingIndexIsBuiltAsInsertsWouldLeaveIt) {
    NtxOptions o;
    o.descending = true;
    build(ntx_, o);
    const std::vector<std::uint32_t> descending = {9, 2, 7, 5, 1, 4, 8, 3, 6};
    EXPECT_EQ(order_of(ntx_), descending);
    {
        auto ix = build(dir_.file("ins.ntx"), o, 0);
        auto d = DbfFile::open(dbf_, Share::Exclusive);
        for (std::uint32_t r = 1; r <= 9; ++r) ix->insert(ix->key_of(d->record_view(r)), r);
    }
    EXPECT_EQ(order_of(dir_.file("ins.ntx")), descending);
    EXPECT_EQ(flags_of(ntx_), (HeaderFlags{6, 0, 1}));
}

TEST_F(IndexRebuild, ZapAndDbtoolReindexKeepTheHeaderFlags) {
    struct Case {
        NtxOptions options;
        HeaderFlags flags;
        std::vector<std::uint32_t> order;
    };
    const std::vector<Case> cases = {
        {{false, false, 0x0006}, {0x0006, 0, 0}, {3, 6, 1, 4, 8, 5, 2, 7, 9}},
        {{true, true, 0x0016}, {0x0016, 1, 1}, {9, 2, 5, 1, 3}},
        {{false, true, 0x0016}, {0x0016, 0, 1}, {9, 2, 7, 5, 1, 4, 8, 3, 6}},
        {{true, false, 0x0006}, {0x0006, 1, 0}, {3, 1, 5, 2, 9}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.flags));
        build(ntx_, c.options);
        ASSERT_EQ(flags_of(ntx_), c.flags);
        // Rebuilt from the table by the tool: flags and order as they were.
        ASSERT_EQ(run_dbtool("reindex '" + dbf_ + "' '" + ntx_ + "'"), 0);
        EXPECT_EQ(flags_of(ntx_), c.flags);
        EXPECT_EQ(order_of(ntx_), c.order);
        // Emptied with the table: the flags stay, and new records go in their order.
        {
            std::string saved;
            {
                std::ifstream in(dbf_, std::ios::binary);
                saved.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
            }
            TableSettings s;
            auto t = Table::open(dir_.file("t"), Share::Exclusive, s);
            t->add_index(ntx_);
            t->zap();
            t->close();
            EXPECT_EQ(flags_of(ntx_), c.flags);
            std::ofstream(dbf_, std::ios::binary | std::ios::trunc) << saved;
        }
    }
}

TEST_F(IndexRebuild, ATableLockedAtTheExtendedOffsetsKeepsItsMarkInNewIndexes) {
    NtxOptions marked;
    marked.signature = 0x0016;
    build(ntx_, marked);
    TableSettings s;
    {
        // Made again over the marked file: the mark stays.
        auto t = Table::open(dir_.file("t"), Share::Exclusive, s);
        t->create_index(ntx_, "KOD+STR(ILE,5)");
        EXPECT_EQ(flags_of(ntx_).signature, 0x0016u);
    }
    {
        // A new index of a table that another index marks.
        auto t = Table::open(dir_.file("t"), Share::Shared, s);
        t->add_index(ntx_);
        EXPECT_EQ(t->dbf().lock_base(), kDbfExtendedLockBase);
        t->create_index(dir_.file("nowy"), "ILE", false, true);
        EXPECT_EQ(flags_of(dir_.file("nowy.ntx")).signature, 0x0016u);
    }
    {
        // An unmarked table makes unmarked indexes.
        auto t = Table::open(dir_.file("t"), Share::Exclusive, s);
        t->create_index(dir_.file("inny"), "KOD");
        EXPECT_EQ(flags_of(dir_.file("inny.ntx")), (HeaderFlags{0x0006, 0, 0}));
    }
}

TEST_F(IndexRebuild, AnIndexWithAForConditionIsNotRebuilt) {
    NtxOptions with_for;
    with_for.signature = 0x0007;
    EXPECT_THROW(build(ntx_, with_for), DbError);
    std::ifstream in(ntx_);
    EXPECT_FALSE(in.good());
}

}  // namespace
}  // namespace durva::dbf
