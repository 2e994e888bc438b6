// Every user of the office can write the shared folder: whatever stands at
// the name of a file the program reads or writes there (a symlink to someone's
// private file, a pipe nobody writes) must neither lead the program outside
// the folder nor stop it.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/readout_office.h"
#include "common/editor.h"
#include "common/screen/keys.h"
#include "print/pdf_export.h"
#include "send/main_send.h"
#include "send/send_office.h"
#include "send/send_run.h"
#include "send/sent_records.h"
#include "support/headless_session.h"

namespace durva {
namespace {

namespace fs = std::filesystem;
using screen::Key;

const std::string kPrivate = "touch /tmp/owned #private of another user\n";

// Files outside the folder, one for every name a symlink is planted at.
class Victims {
public:
    // A symlink at `name` in `folder` to a private file of its own.
    void plant(const fs::path& folder, const std::string& name, const std::string& content = kPrivate) {
        const fs::path target = dir_.path() / ("victim" + std::to_string(targets_.size()));
        std::ofstream(target, std::ios::binary) << content;
        contents_.push_back(content);
        fs::create_directories((folder / name).parent_path());
        fs::remove(folder / name);
        fs::create_symlink(target, folder / name);
        targets_.push_back(target);
        names_.push_back(name);
    }
    // Every private file is as it was.
    void expect_untouched() const {
        for (std::size_t i = 0; i < targets_.size(); ++i) {
            std::ifstream in(targets_[i], std::ios::binary);
            EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), contents_[i]) << "through " << names_[i];
        }
    }

private:
    test::TempFolder dir_;
    std::vector<fs::path> targets_;
    std::vector<std::string> names_, contents_;
};

TEST(PlantedFiles, SymlinksAtEveryFileAReadOutWritesLeadNowhere) {
    test::ReadOutOffice office;
    office.load_register();
    office.sell("5901234123457,999999");  // the second matches no good: it is listed
    Victims victims;
    for (const char* name : {"durva/data_in.txt", "durva/odczyt.lck", "durva/odczyt.log"})
        victims.plant(office.path(), name);
    for (const char* station : {"01", "02", "03"}) {
        victims.plant(office.path(), "rob/wydruk" + std::string(station) + ".prn");
        victims.plant(office.path(), "rob/ksieg" + std::string(station) + ".txt");
    }
    const std::size_t documents = office.documents();
    const test::ProgramRun run = office.read_out("1");
    EXPECT_EQ(run.code, 0) << run.line;
    victims.expect_untouched();
    EXPECT_EQ(office.documents(), documents + 1);
    // The unmatched sale went to the station's own print file.
    EXPECT_NE(office.read("rob/wydruk01.prn").find("999999"), std::string::npos);
}

TEST(PlantedFiles, PipesAtTheFilesOfAReadOutStopNothing) {
    test::ReadOutOffice office;
    office.load_register();
    office.sell("5901234123457");
    const std::size_t documents = office.documents();
    for (const char* name : {"rob/ksieg05.txt", "rob/wydruk01.prn", "durva/odczyt.log", "drukarka.txt", "sd_durva.txt"}) {
        fs::create_directories((office.path() / name).parent_path());
        ASSERT_EQ(::mkfifo((office.path() / name).c_str(), 0666), 0) << name;
    }
    test::ChildProcess p(test::kProgram, {"--odczyt", "1", "--folder", office.path().string()});
    const std::string line = p.read_line(60'000);
    const int code = p.wait_exit_code(5'000);
    if (code < 0) p.kill_now();
    ASSERT_GE(code, 0) << "still running: " << line;
    EXPECT_EQ(code, 0) << line;
    EXPECT_EQ(office.documents(), documents + 1);
}

TEST(PlantedFiles, SymlinksAtTheFilesOfASendLeadNowhere) {
    testing::SendOffice office("kod13");
    Victims victims;
    for (const char* name : {"rob/as_01.dbf", "rob/as_01.ntx", "rob/ass01.dbf", "durva/data_in.txt", "durva/as2000z.dbf",
                             "durva/as2000w.dbf"})
        victims.plant(office.folder.path(), name);
    SendOptions o;
    SentRecords sent(office.session());
    ASSERT_TRUE(sent.open());
    SendRun run(office.session(), office.menu, o, sent);
    EXPECT_TRUE(main_send(run));
    victims.expect_untouched();
    EXPECT_GT(office.records().size(), 150u);
}

TEST(PlantedFiles, ASymlinkAtATableTheSendWritesIsRefusedByName) {
    testing::SendOffice office("kod13");
    // Another user's sent-record table, which a send would add to.
    SentRecords sent(office.session());
    ASSERT_TRUE(sent.open());
    office.session().areas.close(kSentRecordsArea);
    std::ifstream in(office.folder.path() / "durva/as2000.dbf", std::ios::binary);
    Victims victims;
    victims.plant(office.folder.path(), "durva/as2000.dbf", std::string(std::istreambuf_iterator<char>(in), {}));
    if (sent.open()) {
        SendOptions o;
        SendRun run(office.session(), office.menu, o, sent);
        main_send(run);
        sent.finish();
        keep_sent_changes(office.session());
    }
    EXPECT_TRUE(office.h.saw(std::string(kSentRecordsTrouble)));
    victims.expect_untouched();
}

TEST(PlantedFiles, TheEditorAndThePdfNeitherReadNorWriteThroughAName) {
    test::TempFolder folder;
    test::CurrentFolder here(folder.path());
    Victims victims;
    victims.plant(folder.path(), "t.txt");
    ASSERT_EQ(::mkfifo((folder.path() / "p.txt").c_str(), 0666), 0);
    std::ofstream("big.txt", std::ios::binary) << std::string(17u << 20, 'x');
    for (const char* name : {"t.txt", "p.txt", "big.txt"}) {
        SCOPED_TRACE(name);
        testing::HeadlessSession h({Key::Enter, Key::Esc});
        MEDIT(h.session, name);
        EXPECT_EQ(h.terminal.steps_left(), 1u);  // the message took its key; no editing began
    }
    victims.expect_untouched();
    EXPECT_EQ(fs::file_size("big.txt"), 17u << 20);

    victims.plant(folder.path(), "out.pdf");
    EXPECT_NE(print::write_pdf("TEKST\r\n", "out.pdf"), "");
    victims.expect_untouched();
}

}  // namespace
}  // namespace durva
