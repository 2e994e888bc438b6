// Damaged index files: every fault is a DbError naming the file (or a
// verify() report), never a crash, and an update that meets damage writes
// nothing.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <functional>

#include "platform/errors.h"
#include "support/fixture_folder.h"
#include "support/ntx_test_support.h"

namespace durva::dbf {
namespace {

using platform::Share;
using Bytes = std::vector<unsigned char>;

Bytes read_all(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void write_all(const std::string& path, const Bytes& b) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
}

void put16(Bytes& b, size_t at, unsigned v) {
    b[at] = static_cast<unsigned char>(v);
    b[at + 1] = static_cast<unsigned char>(v >> 8);
}
void put32(Bytes& b, size_t at, std::uint32_t v) {
    put16(b, at, v & 0xFFFF);
    put16(b, at + 2, v >> 16);
}
unsigned get16(const Bytes& b, size_t at) { return unsigned(b[at] | (b[at + 1] << 8)); }
std::uint32_t get32(const Bytes& b, size_t at) { return get16(b, at) | (std::uint32_t(get16(b, at + 2)) << 16); }

// The goods index on MAG+INDEKS: a branch root over eight leaves.
class DamagedIndex : public ::testing::Test {
protected:
    DamagedIndex() : folder_("kod13"), path_(folder_.file("16/03/as.ntx")), good_(read_all(path_)) {
        fields_ = DbfFile::open(folder_.file("16/03/as.dbf"), Share::Shared)->fields();
    }

    std::uint32_t root() const { return get32(good_, 4); }

    // Damages a copy of the index and expects opening it to be refused with a
    // DbError that names the file.
    void expect_refused(const std::function<void(Bytes&)>& damage, const char* what, bool read_only = false) {
        Bytes b = good_;
        damage(b);
        write_all(path_, b);
        try {
            NtxIndex::open(path_, Share::Exclusive, fields_, read_only);
            ADD_FAILURE() << what << ": opened";
        } catch (const SharingError&) {
            ADD_FAILURE() << what << ": sharing error";
        } catch (const DbError& e) {
            EXPECT_EQ(e.file(), path_) << what;
        }
    }

    // Damages a tree page; the header still opens, but every operation that
    // reaches the page fails cleanly and updates leave the file as it was.
    void expect_operations_fail(const std::function<void(Bytes&)>& damage, const char* what, Share mode) {
        SCOPED_TRACE(what);
        Bytes b = good_;
        damage(b);
        write_all(path_, b);
        auto ntx = NtxIndex::open(path_, mode, fields_);
        EXPECT_THROW(ntx->first(), DbError);
        EXPECT_THROW(ntx->last(), DbError);
        EXPECT_THROW(ntx->seek("1"), DbError);
        EXPECT_THROW(ntx->seek("U"), DbError);
        EXPECT_THROW(ntx->next(NtxEntry{"110001   ", 1}), DbError);
        EXPECT_THROW(ntx->key_count(), DbError);
        EXPECT_NE(ntx->verify(300), "");
        EXPECT_THROW(ntx->insert("110001   ", 301), DbError);
        EXPECT_THROW(ntx->insert("U        ", 302), DbError);
        EXPECT_THROW(ntx->remove("110001   ", 1), DbError);
        EXPECT_THROW(ntx->update("110001   ", "2ZZZ     ", 1), DbError);
        EXPECT_EQ(read_all(path_), b) << "a damaged index was written to";
    }

    void on_root(Bytes& b, const std::function<void(Bytes&, size_t root, int n, int max)>& f) {
        size_t r = get32(b, 4);
        f(b, r, static_cast<int>(get16(b, r)), static_cast<int>(get16(b, 18)));
    }

