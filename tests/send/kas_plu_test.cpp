#include "send/kas_plu.h"

#include <gtest/gtest.h>

#include <fstream>

#include "send/send_office.h"

namespace durva {
namespace {

using testing::SendOffice;

void write_list(SendOffice& office, const std::vector<std::string>& lines) {
    std::filesystem::create_directories(office.folder.path() / "durva");
    std::ofstream out(office.folder.path() / "durva" / "data_out.txt", std::ios::binary);
    for (const std::string& l : lines) out << l << "\r\n";
}

const std::string kStocked = "P;1;5901234123457;CUKIER BIALY KRYSZ;370;C;03;";  // 105 in stock
const std::string kEmpty = "P;1;5902737902396;BEZ ZAPASU;100;A;01;";              // -76 in stock
const std::string kUnknown = "P;1;9999999999994;NIEZNANY;100;A;01;";               // no such good
const std::string kNoCode = "P;1;;PUSTY;100;A;01;";

TEST(PluDeletion, EachModeChoosesItsLines) {
    struct Case {
        PluDeletion mode;
        std::vector<std::string> expected;
    };
    const std::vector<Case> cases = {
        {PluDeletion::All, {kStocked, kEmpty, kUnknown, kNoCode}},
        {PluDeletion::ZeroStock, {kEmpty, kUnknown}},
        {PluDeletion::WithoutGoods, {kUnknown}},
    };
    for (const Case& c : cases) {
        SendOffice office("kod13");
        // A programming record and a line too long to be the driver's are
        // no list lines: no mode sends them.
        write_list(office, {kStocked, kEmpty, "", "I;1;9999999999994;NIEZNANY;1;A;3;11100;01;00;;", kUnknown,
                            "P;1;9999999999994;" + std::string(800, 'X'), kNoCode});
        EXPECT_TRUE(KAS_PLU(office.session(), office.menu, static_cast<int>(c.mode)));
        EXPECT_EQ(office.records(), c.expected) << static_cast<int>(c.mode);
        EXPECT_TRUE(office.input_file().starts_with("S;I;1; ; ;\r\n"));
        EXPECT_EQ(office.session().areas.current(), 2);
        EXPECT_EQ(office.goods().order(), 1);
    }
}

TEST(PluDeletion, WithoutBarCodesOnlyTheStandsWarehouseCounts) {
    SendOffice office("nokod13");
    office.menu.PS_MAG = "2";
    // 10004 is in warehouse 2; 10003 only in warehouse 1.
    write_list(office, {"P;1;10004;OLEJ;761;C;03;", "P;1;10003;MAKA;251;C;03;"});
    KAS_PLU(office.session(), office.menu, static_cast<int>(PluDeletion::WithoutGoods));
    EXPECT_EQ(office.records(), std::vector<std::string>{"P;1;10003;MAKA;251;C;03;"});

    office.menu.PS_MAG = " ";  // no warehouse of its own: warehouse 1
    KAS_PLU(office.session(), office.menu, static_cast<int>(PluDeletion::WithoutGoods));
    EXPECT_EQ(office.records(), std::vector<std::string>{"P;1;10004;OLEJ;761;C;03;"});
}

TEST(PluDeletion, NoListLeavesTheReadOutRequest) {
    SendOffice office("kod13");
    std::filesystem::create_directories(office.folder.path() / "durva");
    std::ofstream(office.folder.path() / "durva" / "data_in.txt", std::ios::binary) << "S;I;0; ; ;\r\n";
    EXPECT_TRUE(KAS_PLU(office.session(), office.menu, 1));
    EXPECT_EQ(office.input_file(), "S;I;0; ; ;\r\n");
}

}  // namespace
}  // namespace durva
