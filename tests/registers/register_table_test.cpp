#include "registers/register_table.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "common/_fun3.h"
#include "common/dbf/dbf_file.h"
#include "common/locks.h"
#include "support/current_folder.h"
#include "support/fixture_folder.h"
#include "support/headless_session.h"

namespace durva::testing {
namespace {

namespace fs = std::filesystem;

class RegisterTable : public ::testing::Test {
protected:
    test::TempFolder folder;
    test::CurrentFolder here{folder.path()};
    HeadlessSession h;

    dbf::Table& table() { return h.session.areas.table(kRegisterArea); }

    // An older table: the given field list under durva\durva.dbf with rows.
    void make_old_table(std::string_view fields, int rows) {
        fs::create_directory(folder.path() / "durva");
        ASSERT_TRUE(TWORZ(h.session, std::string(kRegisterTable) + "," + std::string(fields), true, 1));
        h.session.areas.select(kRegisterArea);
        ASSERT_TRUE(NET_USE(h.session, kRegisterTable, kRegisterAlias, true, 1));
        for (int i = 1; i <= rows; ++i) {
            table().append_blank();
            table().put("POPIS", "Kasa " + std::to_string(i));
            table().put("PPORT", static_cast<double>(i));
            table().put("PPREDKOSC", 19200.0);
        }
        h.session.areas.close(kRegisterArea);
    }
};

TEST_F(RegisterTable, CreatedWithItsFieldsInOrder) {
    ASSERT_TRUE(prepare_register_table(h.session));
    const auto& f = table().fields();
    const std::vector<std::tuple<std::string, char, int>> want = {
        {"PKASA", 'C', 2},  {"POPIS", 'C', 26},   {"PPREDKOSC", 'N', 5}, {"PPORT", 'N', 2},   {"PSKOK", 'C', 1},
        {"PMASTER", 'C', 2}, {"PSLAVE", 'C', 2},  {"POD", 'C', 13},      {"PDO", 'C', 13},    {"PMAG", 'C', 1},
        {"PIL_PROB", 'N', 1}, {"PPOL_ZN", 'N', 1}, {"PTYP_KASY", 'C', 1}};
    ASSERT_EQ(f.size(), want.size());
    for (std::size_t i = 0; i < want.size(); ++i) {
        EXPECT_EQ(f[i].name, std::get<0>(want[i])) << i;
        EXPECT_EQ(f[i].type, std::get<1>(want[i])) << i;
        EXPECT_EQ(f[i].length, std::get<2>(want[i])) << i;
        EXPECT_EQ(f[i].decimals, 0) << i;
    }
    EXPECT_TRUE(table().exclusive());
    EXPECT_EQ(h.session.areas.current(), kRegisterArea);
}

TEST_F(RegisterTable, NewInstallationGetsSeventeenStands) {
    ASSERT_TRUE(prepare_register_table(h.session));
    dbf::Table& t = table();
    ASSERT_EQ(t.record_count(), 17u);
    EXPECT_EQ(t.recno(), 1u);
    for (std::uint32_t n = 1; n <= 17; ++n) {
        t.go_to(n);
        EXPECT_EQ(t.text("PKASA"), stand_number(n));
        EXPECT_EQ(t.number("PPORT"), 1);
        EXPECT_EQ(t.number("PPREDKOSC"), 9600);
        EXPECT_EQ(t.text("POPIS"), n == 1 ? "Stoisko 1" + std::string(17, ' ') : std::string(26, ' '));
    }
    EXPECT_EQ(stand_number(17), "17");
}

TEST_F(RegisterTable, ShortTableIsFilledAndLongOneKept) {
    for (int rows : {5, 20}) {
        SCOPED_TRACE(rows);
        make_old_table(std::string(kRegisterFields.substr(kRegisterFields.find(',') + 1)), rows);
        ASSERT_TRUE(prepare_register_table(h.session));
        dbf::Table& t = table();
        EXPECT_EQ(t.record_count(), static_cast<std::uint32_t>(std::max(rows, 17)));
        t.go_to(5);
        EXPECT_EQ(t.text("POPIS").substr(0, 6), "Kasa 5");  // the old records keep their values
        EXPECT_EQ(t.number("PPORT"), 5);
        if (rows == 5) {
            t.go_to(6);
            EXPECT_EQ(t.text("PKASA"), "06");
            EXPECT_EQ(t.text("POPIS"), std::string(26, ' '));
            t.go_to(17);
            EXPECT_EQ(t.text("PKASA"), "17");
            EXPECT_EQ(t.number("PPREDKOSC"), 9600);
        }
        h.session.areas.close(kRegisterArea);
    }
}

TEST_F(RegisterTable, OldTableWithoutAFieldIsRebuiltKeepingItsRecords) {
    // Each of the later fields missing in turn.
    const std::vector<std::string> lists = {
        "PKASA,C,2,0,POPIS,C,26,0,PPREDKOSC,N,5,0,PPORT,N,2,0,PIL_PROB,N,1,0,PPOL_ZN,N,1,0,PTYP_KASY,C,1,0",
        "PKASA,C,2,0,POPIS,C,26,0,PPREDKOSC,N,5,0,PPORT,N,2,0,PMAG,C,1,0,PTYP_KASY,C,1,0",
        "POPIS,C,26,0,PPREDKOSC,N,5,0,PPORT,N,2,0,PMAG,C,1,0,PPOL_ZN,N,1,0,PTYP_KASY,C,1,0",
        "PKASA,C,2,0,POPIS,C,26,0,PPREDKOSC,N,5,0,PPORT,N,2,0,PMAG,C,1,0,PPOL_ZN,N,1,0",
    };
    for (const std::string& list : lists) {
        SCOPED_TRACE(list);
        make_old_table(list, 3);
        ASSERT_TRUE(prepare_register_table(h.session));
        dbf::Table& t = table();
        EXPECT_EQ(t.field_count(), 13);
        EXPECT_NE(t.field_pos("PMAG"), 0);
        EXPECT_EQ(t.record_count(), 17u);
        EXPECT_EQ(t.recno(), 1u);
        for (std::uint32_t n = 1; n <= 3; ++n) {
            t.go_to(n);
            EXPECT_EQ(t.text("POPIS").substr(0, 6), "Kasa " + std::to_string(n));
            EXPECT_EQ(t.number("PPORT"), n);
            EXPECT_EQ(t.number("PPREDKOSC"), 19200);
            EXPECT_EQ(t.text("PTYP_KASY"), "S");
        }
        EXPECT_TRUE(FILE_X("rob\\durva.dbf"));  // the copy stays
        h.session.areas.close(kRegisterArea);
    }
}

TEST_F(RegisterTable, HeldByAnotherStationIsAProblemMessage) {
    ASSERT_TRUE(prepare_register_table(h.session));
    HeadlessSession other;
    EXPECT_FALSE(prepare_register_table(other.session));
    EXPECT_EQ(other.clock.now_ms(), 2000);  // a second of retries, a second of message

    // The message looked at while it stands: its second is cut short.
    HeadlessSession third;
    third.terminal.set_idle_limit_ms(1500);
    EXPECT_THROW(prepare_register_table(third.session), platform::ScriptExhausted);
    EXPECT_EQ(third.text(17, 35, 33), "Problem z plikiem durva\\durva.DBF");
}

class CurrentStand : public RegisterTable {
protected:
    void SetUp() override { ASSERT_TRUE(prepare_register_table(h.session)); }
    MenuValues m;
};

TEST_F(CurrentStand, WrittenToTheRecordItIsOn) {
    h.session.areas.select(5);
    table().go_to(3);
    m.NR_KASY = "09";
    m.OPIS = "abcdefghijklmnopqrstuvwxyz12";  // 28 characters
    m.PORT = 7;
    m.PREDKOSC = 4800;
    m.PS_MAG = "K";
    PS_REP(h.session, m);
    EXPECT_EQ(h.session.areas.current(), 5);  // the caller's area stays selected
    table().go_to(1);
    table().go_to(3);
    EXPECT_EQ(table().text("PKASA"), "03");  // the record number, not NR_KASY
    EXPECT_EQ(table().text("POPIS"), "abcdefghijklmnopqrstuvwxyz");
    EXPECT_EQ(table().number("PPORT"), 7);
    EXPECT_EQ(table().number("PPREDKOSC"), 4800);
    EXPECT_EQ(table().text("PMAG"), "K");

    MenuValues back;
    PS_READ(h.session, back);
    EXPECT_EQ(back.NR_KASY, "03");
    EXPECT_EQ(back.OPIS, "abcdefghijklmnopqrstuvwxyz");
    EXPECT_EQ(back.PORT, 7);
    EXPECT_EQ(back.PREDKOSC, 4800);
    EXPECT_EQ(back.PS_MAG, "K");
}

TEST(CurrentStandOldTable, WithoutTheWarehouseFieldReadsABlank) {
    test::TempFolder folder;
    test::CurrentFolder here{folder.path()};
    HeadlessSession h;
    fs::create_directory(folder.path() / "durva");
    ASSERT_TRUE(TWORZ(h.session, "durva\\durva,PKASA,C,2,0,POPIS,C,26,0,PPREDKOSC,N,5,0,PPORT,N,2,0", true, 1));
    h.session.areas.select(kRegisterArea);
    ASSERT_TRUE(NET_USE(h.session, kRegisterTable, kRegisterAlias, true, 1));
    dbf::Table& t = h.session.areas.table();
    t.append_blank();
    MenuValues m;
    m.PS_MAG = "K";
    m.OPIS = "Stoisko";
    PS_REP(h.session, m);  // the missing field is passed over
    m.PS_MAG = "X";
    PS_READ(h.session, m);
    EXPECT_EQ(m.PS_MAG, " ");
    EXPECT_EQ(m.OPIS.substr(0, 7), "Stoisko");
}

TEST_F(RegisterTable, NonsenseNumbersReadWithoutFailing) {
    ASSERT_TRUE(prepare_register_table(h.session));
    h.session.areas.close(kRegisterArea);
    // Garbage bytes in PPREDKOSC and PPORT of record 1 (offsets after PKASA and POPIS).
    const fs::path file = folder.path() / "durva" / "durva.dbf";
    std::fstream io(file, std::ios::in | std::ios::out | std::ios::binary);
    io.seekg(8);
    unsigned char hl[2];
    io.read(reinterpret_cast<char*>(hl), 2);
    const int header = hl[0] | (hl[1] << 8);
    io.seekp(header + 1 + 2 + 26);
    io.write("x\xFF-9a", 5);
    io.write("?\x01", 2);
    io.close();
    h.session.areas.select(kRegisterArea);
    ASSERT_TRUE(NET_USE(h.session, kRegisterTable, kRegisterAlias, true, 1));
    MenuValues m;
    PS_READ(h.session, m);
    EXPECT_EQ(m.PORT, 0);
    EXPECT_EQ(m.PREDKOSC, 0);
}

}  // namespace
}  // namespace durva::testing
