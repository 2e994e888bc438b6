#include "platform/process.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

#include "driver/driver_test_support.h"
#include "support/current_folder.h"
#include "support/fixture_folder.h"

namespace durva::platform {

namespace {

struct WordsCase {
    const char* line;
    std::vector<std::string> words;
};

}  // namespace

class CommandWords : public ::testing::TestWithParam<WordsCase> {};

TEST_P(CommandWords, SplitAtBlanksWithoutQuoting) {
    EXPECT_EQ(split_command_words(GetParam().line), GetParam().words);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, CommandWords,
    ::testing::Values(WordsCase{"durvadrv.exe dp=durva cp=1", {"durvadrv.exe", "dp=durva", "cp=1"}},
                      WordsCase{"  start   /WAIT\tx  ", {"start", "/WAIT", "x"}}, WordsCase{"", {}},
                      WordsCase{"   ", {}},
                      // Nothing is interpreted: quotes, semicolons and dollars are plain characters.
                      WordsCase{"a \"b c\" ;rm $HOME", {"a", "\"b", "c\"", ";rm", "$HOME"}}));

class FindProgram : public ::testing::Test {
protected:
    FindProgram() : here_(folder_.path()), path_((folder_.path() / "b1").string() + ":" + (folder_.path() / "b2").string()) {
        std::filesystem::create_directories(folder_.path() / "b1");
        std::filesystem::create_directories(folder_.path() / "b2");
    }
    std::filesystem::path at(const std::string& relative) const { return folder_.path() / relative; }

    test::TempFolder folder_;
    test::CurrentFolder here_;
    test::SearchPath path_;
};

TEST_F(FindProgram, WorkingFolderWhateverTheCaseThenTheSearchPathInOrder) {
    EXPECT_EQ(find_program("tool.exe"), std::nullopt);
    test::write_script(at("b2/tool.exe"), "exit 0");
    EXPECT_EQ(find_program("tool.exe"), at("b2/tool.exe").string());
    test::write_script(at("b1/tool.exe"), "exit 0");
    EXPECT_EQ(find_program("tool.exe"), at("b1/tool.exe").string());
    test::write_script(at("TOOL.EXE"), "exit 0");
    EXPECT_EQ(find_program("tool.exe"), "./TOOL.EXE");
}

TEST_F(FindProgram, OnlyExecutableRegularFilesCount) {
    test::write_bytes(at("tool.exe"), "plain text");  // not executable
    std::filesystem::create_directories(at("b1/tool.exe"));  // a folder of that name
    EXPECT_EQ(find_program("tool.exe"), std::nullopt);
    test::write_script(at("b2/tool.exe"), "exit 0");
    EXPECT_EQ(find_program("tool.exe"), at("b2/tool.exe").string());
}

TEST_F(FindProgram, ANameWithASlashIsAPath) {
    test::write_script(at("b1/tool.exe"), "exit 0");
    EXPECT_EQ(find_program("b1/tool.exe"), "b1/tool.exe");
    EXPECT_EQ(find_program("b2/tool.exe"), std::nullopt);
    EXPECT_EQ(find_program(""), std::nullopt);
}

TEST_F(FindProgram, RunReportsExitCodesSignalsAndFailuresToStart) {
    test::write_script(at("five"), "exit 5");
    EXPECT_EQ(run_and_wait(at("five").string(), {}).exit_code, 5);
    test::write_script(at("killed"), "kill -9 $$");
    const ChildRun killed = run_and_wait(at("killed").string(), {});
    EXPECT_TRUE(killed.started);
    EXPECT_EQ(killed.exit_code, 128 + 9);

    const ChildRun missing = run_and_wait(at("nothing-here").string(), {});
    EXPECT_FALSE(missing.started);
    EXPECT_EQ(missing.error, ENOENT);

    // Arguments arrive as given, one word each, whatever they hold.
    test::write_script(at("args"), "for a in \"$@\"; do printf '[%s]' \"$a\"; done > out.txt");
    EXPECT_TRUE(run_and_wait(at("args").string(), {"a b", "$HOME", ";x", ""}).started);
    EXPECT_EQ(test::read_bytes(at("out.txt")), "[a b][$HOME][;x][]");
}

}  // namespace durva::platform
