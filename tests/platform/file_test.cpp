// Writing and measuring data files through platform::File.
#include "platform/file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <string>

#include "support/fixture_folder.h"

namespace durva::platform {
namespace {

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string pattern(size_t n, unsigned seed) {
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>((i * 131 + seed * 7 + i / 4096) & 0xFF);
    return s;
}

TEST(FileWrite, PiecesLandWhereOneWriteWouldPutThem) {
    test::TempFolder dir;
    const std::string path = dir.file("pieces.ntx");
    const std::string first = pattern(200 * 1024 + 17, 1);
    {
        auto f = File::create(path);
        f->write_in_pieces(first.data(), first.size(), 0);
        EXPECT_EQ(f->size(), first.size());
    }
    EXPECT_EQ(slurp(path), first);

    // Starting off a piece boundary, crossing several, growing the file.
    const std::string second = pattern(150 * 1024 + 3, 2);
    const std::uint64_t at = 64 * 1024 - 5;
    {
        auto f = File::open(path, Share::Exclusive);
        f->write_in_pieces(second.data(), second.size(), at);
        EXPECT_EQ(f->size(), std::max<std::uint64_t>(first.size(), at + second.size()));
        f->write_in_pieces(second.data(), 0, 3);  // nothing to write, nothing written
    }
    std::string expected = first;
    expected.resize(std::max<size_t>(expected.size(), at + second.size()));
    expected.replace(at, second.size(), second);
    EXPECT_EQ(slurp(path), expected);
}

TEST(FileSize, FollowsWritesAndCutsOfAnotherOpening) {
    test::TempFolder dir;
    const std::string path = dir.file("t.dbf");
    auto mine = File::create(path);
    EXPECT_EQ(mine->size(), 0u);
    mine->write_at("abc", 3, 10);
    EXPECT_EQ(mine->size(), 13u);
    {
        // Another workstation appends behind our back.
        std::ofstream other(path, std::ios::binary | std::ios::app);
        other << std::string(1000, 'x');
    }
    EXPECT_EQ(mine->size(), 1013u);
    mine->truncate(7);
    EXPECT_EQ(mine->size(), 7u);
    // Reading and writing at offsets does not depend on where the size was asked.
    mine->write_at("Z", 1, 2);
    char b[3] = {};
    EXPECT_EQ(mine->read_at(b, 3, 1), 3u);
    EXPECT_EQ(std::string(b, 3), std::string("\0Z\0", 3));
}

// Another program's attempt at a lock on its own descriptor; true when granted.
bool other_program_can_lock(const std::string& path, std::uint64_t offset, bool write) {
    int fd = ::open(path.c_str(), write ? O_RDWR : O_RDONLY);
    if (fd < 0) return false;
    struct flock fl{};
    fl.l_type = write ? F_WRLCK : F_RDLCK;
    fl.l_whence = SEEK_SET;
    fl.l_start = static_cast<off_t>(offset);
    fl.l_len = 1;
    bool ok = ::fcntl(fd, F_OFD_SETLK, &fl) == 0;
    ::close(fd);
    return ok;
}

TEST(FileOpening, ReadOnlyOpeningStaysReadOnlyBesideAReadWriteOne) {
    test::TempFolder dir;
    const std::string path = dir.file("t.dbf");
    File::create(path)->write_at("abc", 3, 0);
    for (bool read_write_first : {true, false}) {
        SCOPED_TRACE(read_write_first ? "read-write first" : "read-only first");
        std::shared_ptr<File> rw, ro;
        if (read_write_first) rw = File::open(path, Share::Shared);
        ro = File::open(path, Share::Shared, true);
        if (!read_write_first) rw = File::open(path, Share::Shared);
        EXPECT_NE(rw, ro);
        EXPECT_TRUE(ro->read_only());
        EXPECT_FALSE(rw->read_only());
        EXPECT_THROW(ro->write_at("X", 1, 0), DbError);
        EXPECT_THROW(ro->truncate(1), DbError);
        // Openings of the same kind share one descriptor, and its locks.
        EXPECT_EQ(File::open(path, Share::Shared, true), ro);
        EXPECT_EQ(File::open(path, Share::Shared), rw);
        EXPECT_THROW(File::open(path, Share::Exclusive), SharingError);
        rw->write_at("Z", 1, 1);
        char b[3] = {};
        EXPECT_EQ(ro->read_at(b, 3, 0), 3u);
        EXPECT_EQ(std::string(b, 3), "aZc");
        rw->write_at("b", 1, 1);
        // Either may go first; the other keeps working.
        rw.reset();
        EXPECT_EQ(ro->read_at(b, 1, 0), 1u);
        EXPECT_TRUE(File::open(path, Share::Shared, true)->read_only());
    }
    EXPECT_FALSE(is_file_in_use(path));
}

TEST(FileOpening, ExclusiveReadOnlyOpeningKeepsByteLockSharersOut) {
    test::TempFolder dir;
    const std::string path = dir.file("t.dbf");
    File::create(path)->write_at("abc", 3, 0);
    {
        auto f = File::open(path, Share::Exclusive, true);
        EXPECT_TRUE(f->read_only());
        EXPECT_TRUE(f->exclusive());
        // A program keeping share modes with a lock on the share byte alone
        // must be refused a shared opening too.
        EXPECT_FALSE(other_program_can_lock(path, kShareLockByte, false));
        EXPECT_THROW(f->write_at("X", 1, 0), DbError);
        EXPECT_THROW(File::open(path, Share::Shared, true), SharingError);
    }
    {
        auto f = File::open(path, Share::Shared, true);
        EXPECT_TRUE(other_program_can_lock(path, kShareLockByte, false));
        EXPECT_FALSE(other_program_can_lock(path, kShareLockByte, true));
    }
    EXPECT_EQ(slurp(path), "abc");
}

}  // namespace
}  // namespace durva::platform
