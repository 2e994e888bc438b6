// Goods sent and PLUs deleted from the main menu, key by key, with the
// register simulator standing in for the driver program: the register ends
// up holding exactly the PLUs of the input file.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>

#include "app/durva_menu.h"
#include "common/_fun3.h"
#include "common/screen/keys.h"
#include "driver/driver_run.h"
#include "send/send_office.h"

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
    SimulatedOffice() : SendOffice("kod13") {
        std::filesystem::create_symlink(std::string(DURVA_BUILD_DIR) + "/durvadrv.exe",
                                        folder.path() / "durvadrv.exe");
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
    EXPECT_TRUE(office.register_plus().empty());
}

}  // namespace
}  // namespace durva
