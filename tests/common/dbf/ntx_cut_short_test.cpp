// Index updates cut short: a workstation killed at every write of a batch
// insert that splits most leaves (between two writes, and halfway through
// one), or stopped by a full disk. The next opening must find a sound tree
// that holds the whole batch or none of it, with no manual step.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "platform/errors.h"
#include "procs/ntx_batch.h"
#include "support/child_process.h"
#include "support/fixture_folder.h"
#include "support/ntx_inspect.h"
#include "support/ntx_test_support.h"

namespace durva::dbf {
namespace {

using platform::Share;
using test::batch_entries;
using test::batch_fields;
using test::batch_key;
using test::ChildProcess;
using test::proc_path;

std::string file_bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void put_bytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

// The side file beside the index holds the record of an update under way
// (it stays once the update is done, the record's mark at its start cleared).
bool record_pending(const std::string& side) {
    std::error_code ec;
    return std::filesystem::is_regular_file(std::filesystem::symlink_status(side, ec)) &&
           file_bytes(side).rfind("NTXREDO", 0) == 0;
}

std::vector<NtxEntry> in_key_order(std::vector<NtxEntry> e) {
    std::sort(e.begin(), e.end(), [](const NtxEntry& a, const NtxEntry& b) { return a.key < b.key; });
    return e;
}

// An index of `built` keys laid out by a bulk build (full leaves, so a batch
// splits nearly every one of them), and the batch a workstation adds to it.
struct BatchIndex {
    explicit BatchIndex(std::uint32_t keys) : built(keys) {
        std::string record;
        NtxIndex::create(path, test::kBatchExpression, batch_fields(), keys,
                         [&](std::uint32_t r) {
                             record = " " + batch_key(r);
                             return std::string_view(record);
                         },
                         Share::Exclusive);
        original = file_bytes(path);
    }
    void restore() {
        std::filesystem::remove(side);
        put_bytes(path, original);
    }
    // Runs the workstation's batch insert; returns its first line of output.
    std::string update(const char* mode, std::vector<std::string> more, int* code = nullptr) {
        std::vector<std::string> args{path, mode, std::to_string(built + 1), std::to_string(kBatch)};
        args.insert(args.end(), more.begin(), more.end());
        ChildProcess child(proc_path("ntx_updater"), args);
        std::string line = child.read_line();
        int c = child.wait_exit_code();
        if (code) *code = c;
        return line;
    }
    // Every write (and removal) the batch insert makes, in order.
    std::vector<std::string> events(const char* mode) {
        std::vector<std::string> args{path, mode, std::to_string(built + 1), std::to_string(kBatch), "list"};
        ChildProcess child(proc_path("ntx_updater"), args);
        std::vector<std::string> out;
        for (std::string line = child.read_line(); !line.empty() && line != "done"; line = child.read_line())
            out.push_back(line);
        EXPECT_EQ(child.wait_exit_code(), 0);
        restore();
        return out;
    }
    std::vector<NtxEntry> before() const { return in_key_order(batch_entries(1, built)); }
    std::vector<NtxEntry> after() const { return in_key_order(batch_entries(1, built + kBatch)); }

