#include "receive/zrob_sd_voka.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "common/screen/keys.h"
#include "receive/sales_backup.h"
#include "receive/sales_tables.h"

namespace durva {
namespace {

using test::read_file;
using test::SalesFolder;
using test::write_sales;
namespace fs = std::filesystem;

int backups() {
    int n = 0;
    for (const auto& e : fs::directory_iterator("durva_sd")) n += e.is_regular_file();
    return n;
}

void leave_a_row(SalesFolder& f) {
    dbf::Table& dd = f.table("dd");
    dd.append_blank();
    dd.put("INDEKS", std::string("STARY"));
    dd.commit();
}

TEST(SalesImportRun, AnEmptyFileEmptiesTheWorkTableAndMakesNoDocument) {
    SalesFolder f("nokod13");
    leave_a_row(f);
    write_sales("durva/data_out.xxx", {});
    const std::uint32_t headers = f.table("dowod").record_count();
    EXPECT_TRUE(ZROB_SD_VOKA(f.s(), f.m, "durva\\data_out.xxx"));
    EXPECT_EQ(f.table("dd").record_count(), 0u);
    EXPECT_EQ(f.table("dowod").record_count(), headers);
    EXPECT_EQ(backups(), 1);
    EXPECT_EQ(read_file("rob/wydruk03.prn"), "");
    EXPECT_FALSE(f.saw(std::string(kSeeListMessage)));
}

TEST(SalesImportRun, ADocumentTypeWithoutCounterChangesNothing) {
    SalesFolder f("nokod13");
    leave_a_row(f);
    std::ofstream("rob/wydruk03.prn") << "POPRZEDNI";
    f.s().values.M_SD = "XX ";
    write_sales("durva/data_out.xxx", {"S;10001;X;100;1000;"});
    EXPECT_FALSE(ZROB_SD_VOKA(f.s(), f.m, "durva\\data_out.xxx"));
    EXPECT_TRUE(f.saw("Brak w parametrach dowodu XX"));
    EXPECT_EQ(f.table("dd").record_count(), 1u);
    EXPECT_EQ(read_file("rob/wydruk03.prn"), "POPRZEDNI");
    EXPECT_EQ(f.table("as").order(), 1);
}

TEST(SalesImportRun, AMissingFileIsNoRun) {
    SalesFolder f("nokod13");
    EXPECT_FALSE(ZROB_SD_VOKA(f.s(), f.m, "durva\\data_out.xxx"));
    EXPECT_EQ(backups(), 0);
}

TEST(SalesImportRun, UnmatchedBrokenAndUnterminatedLinesAreListedNeverBookedAndOpenInTheEditor) {
    // The booking's total, the refused lines' count, the pointer to the editor
    // for its second, the editor's notice of the long line it split, Esc.
    SalesFolder f("nokod13", {' ', ' ', platform::ScriptStep::silence(1000), ' ', screen::Key::Esc});
    const std::string long_line = "S;10001;X;100;1000;" + std::string(800, 'x');
    {
        std::ofstream out("durva/data_out.xxx", std::ios::binary);
        out << "S;99999;NIEZNANY;100;1000;\r\n"      // no such good
            << "S;10001;A;100;1000;\r\n"             // booked
            << "tylko;dwa;\r\n"                       // no sales line: dropped
            << long_line << "\r\n"                    // longer than a record can be
            << "S;10001;B;200;1000;\rS;10001;C;300;1000;\r\n"  // a lone CR: two records run together
            << "S;10001;D;400;1000;";                 // no CR LF at the end
    }
    const std::string screen_before = f.hs.text(10, 0, 80);
    EXPECT_TRUE(ZROB_SD_VOKA(f.s(), f.m, "durva\\data_out.xxx"));
    EXPECT_EQ(f.table("dd").record_count(), 1u);
    EXPECT_TRUE(f.saw(std::string(kSeeListMessage)));
    // The editor showed the list and Esc left it: the screen is back as it was.
    EXPECT_TRUE(f.saw("S;99999;NIEZNANY;100;1000;"));
    EXPECT_TRUE(f.saw("Esc - Wyjscie"));
    EXPECT_FALSE(f.hs.shows("Esc - Wyjscie"));
    EXPECT_EQ(f.hs.text(10, 0, 80), screen_before);
    // Of the long line its start and its length are listed; the editor keeps
    // lines of up to 160 characters, so it saved that in pieces.
    const std::string listed = long_line.substr(0, 749) + " ... (wiersz 819 znakow)";
    std::string pieces;
    for (std::size_t at = 0; at < listed.size(); at += 160) pieces += listed.substr(at, 160) + "\r\n";
    EXPECT_EQ(read_file("rob/wydruk03.prn"), "S;99999;NIEZNANY;100;1000;\r\n" + pieces +
                                                 "S;10001;B;200;1000;\rS;10001;C;300;1000;\r\n" +
                                                 "S;10001;D;400;1000;\r\n");
}

TEST(SalesImportRun, TwoRunsInOneSecondKeepBothCopies) {
    SalesFolder f("nokod13");
    write_sales("durva/data_out.xxx", {"pierwszy"});
    ZROB_SD_VOKA(f.s(), f.m, "durva\\data_out.xxx");
    write_sales("durva/data_out.xxx", {"drugi"});
    ZROB_SD_VOKA(f.s(), f.m, "durva\\data_out.xxx");
    ASSERT_EQ(backups(), 2);
    EXPECT_EQ(read_file("durva_sd/data_out20160315_100000.out"), "pierwszy\r\n");
    EXPECT_EQ(read_file("durva_sd/data_out20160315_100000_2.out"), "drugi\r\n");
}

TEST(SalesImportRun, AFileTheReadOutDidNotWriteIsNotImported) {
    SalesFolder f("nokod13");
    write_sales("durva/data_out.txt", {"S;10001;X;100;1000;"});
    const auto before = file_stamp("durva\\data_out.txt");
    ASSERT_TRUE(before);
    EXPECT_FALSE(ZROB_SD_VOKA(f.s(), f.m, "durva\\data_out.txt", before));
    EXPECT_TRUE(f.saw(std::string(kNoSalesMessage)));
    EXPECT_FALSE(fs::exists("durva_sd"));
    EXPECT_FALSE(ZROB_SD_VOKA(f.s(), f.m, "durva\\data_out.nic", std::nullopt));
}

TEST(SalesImportRun, AFileWrittenByTheReadOutIsImported) {
    SalesFolder f("nokod13", {' '});
    const auto before = file_stamp("durva\\data_out.txt");
    write_sales("durva/data_out.txt", {"S;10001;X;100;1000;"});
    EXPECT_TRUE(ZROB_SD_VOKA(f.s(), f.m, "durva\\data_out.txt", before));
    EXPECT_EQ(f.table("dd").record_count(), 1u);
}

TEST(SalesImportRun, TheProvisionalNumberSkipsNumbersInUse) {
    // The first file's only line is unmatched: the list opens, Esc leaves it.
    SalesFolder f("nokod13", {platform::ScriptStep::silence(1000), screen::Key::Esc});
    dbf::Table& h = f.table("dowod");
    for (const char* n : {"      58", "      59"}) {
        h.append_blank();
        h.put("RD", std::string("SD "));
        h.put("NRD", std::string(n));
        h.unlock();
    }
    write_sales("durva/data_out.xxx", {"S;99999;X;100;1000;"});
    EXPECT_TRUE(ZROB_SD_VOKA(f.s(), f.m, "durva\\data_out.xxx"));
    write_sales("durva/data_out.xxx", {"S;10001;X;100;1000;"});
    f.keys({' '});
    EXPECT_TRUE(ZROB_SD_VOKA(f.s(), f.m, "durva\\data_out.xxx"));
    f.table("dd").go_top();
    EXPECT_EQ(f.table("dd").text("NRD"), "      60");
}

TEST(SalesBackup, NamesFollowTheClockAndNeverRepeat) {
    platform::LocalTime t{2016, 3, 15, 14, 25, 7};
    EXPECT_EQ(backup_name(t), "DURVA_SD\\DATA_OUT20160315_142507.OUT");
    EXPECT_EQ(backup_name(t, 3), "DURVA_SD\\DATA_OUT20160315_142507_3.OUT");
}

}  // namespace
}  // namespace durva
