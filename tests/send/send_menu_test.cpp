// Goods sent and PLUs deleted from the main menu, key by key, with the
// register simulator standing in for the driver program: the register ends
// up holding exactly the PLUs of the input file.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <signal.h>

#include "app/durva_menu.h"
#include "common/_fun3.h"
#include "common/screen/keys.h"
#include "driver/driver_run.h"
#include "send/send_office.h"
#include "support/child_process.h"

namespace durva {
namespace {

using screen::Key;
using testing::SendOffice;

// The count message after the send and the driver's report each stand for
// three seconds; the operator lets them pass.
const platform::ScriptStep kLetPass = platform::ScriptStep::silence(3000);

std::string read_bytes(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// The PLU codes of records ("I;1;code;...", "I#00;1;code;...") or of PLU list
// lines ("P;1;code;...").
std::set<std::string> codes_of(const std::string& text) {
    std::set<std::string> codes;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find("\r\n", at);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(at, end - at);
        at = end + 2;
        if (line.empty() || line.starts_with("S;")) continue;
        const size_t first = line.find(';', line.find(';') + 1);
        codes.insert(line.substr(first + 1, line.find(';', first + 1) - first - 1));
    }
    return codes;
}

struct SimulatedOffice : SendOffice {
    SimulatedOffice() : SendOffice("kod13") { simulator(); }
    void simulator() {
        std::filesystem::remove(folder.path() / "durvadrv.exe");
        std::filesystem::create_symlink(std::string(DURVA_BUILD_DIR) + "/durvadrv.exe",
                                        folder.path() / "durvadrv.exe");
    }
    // A driver that lets the simulated register take the records, then runs
    // `then` (a shell command) before it ends.
    void simulator_then(const std::string& then) {
        const std::filesystem::path p = folder.path() / "durvadrv.exe";
        std::filesystem::remove(p);
        std::ofstream(p) << "#!/bin/sh\n\"" DURVA_BUILD_DIR "/durvadrv.exe\" \"$@\"\n" << then << "\n";
        std::filesystem::permissions(p, std::filesystem::perms::owner_all);
    }
    void menu_run(std::initializer_list<platform::ScriptStep> keys) {
        h.terminal.inner.push_keys(keys);
        DURVA_(session(), menu);
    }
    // What the register holds, by its own PLU list.
    std::set<std::string> register_plus() {
        write_input_file(session(), "S;I;0; ; ;", {});
        EXPECT_TRUE(run_driver(session(), menu, DriverCommand::ReadOut));
        return codes_of(read_bytes(folder.path() / "durva" / "data_out.txt"));
    }
};

TEST(SendFromTheMenu, TheRegisterHoldsWhatWasSentUntilItsPlusAreDeleted) {
    SimulatedOffice office;
    // Item 1 (highlighted at the start): warehouse and stock fields as they
    // are, all warehouses confirmed, the register ready.
    office.menu_run({Key::Enter, Key::Enter, Key::Enter, 'T', kLetPass, 'T', kLetPass, Key::Esc});
    const std::set<std::string> sent = codes_of(office.input_file());
    EXPECT_GT(sent.size(), 150u);
    EXPECT_TRUE(office.h.saw("Wszystko dobrze"));
    EXPECT_EQ(office.register_plus(), sent);

    // Nothing changed: the next send writes only the goods that take turns
    // with another warehouse's record, and the register still holds the same codes.
    office.menu_run({Key::Enter, Key::Enter, Key::Enter, 'T', kLetPass, 'T', kLetPass, Key::Esc});
    EXPECT_LT(codes_of(office.input_file()).size(), 20u);
    EXPECT_EQ(office.register_plus(), sent);

    // Item 5, the last one: every PLU deleted, and the sent-record table with them.
    office.menu_run({Key::End, Key::Enter, kLetPass, Key::Enter, 'T', kLetPass, Key::Esc});
    EXPECT_TRUE(office.register_plus().empty());
    EXPECT_FALSE(FILE_X("durva\\as2000.dbf"));

    // So the next send transfers every good again.
    office.menu_run({Key::Enter, Key::Enter, Key::Enter, 'T', kLetPass, 'T', kLetPass, Key::Esc});
    EXPECT_EQ(office.register_plus(), sent);
}

TEST(SendFromTheMenu, RegisterNotReadySendsNothing) {
    SimulatedOffice office;
    office.menu_run({Key::Enter, Key::Enter, Key::Enter, 'T', kLetPass, 'N', Key::Esc});
    const std::set<std::string> every = codes_of(office.input_file());
    ASSERT_GT(every.size(), 150u);
    EXPECT_TRUE(office.register_plus().empty());

    // Nothing went, so nothing counts as sent: the next send sends every good.
    office.menu_run({Key::Enter, Key::Enter, Key::Enter, 'T', kLetPass, 'T', kLetPass, Key::Esc});
    EXPECT_EQ(codes_of(office.input_file()), every);
    EXPECT_EQ(office.register_plus(), every);
}

// The register took the records, but the driver reported an error, or
// nothing: what it took is not known, so the next send sends every good.
TEST(SendFromTheMenu, AfterADriverErrorOrNoReportTheNextSendSendsEveryGood) {
    auto check = [](const std::string& then, const std::string& shown,
                    std::initializer_list<platform::ScriptStep> report_keys) {
        SCOPED_TRACE(then);
        SimulatedOffice office;
        office.simulator_then(then);
        office.h.terminal.inner.push_keys({Key::Enter, Key::Enter, Key::Enter, 'T', kLetPass, 'T'});
        office.menu_run(report_keys);
        EXPECT_TRUE(office.h.saw(shown));
        const std::set<std::string> every = codes_of(office.input_file());
        ASSERT_GT(every.size(), 150u);

        office.simulator();
        office.menu_run({Key::Enter, Key::Enter, Key::Enter, 'T', kLetPass, 'T', kLetPass, Key::Esc});
        EXPECT_TRUE(office.h.saw("Wszystko dobrze"));
        EXPECT_EQ(codes_of(office.input_file()), every);
        EXPECT_EQ(office.register_plus(), every);
    };
    // The error's message, then the record it names, each until a key.
    check("printf '1;3;Blad transmisji' > durva/error.txt", "1;3;Blad transmisji", {' ', ' ', Key::Esc});
    check("rm durva/error.txt", "Sterownik nie zostawil pliku error.txt", {' ', Key::Esc});
}

// Another workstation's program sends the goods to the register, as an
// operator answering T to both questions, and is killed on the way: at the
// question, or at each write into the sent-record table in turn. Whatever
// moment it died at, the table is as before its send or as after it: the
// next send writes either all that send wrote or what a send after it writes.
TEST(SendFromTheMenu, AProgramKilledMidSendLeavesTheTableAsBeforeOrAsAfter) {
    SimulatedOffice office;
    const std::filesystem::path durva = office.folder.path() / "durva";
    auto send_elsewhere = [&](std::vector<std::string> how) {
        how.insert(how.begin(), office.folder.path().string());
        test::ChildProcess other(test::proc_path("goods_sender"), how);
        if (how.size() > 1 && how[1] == "question") {
            EXPECT_EQ(other.read_line(), "asked");
            other.kill_now();
        }
        return other.wait_exit_code();
    };
    // Warehouse 2 first: the send under test then has rows to add for the
    // other warehouses and rows to change for the codes they share with it.
    office.menu_run({Key::Enter, '2', Key::Enter, Key::Enter, 'T', kLetPass, 'T', kLetPass, Key::Esc});
    ASSERT_TRUE(office.h.saw("Na pewno z magazynu 2"));
    const std::string table = read_bytes(durva / "as2000.dbf"), index = read_bytes(durva / "as2000.ntx");
    auto as_before = [&] {
        std::ofstream(durva / "as2000.dbf", std::ios::binary | std::ios::trunc) << table;
        std::ofstream(durva / "as2000.ntx", std::ios::binary | std::ios::trunc) << index;
        std::filesystem::remove(durva / "as2000z.dbf");
        std::filesystem::remove(durva / "as2000w.dbf");
    };
    ASSERT_EQ(send_elsewhere({}), 0);
    const std::string sent = office.input_file();
    ASSERT_EQ(send_elsewhere({}), 0);
    const std::string after = office.input_file();
    ASSERT_LT(after.size(), sent.size() / 4);

    as_before();
    ASSERT_EQ(send_elsewhere({"question"}), 128 + SIGKILL);
    ASSERT_EQ(send_elsewhere({}), 0);
    EXPECT_EQ(office.input_file(), sent) << "killed at the question";

    int killed = 0;
    for (int write = 1; write < 100; ++write) {
        as_before();
        const int code = send_elsewhere({"write", std::to_string(write)});
        if (code == 0) break;
        ASSERT_EQ(code, 128 + SIGKILL);
        ++killed;
        ASSERT_EQ(send_elsewhere({}), 0);
        const std::string next = office.input_file();
        EXPECT_TRUE(next == sent || next == after) << "killed at write " << write << " into the table";
    }
    EXPECT_GT(killed, 0);
}

}  // namespace
}  // namespace durva
