#include "common/_fun3.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "support/current_folder.h"
#include "support/fixture_folder.h"

namespace durva {
namespace {

void touch(const std::filesystem::path& p) { std::ofstream(p) << "x"; }

TEST(StationNumberText, OneToNinetyNineAsTwoDigitsEverythingElseZeros) {
    EXPECT_EQ(STR2(1), "01");
    EXPECT_EQ(STR2(3), "03");
    EXPECT_EQ(STR2(9), "09");
    EXPECT_EQ(STR2(10), "10");
    EXPECT_EQ(STR2(99), "99");
    EXPECT_EQ(STR2(0), "00");
    EXPECT_EQ(STR2(100), "00");
    EXPECT_EQ(STR2(12345), "00");
}

TEST(StationNumberText, FractionsAreRoundedInTheFormatting) {
    EXPECT_EQ(STR2(2.6), "03");
    EXPECT_EQ(STR2(9.5), "10");   // rounds into two digits: no leading zero
    EXPECT_EQ(STR2(0.4), "00");
    EXPECT_EQ(STR2(98.6), "99");
    EXPECT_EQ(STR2(99.4), "00");  // above 99 before any rounding
}

class FileTest : public ::testing::Test {
protected:
    test::TempFolder folder;
    test::CurrentFolder here{folder.path()};
};

TEST_F(FileTest, FindsAFileNamedInUpperOrLowerCase) {
    touch(folder.path() / "sd_durva.txt");
    touch(folder.path() / "PARAMETR.MEM");
    EXPECT_TRUE(FILE_X("SD_DURVA.TXT"));
    EXPECT_TRUE(FILE_X("sd_durva.txt"));
    EXPECT_TRUE(FILE_X("PARAMETR.MEM"));
    EXPECT_TRUE(FILE_X("parametr.mem"));
    EXPECT_FALSE(FILE_X("DURVA.OLD"));
}

TEST_F(FileTest, SpacesAreRemovedFromTheName) {
    touch(folder.path() / "durvawin.txt");
    EXPECT_TRUE(FILE_X(" durva win.txt "));
    EXPECT_TRUE(FILE_X("DURVAWIN .TXT"));
    EXPECT_FALSE(FILE_X("   "));
    EXPECT_FALSE(FILE_X(""));
}

TEST_F(FileTest, NameWithAFolderWhoseCaseDiffersFromTheFile) {
    std::filesystem::create_directory(folder.path() / "durva");
    touch(folder.path() / "durva" / "DATA_OUT.TXT");
    EXPECT_TRUE(FILE_X("durva\\DATA_OUT.TXT"));
    EXPECT_TRUE(FILE_X("DURVA\\data_out.txt"));
    EXPECT_FALSE(FILE_X("durva\\data_out.xxx"));
    EXPECT_FALSE(FILE_X("rob\\DATA_OUT.TXT"));
    EXPECT_FALSE(FILE_X("DURVA"));  // a folder is not a file
}

}  // namespace
}  // namespace durva
