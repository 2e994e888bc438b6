// Work done in batches while one lock is held: many keys put into an index
// in one update, records appended under the table's file lock in one write,
// and an index's read lock held over a run of seeks. What the other programs
// see must be what they would see after the same changes one at a time.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <random>

#include "common/dbf/ntx_header.h"
#include "platform/errors.h"
#include "support/fixture_folder.h"
#include "support/ntx_test_support.h"
#include "table_check.h"

namespace durva::dbf {
namespace {

using platform::Share;
using durva::test::TempFolder;

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

unsigned version_of(const std::string& ntx) {
    const std::string b = slurp(ntx);
    return unsigned(static_cast<unsigned char>(b[2]) | (static_cast<unsigned char>(b[3]) << 8));
}

// What another program's attempt at a lock on the byte meets: true when it
// would be granted. Made through an opening of its own, as another program's.
bool others_could_lock(const std::string& path, std::uint64_t offset, std::uint64_t len, bool write) {
    const int fd = ::open(path.c_str(), O_RDWR);
    if (fd < 0) return false;
    struct flock fl {};
    fl.l_type = static_cast<short>(write ? F_WRLCK : F_RDLCK);
    fl.l_whence = SEEK_SET;
    fl.l_start = static_cast<off_t>(offset);
    fl.l_len = static_cast<off_t>(len);
    const bool granted = ::fcntl(fd, F_OFD_SETLK, &fl) == 0;
    ::close(fd);
    return granted;
}

// Keys from a small pool, so that many are equal and go after their equals.
std::vector<NtxEntry> random_entries(std::mt19937& rng, size_t key_size, std::uint32_t& next_recno, size_t n) {
    std::vector<NtxEntry> out;
    for (size_t i = 0; i < n; ++i) {
        std::string k = "K" + std::to_string(rng() % 300);
        k.resize(key_size, ' ');
        out.push_back({k, next_recno++});
    }
    return out;
}

TEST(NtxBatches, ManyKeysInOneUpdateLeaveWhatOneAtATimeLeaves) {
    // A goods index of the sample through shared openings, and a new index of
    // tiny pages (two keys each) that every batch splits many times over.
    TempFolder folder("kod13");
    const FieldList goods = DbfFile::open(folder.file("16/03/as.dbf"), Share::Shared)->fields();
    TempFolder extra("extra");
    auto keys = DbfFile::open(extra.file("keys.dbf"), Share::Exclusive);
    NtxIndex::create(extra.file("tiny.ntx"), "PADR(KOD,256)", keys->fields(), keys->record_count(),
                     [&](std::uint32_t r) { return keys->record_view(r); }, Share::Exclusive)
        .reset();
    const FieldList key_fields = keys->fields();
    keys->close();
    struct Case {
        std::string path;
        FieldList fields;
        Share mode;
    };
    for (const Case& c : {Case{folder.file("16/03/as2.ntx"), goods, Share::Shared},
                          Case{extra.file("tiny.ntx"), key_fields, Share::Exclusive}}) {
        SCOPED_TRACE(c.path);
        std::filesystem::copy_file(c.path, c.path + ".one.ntx");
        auto batched = NtxIndex::open(c.path, c.mode, c.fields);
        auto single = NtxIndex::open(c.path + ".one.ntx", c.mode, c.fields);
        std::mt19937 rng(11);
        std::uint32_t next = 100000;
        const unsigned version = version_of(c.path);
        for (size_t batch : {1u, 7u, 300u, 50u}) {
            const auto entries = random_entries(rng, static_cast<size_t>(batched->key_size()), next, batch);
            batched->insert_many(entries);
            for (const NtxEntry& e : entries) single->insert(e.key, e.recno);
        }
        batched->flush();
        single->flush();
        EXPECT_EQ(batched->verify(next), "");
        EXPECT_EQ(durva::test::walk_forward(*batched), durva::test::walk_forward(*single));
        batched.reset();
        auto again = NtxIndex::open(c.path, c.mode, c.fields);
        EXPECT_EQ(durva::test::walk_forward(*again), durva::test::walk_forward(*single));
        if (c.mode == Share::Shared) {
            EXPECT_EQ(version_of(c.path), (version + 4) % 65536);  // one header write per batch
        }
    }
}

TEST(NtxBatches, AReadLockHeldOverSeeksKeepsWritersOutUntilReleased) {
    TempFolder folder("kod13");
    const std::string path = folder.file("16/03/pk.ntx");
    const FieldList fields = DbfFile::open(folder.file("16/03/pk.dbf"), Share::Shared)->fields();
    auto ix = NtxIndex::open(path, Share::Shared, fields);
    auto first = ix->first();
    ASSERT_TRUE(first);
    {
        IndexReadHold hold(ix.get());
        EXPECT_FALSE(others_could_lock(path, kNtxLockOffset, 1, true));  // a writer waits
        EXPECT_TRUE(others_could_lock(path, kNtxLockOffset, 1, false));  // readers do not
        EXPECT_EQ(ix->seek(first->key)->recno, first->recno);
        // Still held after the seek, which neither took nor gave up a lock.
        EXPECT_FALSE(others_could_lock(path, kNtxLockOffset, 1, true));
        // A change inside writes under the write lock, then goes back to reading.
        ix->insert("050       ", 9);
        EXPECT_FALSE(others_could_lock(path, kNtxLockOffset, 1, true));
        EXPECT_TRUE(others_could_lock(path, kNtxLockOffset, 1, false));
        EXPECT_EQ(ix->first()->recno, 9u);
        hold.hold(ix.get());  // taken afresh: still one lock, still held
        EXPECT_FALSE(others_could_lock(path, kNtxLockOffset, 1, true));
    }
    EXPECT_TRUE(others_could_lock(path, kNtxLockOffset, 1, true));
    auto other = NtxIndex::open(path, Share::Shared, fields);
    EXPECT_EQ(other->first()->recno, 9u);
    EXPECT_EQ(other->verify(9), "");
}

FieldDesc field(std::string name, char type, int len) {
    FieldDesc f;
    f.name = std::move(name);
    f.type = type;
    f.length = len;
    return f;
}

std::string record(const std::string& kod, const std::string& nazwa) {
    std::string r = " " + kod;
    r.resize(1 + 6, ' ');
    r += nazwa;
    r.resize(1 + 6 + 10, ' ');
    return r;
}

TEST(TableBatches, RecordsAppendedUnderTheFileLockReachTheFileAndEveryIndexAtOnce) {
    TempFolder dir;
    const std::string path = dir.file("t.dbf");
    DbfFile::create(path, {field("KOD", 'C', 6), field("NAZWA", 'C', 10)})->close();
    TableSettings settings;
    {
        auto t = Table::open(path, Share::Exclusive, settings);
        t->create_index(dir.file("t1"), "KOD");
        t->create_index(dir.file("t2"), "DESCEND(NAZWA)+KOD", false, true);
        t->append_blank();
        t->put("KOD", std::string("M"));
        t->close();
    }
    auto t = Table::open(path, Share::Shared, settings);
    t->add_index(dir.file("t1"));
    t->add_index(dir.file("t2"));
    const std::string batch = record("C", "CCC") + record("A", "ZZZ") + record("B", "AAA");

    // Without the file lock another station could be appending: refused,
    // and nothing reaches the file.
    EXPECT_THROW(t->append_records(batch), DbError);
    EXPECT_EQ(t->record_count(), 1u);

    ASSERT_TRUE(t->lock_file());
    EXPECT_EQ(t->append_records(batch), 2u);
    EXPECT_EQ(t->recno(), 4u);
    EXPECT_EQ(t->text("KOD"), "B     ");
    EXPECT_THROW(t->append_records(batch.substr(1)), DbError);  // no piece of a record
    t->unlock();
    EXPECT_TRUE(others_could_lock(path, kDbfLockBase + 1, kDbfFileLockLength, true));

    // Another station sees the records, the count in the header and the keys.
    const std::string bytes = slurp(path);
    EXPECT_EQ(static_cast<unsigned char>(bytes[4]), 4u);
    TableSettings visible;
    visible.deleted_hidden = false;
    auto other = Table::open(path, Share::Shared, visible);
    other->add_index(dir.file("t1"));
    other->add_index(dir.file("t2"));
    EXPECT_EQ(other->record_count(), 4u);
    std::vector<std::string> kods;
    for (other->go_top(); !other->eof(); other->skip(1)) kods.push_back(other->text("KOD").substr(0, 1));
    EXPECT_EQ(kods, (std::vector<std::string>{"A", "B", "C", "M"}));
    ASSERT_TRUE(other->set_order(2));
    other->go_top();
    EXPECT_EQ(other->text("KOD").substr(0, 1), "A");  // ZZZ first in the descending order
    test::expect_indexes_complete(*other);
}

}  // namespace
}  // namespace durva::dbf