    test::TempFolder folder_;
    std::string path_;
    Bytes good_;
    FieldList fields_;
};

TEST_F(DamagedIndex, BadHeadersAreRefused) {
    expect_refused([](Bytes& b) { b.resize(500); }, "cut inside the header");
    expect_refused([](Bytes& b) { b.resize(1024); }, "no page after the header");
    expect_refused([](Bytes& b) { put16(b, 0, 0x0000); }, "signature 0");
    expect_refused([](Bytes& b) { put16(b, 0, 0x0004); }, "signature 4");
    expect_refused([](Bytes& b) { put16(b, 0, 0x1006); }, "unknown bit");
    expect_refused([](Bytes& b) { put16(b, 0, 0x0106); }, "record order extension");
    expect_refused([](Bytes& b) { put16(b, 0, 0x0206); }, "page-number extension");
    expect_refused([](Bytes& b) { put16(b, 0, 0x8006); }, "compound file");
    expect_refused([](Bytes& b) { put16(b, 0, 0x0007); }, "FOR condition, writable");
    expect_refused([](Bytes& b) { put16(b, 14, 0); put16(b, 12, 8); }, "key size 0");
    expect_refused([](Bytes& b) { put16(b, 14, 257); put16(b, 12, 265); }, "key size 257");
    expect_refused([](Bytes& b) { put16(b, 12, 18); }, "item size");
    expect_refused([](Bytes& b) { put16(b, 16, 10); }, "decimals above key size");
    expect_refused([](Bytes& b) { put16(b, 18, 0); }, "no keys per page");
    expect_refused([](Bytes& b) { put16(b, 18, 1); }, "one key per page");
    expect_refused([](Bytes& b) { put16(b, 18, 60); }, "more keys than a page holds");
    expect_refused([](Bytes& b) { put16(b, 20, 53); }, "half page above max");
    expect_refused([](Bytes& b) { put32(b, 4, 0); }, "root 0");
    expect_refused([](Bytes& b) { put32(b, 4, 1000); }, "root not on a page");
    expect_refused([&](Bytes& b) { put32(b, 4, static_cast<std::uint32_t>(b.size())); }, "root past the end");
    expect_refused([](Bytes& b) { put32(b, 4, 0xFFFFFC00u); }, "root far past the end");
    expect_refused([](Bytes& b) { put32(b, 8, 3000); }, "free list not on a page");
    expect_refused([](Bytes& b) { put32(b, 8, 1024 * 1000); }, "free list past the end");
    expect_refused([](Bytes& b) { b[22] = 0; }, "no expression");
    expect_refused([](Bytes& b) { b[22] = 1; }, "control character");
    expect_refused([](Bytes& b) { std::memcpy(&b[22], "MAG+INDEKX", 10); }, "unknown field");
    expect_refused([](Bytes& b) { std::memcpy(&b[22], "MAG+(INDEKS", 11); }, "bad syntax");

    // A FOR index can still be read.
    Bytes b = good_;
    put16(b, 0, 0x0007);
    write_all(path_, b);
    EXPECT_EQ(NtxIndex::open(path_, Share::Exclusive, fields_, true)->first()->recno, 29u);
}

TEST_F(DamagedIndex, DamagedPagesFailEveryOperationAndAreNeverWritten) {
    for (Share mode : {Share::Exclusive, Share::Shared}) {
        expect_operations_fail([&](Bytes& b) { on_root(b, [](Bytes& x, size_t r, int, int max) { put16(x, r, max + 1); }); },
                               "key count above the maximum", mode);
        expect_operations_fail([&](Bytes& b) { on_root(b, [](Bytes& x, size_t r, int, int) { put16(x, r + 2, 10); }); },
                               "slot inside the slot table", mode);
        expect_operations_fail([&](Bytes& b) { on_root(b, [](Bytes& x, size_t r, int, int) { put16(x, r + 2, 1020); }); },
                               "slot running off the page", mode);
        auto every_child = [&](std::uint32_t target) {
            return [&, target](Bytes& b) {
                on_root(b, [target](Bytes& x, size_t r, int n, int) {
                    for (int i = 0; i <= n; ++i) put32(x, r + get16(x, r + 2 + 2 * i), target);
                });
            };
        };
        expect_operations_fail(every_child(1000), "child not on a page", mode);
        expect_operations_fail(every_child(1024 * 500), "child past the end", mode);
        expect_operations_fail(every_child(root()), "pages in a circle", mode);
    }
}

TEST_F(DamagedIndex, ADamagedLeafReadAlongWithSoundOnesFailsOnlyWhereReachedAndEveryTime) {
    // The leaf with the last keys claims too many; the whole small file is
    // read in one go with the first leaf.
    Bytes b = good_;
    size_t r = root();
    int n = static_cast<int>(get16(b, r));
    std::uint32_t last_leaf = get32(b, r + get16(b, r + 2 + 2 * n));
    put16(b, last_leaf, get16(b, 18) + 1);
    for (Share mode : {Share::Exclusive, Share::Shared}) {
        SCOPED_TRACE(mode == Share::Shared ? "shared" : "exclusive");
        write_all(path_, b);
        auto ntx = NtxIndex::open(path_, mode, fields_);
        EXPECT_EQ(ntx->first()->recno, 29u);
        EXPECT_THROW(ntx->last(), DbError);
        EXPECT_THROW(ntx->last(), DbError);
        EXPECT_EQ(ntx->seek("110001")->recno, 1u);
        EXPECT_THROW(ntx->seek("U"), DbError);
        EXPECT_NE(ntx->verify(300), "");
        ntx->insert("110001   ", 301);  // into a sound leaf
        EXPECT_EQ(ntx->seek("110001")->recno, 1u);
    }
}

TEST_F(DamagedIndex, AFileCutShortFailsWhereThePagesAreMissing) {
    Bytes b = good_;
    b.resize(b.size() - 512);
    write_all(path_, b);
    auto ntx = NtxIndex::open(path_, Share::Exclusive, fields_);
    EXPECT_THROW(test::walk_forward(*ntx), DbError);
    EXPECT_NE(ntx->verify(300), "");
}

TEST_F(DamagedIndex, DamageMetHalfwayThroughAnUpdateLeavesTheFileAsItWas) {
    // The free list names an extra page whose first slot points nowhere: the
    // first page split needs a new page and finds it.
    Bytes b = good_;
    std::uint32_t extra = static_cast<std::uint32_t>(b.size());
    b.resize(b.size() + 1024, 0);
    put32(b, 8, extra);
    for (Share mode : {Share::Shared, Share::Exclusive}) {
        write_all(path_, b);
        std::uint32_t stored = 0;
        {
            auto ntx = NtxIndex::open(path_, mode, fields_);
            bool failed = false;
            for (std::uint32_t r = 301; r < 400 && !failed; ++r) {
                Bytes before = read_all(path_);
                try {
                    ntx->insert("110001   ", r);
                    ++stored;
                } catch (const DbError& e) {
                    failed = true;
                    EXPECT_EQ(e.file(), path_);
                    EXPECT_EQ(read_all(path_), before);
                }
            }
            EXPECT_TRUE(failed);
            EXPECT_GT(stored, 0u);
            // What was stored before stays; the damage stays reported.
            EXPECT_EQ(ntx->key_count(), 300u + stored);
            EXPECT_NE(ntx->verify(400), "");
            EXPECT_EQ(ntx->seek("110001   ")->recno, 1u);
        }
        auto again = NtxIndex::open(path_, Share::Shared, fields_, true);
        EXPECT_EQ(again->key_count(), 300u + stored);
    }
}

TEST_F(DamagedIndex, AHeaderDamagedByAnotherWorkstationIsCaughtOnTheNextRead) {
    auto ntx = NtxIndex::open(path_, Share::Shared, fields_);
    EXPECT_EQ(ntx->first()->recno, 29u);
    Bytes b = good_;
    put16(b, 2, get16(b, 2) + 1);
    put32(b, 4, 1000);
    write_all(path_, b);
    EXPECT_THROW(ntx->first(), DbError);
    EXPECT_NE(ntx->verify(300), "");
    b = good_;
    put16(b, 2, get16(b, 2) + 2);
    put16(b, 0, 0x0106);
    write_all(path_, b);
    EXPECT_THROW(ntx->seek("1"), DbError);
    write_all(path_, good_);
    EXPECT_EQ(ntx->first()->recno, 29u);
}

}  // namespace
}  // namespace durva::dbf
