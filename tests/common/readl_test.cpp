#include "common/_readl.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "support/current_folder.h"
#include "support/fixture_folder.h"

namespace durva {
namespace {

class LineReader : public ::testing::Test {
protected:
    platform::ReadHandle open_with(const std::string& bytes) {
        std::ofstream(folder.file("data.txt"), std::ios::binary) << bytes;
        platform::ReadHandle h("DATA.TXT");
        EXPECT_TRUE(h.is_open());
        return h;
    }
    // Reads the way the callers do: while the position differs from the size.
    std::vector<std::string> read_all(platform::ReadHandle& h) {
        std::vector<std::string> lines;
        while (h.position() != h.size() && lines.size() < 10000) lines.push_back(FREADLINE(h));
        return lines;
    }
    test::TempFolder folder;
    test::CurrentFolder here{folder.path()};
};

TEST_F(LineReader, LinesEndedByCrLf) {
    auto h = open_with("ABC\r\nDE\r\n");
    EXPECT_EQ(FREADLINE(h), "ABC");
    EXPECT_EQ(h.position(), 5);
    EXPECT_EQ(FREADLINE(h), "DE");
    EXPECT_EQ(h.position(), h.size());
}

TEST_F(LineReader, LastLineWithoutLineEndGivesOneEmptyResultPerByte) {
    auto h = open_with("XY");
    EXPECT_EQ(FREADLINE(h), "");
    EXPECT_EQ(h.position(), 1);
    EXPECT_EQ(FREADLINE(h), "");
    EXPECT_EQ(h.position(), 2);
    EXPECT_EQ(h.position(), h.size());

    auto h2 = open_with("AB\r\nXY");
    EXPECT_EQ(read_all(h2), (std::vector<std::string>{"AB", "", ""}));
}

TEST_F(LineReader, EmptyLinesAndALoneCarriageReturnOrLineFeed) {
    auto h = open_with("\r\nA\rB\nC\r\n");
    EXPECT_EQ(read_all(h), (std::vector<std::string>{"", "A\rB\nC"}));
}

TEST_F(LineReader, LinesUpTo748CharactersComeBackWhole) {
    const std::string longest(748, 'a');
    auto h = open_with(longest + "\r\n" + "next\r\n");
    EXPECT_EQ(FREADLINE(h), longest);
    EXPECT_EQ(FREADLINE(h), "next");
    EXPECT_EQ(h.position(), h.size());
}

TEST_F(LineReader, LongerLineGivesEmptyResultsThenItsLast748Characters) {
    // 749 characters: the window of 750 bytes holds the CR but not its LF.
    std::string line(749, 'b');
    line[0] = 'X';
    auto h = open_with(line + "\r\n");
    EXPECT_EQ(FREADLINE(h), "");
    EXPECT_EQ(h.position(), 1);
    EXPECT_EQ(FREADLINE(h), line.substr(1));
    EXPECT_EQ(h.position(), h.size());

    auto h2 = open_with(std::string(1000, 'c') + "\r\nEND\r\n");
    auto lines = read_all(h2);
    ASSERT_EQ(lines.size(), 254u);  // 252 empty, the tail of the long line, END
    for (size_t i = 0; i < 252; ++i) EXPECT_EQ(lines[i], "") << i;
    EXPECT_EQ(lines[252], std::string(748, 'c'));
    EXPECT_EQ(lines[253], "END");
}

TEST(LineReaderHandle, MissingFileIsNotOpen) {
    test::TempFolder folder;
    test::CurrentFolder here(folder.path());
    platform::ReadHandle h("durva\\error.txt");
    EXPECT_FALSE(h.is_open());
    EXPECT_NE(h.open_error(), 0);
    EXPECT_EQ(h.size(), 0);
}

}  // namespace
}  // namespace durva
