// Writing and measuring data files through platform::File.
#include "platform/file.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace durva::platform
