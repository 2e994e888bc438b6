// The table's failure paths: an append that meets a full disk, an index with
// a damaged page among the table's indexes. Whatever fails, the table stays
// whole, no lock is left behind and the failure names the file.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "common/dbf/table.h"
#include "platform/errors.h"
#include "support/fixture_folder.h"
#include "table_check.h"

namespace durva::dbf {
namespace {

using platform::Share;

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void overwrite(const std::string& path, long offset, const std::string& bytes) {
    std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(offset);
    f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// Another program's attempt at a write lock; true when it would be granted.
bool other_can_lock(const std::string& path, off_t start, off_t len = 1) {
    int fd = ::open(path.c_str(), O_RDWR);
    if (fd < 0) return false;
    struct flock fl{};
    fl.l_type = F_WRLCK;
    fl.l_whence = SEEK_SET;
    fl.l_start = start;
    fl.l_len = len;
    bool ok = ::fcntl(fd, F_OFD_SETLK, &fl) == 0;
    ::close(fd);
    return ok;
}

class TableErrors : public ::testing::Test {
protected:
    // Five records with three indexes, made exclusively, so the file ends
    // with the end-of-file byte as the other programs leave it.
    void SetUp() override {
        FieldList fl = {{"KOD", 'C', 6, 0, 0}, {"NAZWA", 'C', 20, 0, 0}, {"ILE", 'N', 8, 0, 0}};
        DbfFile::create(dbf_, fl)->close();
        TableSettings s;
        auto t = Table::open(dir_.file("t"), Share::Exclusive, s);
        for (const char* kod : {"B", "D", "A", "E", "C"}) {
            ASSERT_TRUE(t->append_blank());
            t->put("KOD", std::string(kod));
            t->put("NAZWA", std::string("towar ") + kod);
        }
        t->create_index(dir_.file("t1"), "KOD");
        t->create_index(dir_.file("t2"), "UPPER(NAZWA)", false, true);
        t->create_index(dir_.file("t3"), "DESCEND(KOD)", false, true);
    }
    std::unique_ptr<Table> open(Share mode) {
        auto t = Table::open(dir_.file("t"), mode, settings_);
        for (const char* ix : {"t1", "t2", "t3"}) t->add_index(dir_.file(ix));
        return t;
    }
    // Every index complete and ordered, seen through a fresh opening.
    void expect_sound(std::uint32_t records) {
        auto t = open(Share::Exclusive);
        EXPECT_EQ(t->record_count(), records);
        test::expect_indexes_complete(*t);
    }

    durva::test::TempFolder dir_;
    const std::string dbf_ = dir_.file("t.dbf");
    TableSettings settings_ = [] {
        TableSettings s;
        s.deleted_hidden = false;
        return s;
    }();
};

// In a child process, so the file-size limit and its signal stay there: the
// append fails, and the table, the locks and the next append are checked.
// Ends with the number of faults found (each named on stderr).
[[noreturn]] void append_against_size_limit(const std::string& dbf, std::unique_ptr<Table> t, rlim_t limit) {
    const std::uint32_t n = t->record_count();
    int faults = 0;
    auto check = [&](bool ok, const char* what) {
        if (!ok) {
            std::fprintf(stderr, "FAULT: %s\n", what);
            ++faults;
        }
    };
    ::signal(SIGXFSZ, SIG_IGN);
    const std::string before = slurp(dbf);
    rlimit old{};
    ::getrlimit(RLIMIT_FSIZE, &old);
    rlimit tight = old;
    tight.rlim_cur = limit;
    ::setrlimit(RLIMIT_FSIZE, &tight);
    bool threw = false;
    try {
        t->append_blank();
    } catch (const DbError& e) {
        threw = e.file() == dbf && e.os_error() == EFBIG;
    }
    check(threw, "the append did not fail naming the table and the cause");
    check(slurp(dbf) == before, "the table's bytes changed");
    check(other_can_lock(dbf, 1'000'000'001 + n), "the new record stayed locked");
    check(other_can_lock(dbf, 1'000'000'000), "the append lock stayed");
    check(t->locked_record() == 0, "a record lock is recorded");
    t->unlock();
    ::setrlimit(RLIMIT_FSIZE, &old);
    check(t->append_blank() && t->recno() == n + 1, "the next append did not make the next record");
    t->put("KOD", std::string("F"));
    t->unlock();
    check(other_can_lock(dbf, 1'000'000'001 + n), "the record stayed locked after unlock");
    for (int i = 1; i <= 3; ++i)
        check(t->index(i).verify(n + 1).empty() && t->index(i).key_count() == n + 1, "an index is not complete");
    t->close();
    ::_exit(faults);
}

TEST_F(TableErrors, AnAppendMeetingAFullDiskLeavesTheTableAsItWasAndNoLock) {
    const auto size = static_cast<rlim_t>(slurp(dbf_).size());
    // Room for nothing, and for half a record (the write stops halfway).
    for (rlim_t room : {rlim_t{0}, rlim_t{17}}) {
        SCOPED_TRACE(room);
        EXPECT_EXIT(append_against_size_limit(dbf_, open(Share::Shared), size + room),
                    ::testing::ExitedWithCode(0), "");
    }
    expect_sound(7);  // one more record after each failed append
}

TEST_F(TableErrors, ADamagedIndexMissesChangesAloneAndGetsThemOnceMended) {
    const std::string t2 = dir_.file("t2.ntx");
    const std::string index_bytes = slurp(t2);
    const long root = static_cast<unsigned char>(index_bytes[4]) | static_cast<unsigned char>(index_bytes[5]) << 8;
    overwrite(t2, root, "\xff\x7f");  // more keys than a page holds

    auto t = open(Share::Shared);
    auto expect_fails_naming_t2 = [&](auto&& op) {
        try {
            op();
            ADD_FAILURE() << "no failure reported";
        } catch (const DbError& e) {
            EXPECT_EQ(e.file(), t2);
            EXPECT_NE(e.cause().find("Nie uaktualniono indeksu"), std::string::npos) << e.cause();
        }
    };
    t->go_to(2);
    ASSERT_TRUE(t->lock_record());
    t->put("KOD", std::string("X"));
    t->put("NAZWA", std::string("nowa nazwa"));
    expect_fails_naming_t2([&] { t->unlock(); });
    EXPECT_EQ(t->locked_record(), 0u);
    EXPECT_TRUE(other_can_lock(dbf_, 1'000'000'002));
    // The record and the sound indexes have the change.
    ASSERT_TRUE(t->set_order(1));
    EXPECT_TRUE(t->seek("X"));
    EXPECT_EQ(t->recno(), 2u);
    ASSERT_TRUE(t->set_order(3));
    EXPECT_TRUE(t->seek(test::descend("X     ")));
    EXPECT_EQ(t->recno(), 2u);

    // The same record changed again, and a new one, while the index is still damaged.
    t->go_to(2);
    ASSERT_TRUE(t->lock_record());
    t->put("NAZWA", std::string("jeszcze inna"));
    expect_fails_naming_t2([&] { t->unlock(); });
    ASSERT_TRUE(t->append_blank());
    t->put("KOD", std::string("F"));
    t->put("NAZWA", std::string("dopisany"));
    expect_fails_naming_t2([&] { t->commit(); });
    expect_fails_naming_t2([&] { t->unlock(); });
    EXPECT_TRUE(other_can_lock(dbf_, 1'000'000'006));

    // The page mended, and the header's version moved on as another
    // workstation's update leaves it, so cached pages are read again.
    overwrite(t2, root, index_bytes.substr(static_cast<size_t>(root), 2));
    overwrite(t2, 2, "\x40\x00");
    t->commit();  // the mended index gets what it missed
    t->close();
    expect_sound(6);
}

TEST_F(TableErrors, ADamagedIndexHeldExclusivelyIsNamedAndTheOthersKeepUp) {
    const std::string t3 = dir_.file("t3.ntx");
    const std::string index_bytes = slurp(t3);
    const long root = static_cast<unsigned char>(index_bytes[4]) | static_cast<unsigned char>(index_bytes[5]) << 8;
    overwrite(t3, root, "\xff\x7f");
    auto t = open(Share::Exclusive);
    t->go_to(3);
    t->put("NAZWA", std::string("zmieniona"));
    t->put("KOD", std::string("Q"));
    try {
        t->go_to(4);
        ADD_FAILURE() << "no failure reported";
    } catch (const DbError& e) {
        EXPECT_EQ(e.file(), t3);
    }
    EXPECT_EQ(t->recno(), 3u);  // the move was not made
    EXPECT_EQ(t->index(1).verify(5), "");
    EXPECT_EQ(t->index(2).verify(5), "");
    ASSERT_TRUE(t->set_order(2));
    EXPECT_TRUE(t->seek("ZMIENIONA"));
    EXPECT_EQ(t->recno(), 3u);
    EXPECT_THROW(t->close(), DbError);  // still damaged: said again, the table closed all the same
    EXPECT_TRUE(other_can_lock(dbf_, 0x7FFFFFFF));
    // The sound indexes are on disk with the change.
    auto again = Table::open(dir_.file("t"), Share::Exclusive, settings_);
    for (const char* ix : {"t1", "t2"}) again->add_index(dir_.file(ix));
    test::expect_indexes_complete(*again);
    EXPECT_TRUE(again->seek("Q"));
    EXPECT_EQ(again->recno(), 3u);
}

}  // namespace
}  // namespace durva::dbf