    static constexpr std::uint32_t kBatch = 300;
    test::TempFolder folder;
    std::string path = folder.file("batch.ntx");
    std::string side = folder.file("batch.ntu");
    std::uint32_t built;
    std::string original;
};

// What the next workstation to open the index finds: a sound tree (every page
// inside the file, keys in order, each entry once) holding the whole batch or
// none of it, no record of an update under way, and an index it can go on
// updating.
// Returns whether the batch is in.
bool expect_all_or_nothing(BatchIndex& ix) {
    const std::uint32_t records = ix.built + BatchIndex::kBatch + 1;
    try {
        auto ntx = NtxIndex::open(ix.path, Share::Shared, batch_fields());
        EXPECT_EQ(ntx->verify(records), "");
        std::vector<NtxEntry> got = test::walk_forward(*ntx);
        const bool all = got == ix.after();
        EXPECT_TRUE(all || got == ix.before()) << "the index holds " << got.size() << " entries";
        EXPECT_FALSE(record_pending(ix.side));
        EXPECT_TRUE(test::inspect_ntx(ix.path).free_list_ok);
        ntx->insert(batch_key(records), records);
        EXPECT_EQ(ntx->verify(records), "");
        EXPECT_EQ(ntx->key_count(), got.size() + 1);
        return all;
    } catch (const DbError& e) {
        ADD_FAILURE() << e.what();
        return false;
    }
}

// Killed before each write of the update, and halfway through each: the
// reopened index holds none of the batch while the killed process had
// changed no page in place, all of it from some write on, and is sound at
// every point.
TEST(NtxCutShort, KillAtEveryWriteOfABatchInsertLeavesAllOrNothing) {
    for (const char* mode : {"shared", "exclusive"}) {
        SCOPED_TRACE(mode);
        BatchIndex ix(3000);
        const std::vector<std::string> events = ix.events(mode);
        ASSERT_GT(events.size(), 3u);
        int with_batch = 0;
        for (size_t k = 1; k <= events.size(); ++k) {
            for (bool half : {false, true}) {
                SCOPED_TRACE("killed at " + events[k - 1] + (half ? " halfway" : " before it"));
                ix.restore();
                std::vector<std::string> how{"kill", std::to_string(k)};
                if (half) how.push_back("half");
                int code = 0;
                ix.update(mode, how, &code);
                ASSERT_EQ(code, 128 + SIGKILL);
                with_batch += expect_all_or_nothing(ix) ? 1 : 0;
            }
        }
        // Killed before its first write, the update is not in; after the last
        // one it is.
        EXPECT_GT(with_batch, 0);
        EXPECT_LT(with_batch, static_cast<int>(2 * events.size()));
    }
}

// A disk that fills while the index grows (a file-size limit just above its
// size, which the redo record stays below): the update fails naming the
// index and the cause, the index keeps its exact bytes, and the same update
// goes through once there is room.
TEST(NtxCutShort, FullDiskDuringABatchInsertLeavesTheIndexAsItWas) {
    for (const char* mode : {"shared", "exclusive"}) {
        SCOPED_TRACE(mode);
        BatchIndex ix(60000);
        const auto limit = static_cast<std::uint64_t>(ix.original.size()) + 2048;
        int code = 0;
        std::string said = ix.update(mode, {"limit", std::to_string(limit)}, &code);
        EXPECT_EQ(code, 1);
        EXPECT_EQ(said, "error " + std::to_string(EFBIG) + " Blad zapisu pliku: " + ix.path);
        EXPECT_TRUE(file_bytes(ix.path) == ix.original) << "the index changed";
        EXPECT_FALSE(record_pending(ix.side));

        EXPECT_EQ(ix.update(mode, {}), "done");
        auto ntx = NtxIndex::open(ix.path, Share::Shared, batch_fields());
        EXPECT_EQ(ntx->verify(ix.built + BatchIndex::kBatch), "");
        EXPECT_EQ(test::walk_forward(*ntx), ix.after());
    }
}

// The write (counted from 1) with which the batch insert starts rewriting
// pages already in the file, and the page it starts at.
std::pair<size_t, std::uint64_t> first_write_in_place() {
    BatchIndex twin(3000);
    const std::vector<std::string> events = twin.events("shared");
    const std::string to_index = "write " + twin.path + " ";
    for (size_t i = 0; i < events.size(); ++i) {
        if (events[i].rfind(to_index, 0) != 0) continue;
        std::istringstream fields(events[i].substr(to_index.size()));
        std::uint64_t offset = 0;
        fields >> offset;
        if (offset > 0 && offset < twin.original.size()) return {i + 1, offset};
    }
    return {0, 0};
}

// A workstation that had the index open before another one was killed in
// the middle of rewriting pages in place: its next update first finishes
// what the killed one left, then makes its own change. The record was made
// as a file of its own, not through a symlink someone left at its name.
TEST(NtxCutShort, AWorkstationAlreadyOpenMendsBeforeItsNextUpdate) {
    const auto [k, page] = first_write_in_place();
    ASSERT_GT(k, 0u) << "the update rewrites no page in place";
    BatchIndex ix(3000);
    const std::string other = ix.folder.file("other.txt");
    put_bytes(other, "not an index");
    std::filesystem::create_symlink(other, ix.side);
    auto mine = NtxIndex::open(ix.path, Share::Shared, batch_fields());
    ASSERT_TRUE(mine->first());
    int code = 0;
    ix.update("shared", {"kill", std::to_string(k), "half"}, &code);
    ASSERT_EQ(code, 128 + SIGKILL);
    EXPECT_TRUE(record_pending(ix.side)) << "no record of the update cut short";
    EXPECT_EQ(file_bytes(other), "not an index");

    const std::uint32_t next = ix.built + BatchIndex::kBatch + 1;
    mine->insert(batch_key(next), next);
    EXPECT_FALSE(record_pending(ix.side));
    EXPECT_EQ(mine->verify(next), "");
    EXPECT_EQ(test::walk_forward(*mine), in_key_order(batch_entries(1, next)));
}

// The same workstation reading instead: a read that meets a page torn by
// the killed update finishes that update and reads again rather than fail.
TEST(NtxCutShort, AReadThatMeetsATornPageMendsAndReadsAgain) {
    const auto [k, page] = first_write_in_place();
    ASSERT_GT(k, 0u) << "the update rewrites no page in place";
    BatchIndex ix(3000);
    auto mine = NtxIndex::open(ix.path, Share::Shared, batch_fields());
    int code = 0;
    ix.update("shared", {"kill", std::to_string(k)}, &code);
    ASSERT_EQ(code, 128 + SIGKILL);
    ASSERT_TRUE(record_pending(ix.side)) << "no record of the update cut short";
    {
        // The page as a reader may find it torn: a key count no page holds.
        std::fstream f(ix.path, std::ios::binary | std::ios::in | std::ios::out);
        f.seekp(static_cast<std::streamoff>(page));
        f.write("\xff\x7f", 2);
    }
    EXPECT_EQ(mine->key_count(), ix.built + BatchIndex::kBatch);
    EXPECT_FALSE(record_pending(ix.side));
    EXPECT_EQ(mine->verify(ix.built + BatchIndex::kBatch), "");
}

}  // namespace
}  // namespace durva::dbf
