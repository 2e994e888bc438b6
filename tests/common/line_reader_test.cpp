#include "common/line_reader.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "support/current_folder.h"
#include "support/fixture_folder.h"

namespace durva {
namespace {

struct Read {
    std::string line;
    LineKind kind;
    friend bool operator==(const Read&, const Read&) = default;
};

std::vector<Read> read_all(const std::string& bytes, std::int64_t end = -1) {
    {
        std::ofstream out("sales.txt", std::ios::binary | std::ios::trunc);
        out << bytes;
    }
    platform::ReadHandle h("sales.txt");
    LineReader reader(h, end < 0 ? h.size() : end);
    std::vector<Read> out;
    Read r;
    while (reader.next(r.line, r.kind)) out.push_back(r);
    return out;
}

TEST(LineReader, EveryKindOfLineTheDriverMightLeave) {
    test::TempFolder folder;
    test::CurrentFolder here(folder.path());
    const std::string l122(122, 'a'), l748(748, 'b'), l749(749, 'c'), l2000(2000, 'd');
    const std::string garbage("\x00\xff\x1a;\x80", 5);
    struct Case {
        const char* what;
        std::string bytes;
        std::vector<Read> want;
    };
    const Case cases[] = {
        {"empty file", "", {}},
        {"empty line", "\r\n", {{"", LineKind::Complete}}},
        {"two characters", "S;\r\n", {{"S;", LineKind::Complete}}},
        {"122 and 748 characters", l122 + "\r\n" + l748 + "\r\n",
         {{l122, LineKind::Complete}, {l748, LineKind::Complete}}},
        {"749 characters whole, of 2000 the first 749", l749 + "\r\n" + l2000 + "\r\nS;1;A;1;1;\r\n",
         {{l749, LineKind::TooLong}, {l2000.substr(0, 749), LineKind::TooLong}, {"S;1;A;1;1;", LineKind::Complete}}},
        {"a lone LF far into a long line", l2000 + "\n" + l122 + "\r\n", {{l2000.substr(0, 749), LineKind::StrayBreak}}},
        {"binary garbage", garbage + "\r\n", {{garbage, LineKind::Complete}}},
        {"end-of-file byte inside a line", "S;1\x1A;A;1;1;\r\n", {{"S;1\x1A;A;1;1;", LineKind::Complete}}},
        {"end-of-file byte after the last line", "S;1;A;1;1;\r\n\x1A", {{"S;1;A;1;1;", LineKind::Complete}}},
        {"CR without LF", "S;1;A;1;1;\rS;2;B;2;2;\r\n", {{"S;1;A;1;1;\rS;2;B;2;2;", LineKind::StrayBreak}}},
        {"LF without CR", "S;1;A;1;1;\nS;2;B;2;2;\r\n", {{"S;1;A;1;1;\nS;2;B;2;2;", LineKind::StrayBreak}}},
        {"last line without CR LF", "S;1;A;1;1;\r\nS;2;B;2;2;", {{"S;1;A;1;1;", LineKind::Complete},
                                                                  {"S;2;B;2;2;", LineKind::Unterminated}}},
        {"last line ends with CR alone", "S;1;A;1;1;\r", {{"S;1;A;1;1;\r", LineKind::Unterminated}}},
        {"line end across the reader's pieces", std::string(65535, 'e') + "\r\n",
         {{std::string(749, 'e'), LineKind::TooLong}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(read_all(c.bytes), c.want);
    }
}

TEST(LineReader, ReadsOnlyWhatTheFileHeldWhenOpened) {
    test::TempFolder folder;
    test::CurrentFolder here(folder.path());
    // The driver was still writing: the size measured at the opening ends the
    // run, the second line cut off there is shown as unterminated.
    const std::string bytes = "S;1;A;1;1;\r\nS;2;B;2;2;\r\nS;3;C;3;3;\r\n";
    EXPECT_EQ(read_all(bytes, 17), (std::vector<Read>{{"S;1;A;1;1;", LineKind::Complete},
                                                       {"S;2;B", LineKind::Unterminated}}));
    // A file cut shorter than measured ends where its bytes end.
    EXPECT_EQ(read_all("S;1;A;1;1;\r\n", 100), (std::vector<Read>{{"S;1;A;1;1;", LineKind::Complete}}));
}

TEST(LineReader, OfAHugeLineKeepsItsStartAndTellsItsLength) {
    test::TempFolder folder;
    test::CurrentFolder here(folder.path());
    const std::string huge(5'000'000, 'x');
    std::ofstream("sales.txt", std::ios::binary) << huge << "\r\nS;1;A;1;1;\r\n" << huge;
    platform::ReadHandle h("sales.txt");
    LineReader reader(h, h.size());
    std::string line;
    LineKind kind;
    ASSERT_TRUE(reader.next(line, kind));
    EXPECT_EQ(line.size(), LineReader::kKept);
    EXPECT_EQ(reader.length(), huge.size());
    ASSERT_TRUE(reader.next(line, kind));
    EXPECT_EQ(line, "S;1;A;1;1;");
    EXPECT_EQ(reader.length(), 10u);
    ASSERT_TRUE(reader.next(line, kind));
    EXPECT_EQ(kind, LineKind::Unterminated);
    EXPECT_EQ(reader.length(), huge.size());
    EXPECT_FALSE(reader.next(line, kind));
}

}  // namespace
}  // namespace durva
