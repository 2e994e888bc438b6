// Several workstations on one folder, each a real process: sharing modes
// refuse each other, a record lock held elsewhere is waited for, and eight
// stations appending at once leave every record once in the table and in
// each of its indexes.
#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <vector>

#include "common/dbf/table.h"
#include "common/locks.h"
#include "platform/errors.h"
#include "procs/table_changes.h"
#include "support/child_process.h"
#include "support/current_folder.h"
#include "support/fixture_folder.h"
#include "support/headless_session.h"
#include "table_check.h"

namespace durva {
namespace {

using durva::test::ChildProcess;
using durva::test::proc_path;
using platform::Share;

class Workstations : public ::testing::Test {
protected:
    std::unique_ptr<ChildProcess> holder(const std::string& table, const char* mode) {
        auto c = std::make_unique<ChildProcess>(proc_path("dbf_holder"), std::vector<std::string>{table, mode});
        return c;
    }
    durva::test::TempFolder dir_{"kod13"};
};

TEST_F(Workstations, SharingModesRefuseEachOtherAcrossProcesses) {
    const std::string firma = dir_.file("firma.dbf");
    {
        auto other = holder(firma, "exclusive");
        ASSERT_EQ(other->read_line(), "ready");
        EXPECT_THROW(dbf::DbfFile::open(firma, Share::Shared), SharingError);
        EXPECT_THROW(dbf::DbfFile::open(firma, Share::Exclusive), SharingError);
        auto third = holder(firma, "shared");
        EXPECT_EQ(third->read_line(), "refused");
        EXPECT_EQ(third->wait_exit_code(), 3);
        other->write_line("quit");
        EXPECT_EQ(other->wait_exit_code(), 0);
    }
    {
        auto other = holder(firma, "shared");
        ASSERT_EQ(other->read_line(), "ready");
        EXPECT_THROW(dbf::DbfFile::open(firma, Share::Exclusive), SharingError);
        auto ours = dbf::DbfFile::open(firma, Share::Shared);  // shared beside shared is fine
        EXPECT_EQ(ours->record_count(), 1u);
    }
    auto ours = dbf::DbfFile::open(firma, Share::Exclusive);
    auto other = holder(firma, "shared");
    EXPECT_EQ(other->read_line(), "refused");
    auto other_ex = holder(firma, "exclusive");
    EXPECT_EQ(other_ex->read_line(), "refused");
}

TEST_F(Workstations, NetUseGivesUpWhileAnotherProcessHoldsTheTable) {
    durva::test::CurrentFolder here(dir_.path());
    auto other = holder("firma.dbf", "exclusive");
    ASSERT_EQ(other->read_line(), "ready");
    testing::HeadlessSession h;
    EXPECT_FALSE(NET_USE(h.session, "firma", "firma", false, 2));
    EXPECT_EQ(h.clock.now_ms(), 2000);
    other->write_line("quit");
    ASSERT_EQ(other->wait_exit_code(), 0);
    EXPECT_TRUE(NET_USE(h.session, "firma", "firma", false, 2));
}

TEST_F(Workstations, RecLockWaitsForARecordLockedByAnotherProcess) {
    durva::test::CurrentFolder here(dir_.path());
    auto other = holder("16/03/pk.dbf", "shared");
    ASSERT_EQ(other->read_line(), "ready");
    other->write_line("lock 3");
    ASSERT_EQ(other->read_line(), "locked 3");

    testing::HeadlessSession h;
    ASSERT_TRUE(NET_USE(h.session, "16\\03\\pk", "pk", false, 1));
    dbf::Table& pk = h.session.areas.table();
    pk.go_to(3);
    EXPECT_FALSE(REC_LOCK(h.session, 10));
    EXPECT_EQ(h.clock.now_ms(), 10000);
    pk.go_to(4);
    EXPECT_TRUE(REC_LOCK(h.session, 1));  // other records are free
    other->write_line("lock 4");
    EXPECT_EQ(other->read_line(), "busy 4");

    pk.go_to(3);
    other->write_line("unlock 3");
    ASSERT_EQ(other->read_line(), "unlocked 3");
    EXPECT_TRUE(REC_LOCK(h.session, 10));
    other->write_line("lock 4");  // our lock moved from 4 to 3
    EXPECT_EQ(other->read_line(), "locked 4");
    other->write_line("lock 3");
    EXPECT_EQ(other->read_line(), "busy 3");
}

TEST_F(Workstations, AFileLockOfAnotherProcessHoldsOffOurAppendsUntilReleased) {
    durva::test::CurrentFolder here(dir_.path());
    auto other = holder("16/03/pk.dbf", "shared");
    ASSERT_EQ(other->read_line(), "ready");
    other->write_line("lockfile 0");
    ASSERT_EQ(other->read_line(), "filelocked");

    testing::HeadlessSession h;
    ASSERT_TRUE(NET_USE(h.session, "16\\03\\pk", "pk", false, 1));
    dbf::Table& pk = h.session.areas.table();
    const std::uint32_t before = pk.record_count();
    EXPECT_FALSE(ADD_REC(h.session, 2));
    EXPECT_EQ(h.clock.now_ms(), 2000);
    EXPECT_EQ(pk.record_count(), before);  // nothing written, and no lock left behind:
    other->write_line("unlockfile 0");
    ASSERT_EQ(other->read_line(), "fileunlocked");
    other->write_line("lock " + std::to_string(before + 1));
    EXPECT_EQ(other->read_line(), "locked " + std::to_string(before + 1));
    other->write_line("unlock " + std::to_string(before + 1));
    ASSERT_EQ(other->read_line(), "unlocked " + std::to_string(before + 1));
    ASSERT_TRUE(ADD_REC(h.session, 2));
    EXPECT_EQ(pk.recno(), before + 1);
    EXPECT_EQ(pk.record_count(), before + 1);
    other->write_line("lockfile 0");  // our new record's lock stands in the way now
    EXPECT_EQ(other->read_line(), "filebusy");
    pk.unlock();
    other->write_line("lockfile 0");
    EXPECT_EQ(other->read_line(), "filelocked");
}

TEST_F(Workstations, EightStationsAppendingOneByOneAndInBatchesLeaveEveryRecordOnceInTableAndIndexes) {
    const std::string t = dir_.file("t");
    {
        dbf::FieldList fl = {{"KOD", 'C', 10, 0, 0}, {"NAZWA", 'C', 30, 0, 0}, {"ILE", 'N', 8, 0, 0}};
        dbf::DbfFile::create(t + ".dbf", fl)->close();
        dbf::TableSettings s;
        auto table = dbf::Table::open(t, Share::Exclusive, s);
        table->create_index(dir_.file("t1"), "KOD");
        table->create_index(dir_.file("t2"), "UPPER(NAZWA)", false, true);
        table->create_index(dir_.file("t3"), "DESCEND(KOD)+STR(ILE,8)", false, true);
    }
    const int stations = 8, each = 400;
    std::vector<std::unique_ptr<ChildProcess>> children;
    // Every other station appends 25 records at a time under the file lock.
    for (int i = 1; i <= stations; ++i)
        children.push_back(std::make_unique<ChildProcess>(
            proc_path("table_appender"),
            std::vector<std::string>{t, std::to_string(i), std::to_string(each) + (i % 2 == 0 ? "x25" : ""),
                                     dir_.file("t1"), dir_.file("t2"), dir_.file("t3")}));
    for (auto& c : children) EXPECT_EQ(c->read_line(60'000), "done " + std::to_string(each));
    for (auto& c : children) EXPECT_EQ(c->wait_exit_code(), 0);

    dbf::TableSettings visible;
    visible.deleted_hidden = false;
    auto table = dbf::Table::open(t, Share::Exclusive, visible);
    for (const char* ix : {"t1", "t2", "t3"}) table->add_index(dir_.file(ix));
    ASSERT_EQ(table->record_count(), static_cast<std::uint32_t>(stations * each));
    std::set<std::string> kods;
    table->set_order(0);
    for (table->go_top(); !table->eof(); table->skip(1)) {
        EXPECT_TRUE(kods.insert(table->text("KOD")).second) << table->text("KOD");
        EXPECT_EQ(table->number("ILE"), std::stod(table->text("KOD").substr(3)));
    }
    EXPECT_EQ(kods.size(), static_cast<size_t>(stations * each));
    dbf::test::expect_indexes_complete(*table);
}

TEST_F(Workstations, StationsChangingKeysAndDeletingBesideAppendsKeepEveryIndexComplete) {
    const std::string t = dir_.file("t");
    const int stations = 4, per_station = 50, rounds = 3;
    const std::uint32_t records = stations * per_station;
    {
        dbf::FieldList fl = {{"KOD", 'C', 10, 0, 0}, {"NAZWA", 'C', 30, 0, 0}, {"ILE", 'N', 8, 0, 0}};
        dbf::DbfFile::create(t + ".dbf", fl)->close();
        dbf::TableSettings s;
        auto table = dbf::Table::open(t, Share::Exclusive, s);
        for (std::uint32_t r = 1; r <= records; ++r) {
            ASSERT_TRUE(table->append_blank());
            table->put("KOD", test::changed_kod(r, 0));
            table->put("NAZWA", test::changed_nazwa(r, 0));
        }
        table->create_index(dir_.file("t1"), "KOD");
        table->create_index(dir_.file("t2"), "UPPER(NAZWA)", false, true);
        table->create_index(dir_.file("t3"), "DESCEND(KOD)+STR(ILE,8)", false, true);
    }
    const std::vector<std::string> indexes = {dir_.file("t1"), dir_.file("t2"), dir_.file("t3")};
    std::vector<std::unique_ptr<ChildProcess>> changers, appenders;
    for (int i = 1; i <= stations; ++i) {
        std::vector<std::string> args = {t, std::to_string(i), std::to_string(stations), std::to_string(rounds),
                                         std::to_string(records)};
        args.insert(args.end(), indexes.begin(), indexes.end());
        changers.push_back(std::make_unique<ChildProcess>(proc_path("table_changer"), args));
    }
    for (int i = 1; i <= 2; ++i) {
        std::vector<std::string> args = {t, std::to_string(10 + i), "100"};
        args.insert(args.end(), indexes.begin(), indexes.end());
        appenders.push_back(std::make_unique<ChildProcess>(proc_path("table_appender"), args));
    }
    for (auto& c : changers) EXPECT_EQ(c->read_line(60'000), "done " + std::to_string(per_station * rounds));
    for (auto& c : appenders) EXPECT_EQ(c->read_line(60'000), "done 100");

    dbf::TableSettings visible;
    visible.deleted_hidden = false;
    auto table = dbf::Table::open(t, Share::Exclusive, visible);
    for (const std::string& ix : indexes) table->add_index(ix);
    ASSERT_EQ(table->record_count(), records + 200);
    table->set_order(0);
    for (std::uint32_t r = 1; r <= records; ++r) {
        table->go_to(r);
        std::string kod = test::changed_kod(r, rounds);
        kod.resize(10, ' ');
        EXPECT_EQ(table->text("KOD"), kod) << r;
        EXPECT_EQ(table->text("NAZWA").substr(0, test::changed_nazwa(r, rounds).size()),
                  test::changed_nazwa(r, rounds)) << r;
        EXPECT_EQ(table->deleted(), test::changed_deleted(r, rounds)) << r;
    }
    dbf::test::expect_indexes_complete(*table);
}

}  // namespace
}  // namespace durva
