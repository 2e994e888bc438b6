// Menu items 1 and 5 from the first key to the register's memory, with the
// register simulator standing in for the driver program.
#include "send/register_items.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>

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

// The PLU codes of records ("I;1;code;..." or "I#00;1;code;...") or of PLU
// list lines ("P;1;code;...").
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
    explicit SimulatedOffice(std::initializer_list<platform::ScriptStep> keys) : SendOffice("kod13", keys) {
        std::filesystem::create_symlink(std::string(DURVA_BUILD_DIR) + "/durvadrv.exe",
                                        folder.path() / "durvadrv.exe");
    }
    // What the register holds, by its own PLU list.
    std::set<std::string> register_plus() {
        write_input_file(session(), "S;I;0; ; ;", {});
        EXPECT_TRUE(run_driver(session(), menu, DriverCommand::ReadOut));
        return codes_of(read_bytes(folder.path() / "durva" / "data_out.txt"));
    }
};

TEST(RegisterItems, SendThenDeleteEveryPlu) {
    // Item 1: warehouse and stock fields left as they are, all warehouses
    // confirmed, the register ready. Item 5: mode 1, confirmed.
    SimulatedOffice office({Key::Enter, Key::Enter, 'T', kLetPass, 'T', kLetPass, kLetPass, Key::Enter, 'T'});
    send_goods_to_register(office.session(), office.menu);
    const std::string sent = office.input_file();
    EXPECT_TRUE(office.h.saw("Kasa gotowa do transmisji ?"));
    EXPECT_TRUE(office.h.saw("Wszystko dobrze"));
    const std::set<std::string> codes = codes_of(sent);
    EXPECT_GT(codes.size(), 150u);
    EXPECT_EQ(office.register_plus(), codes);
    EXPECT_TRUE(FILE_X("durva\\as2000.dbf"));

    delete_register_plus(office.session(), office.menu);
    EXPECT_TRUE(office.h.saw("Kasowanie PLU dla ktorych brak kartotek"));
    EXPECT_TRUE(office.register_plus().empty());
    EXPECT_FALSE(FILE_X("durva\\as2000.dbf"));
    EXPECT_FALSE(FILE_X("durva\\as2000.ntx"));
    EXPECT_EQ(office.session().areas.current(), 1);
}

TEST(RegisterItems, RegisterNotReadySendsNothing) {
    SimulatedOffice office({Key::Enter, Key::Enter, 'T', kLetPass, 'N'});
    send_goods_to_register(office.session(), office.menu);
    EXPECT_TRUE(office.register_plus().empty());
}

TEST(RegisterItems, DeletionOfPlusWithoutGoodsKeepsTheOthers) {
    SimulatedOffice office({Key::Enter, Key::Enter, 'T', kLetPass, 'T', kLetPass, kLetPass, Key::Down, Key::Down, Key::Enter, 'T'});
    send_goods_to_register(office.session(), office.menu);
    const std::set<std::string> sent = office.register_plus();
    ASSERT_FALSE(sent.empty());
    delete_register_plus(office.session(), office.menu);
    EXPECT_EQ(office.register_plus(), sent);  // every PLU has its good

    // Esc in the mode menu leaves the register and the sent-record table alone.
    SimulatedOffice esc({Key::Enter, Key::Enter, 'T', kLetPass, 'T', kLetPass, kLetPass, Key::Esc});
    send_goods_to_register(esc.session(), esc.menu);
    delete_register_plus(esc.session(), esc.menu);
    EXPECT_FALSE(esc.register_plus().empty());
    EXPECT_TRUE(FILE_X("durva\\as2000.dbf"));
}

}  // namespace
}  // namespace durva
