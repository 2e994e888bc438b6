// The Table on small tables made for each test: moves, fields, locks,
// seeks, relations and the whole-table operations.
#include "common/dbf/table.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <iterator>

#include "common/dbf/work_areas.h"
#include "platform/errors.h"
#include "support/dbf_cache_budget.h"
#include "support/fixture_folder.h"
#include "table_check.h"

namespace durva::dbf {
namespace {

using platform::Share;

FieldDesc field(std::string name, char type, int len, int dec = 0) {
    FieldDesc f;
    f.name = std::move(name);
    f.type = type;
    f.length = len;
    f.decimals = dec;
    return f;
}

// A table of one record per code, each record's ILE its number; the records
// listed in `deleted` marked deleted.
void make_table(const std::string& path, const std::vector<std::string>& codes,
                const std::vector<std::uint32_t>& deleted = {}) {
    auto t = DbfFile::create(path, {field("KOD", 'C', 4), field("ILE", 'N', 6, 1), field("DATA", 'D', 8)});
    for (size_t i = 0; i < codes.size(); ++i) {
        std::string rec = t->blank_record();
        rec.replace(1, codes[i].size(), codes[i]);
        std::string n = std::to_string(i + 1) + ".0";
        rec.replace(5 + 6 - n.size(), n.size(), n);
        for (std::uint32_t d : deleted)
            if (d == i + 1) rec[0] = '*';
        t->append_record(rec.data());
    }
    t->close();
}

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<std::uint32_t> walk(Table& t) {
    std::vector<std::uint32_t> out;
    for (t.go_top(); !t.eof(); t.skip(1)) out.push_back(t.recno());
    return out;
}

TEST(TableMoves, RecordOrderWithHiddenDeletedRecords) {
    durva::test::TempFolder dir;
    make_table(dir.file("t.dbf"), {"A", "B", "C", "D", "E"}, {2, 5});
    TableSettings hidden;
    auto t = Table::open(dir.file("t"), Share::Shared, hidden);
    EXPECT_EQ(t->recno(), 1u);  // opening goes to the top
    EXPECT_EQ(walk(*t), (std::vector<std::uint32_t>{1, 3, 4}));
    EXPECT_TRUE(t->eof());
    EXPECT_FALSE(t->bof());
    EXPECT_EQ(t->recno(), 6u);
    EXPECT_EQ(t->text("KOD"), "    ");  // the blank record at the end
    t->skip(1);
    EXPECT_TRUE(t->eof());
    t->skip(-1);
    EXPECT_EQ(t->recno(), 4u);
    t->skip(-2);
    EXPECT_EQ(t->recno(), 1u);
    EXPECT_FALSE(t->bof());
    t->skip(-1);
    EXPECT_TRUE(t->bof());
    EXPECT_EQ(t->recno(), 1u);
    t->skip(1);
    EXPECT_FALSE(t->bof());
    EXPECT_EQ(t->recno(), 3u);
    t->go_bottom();
    EXPECT_EQ(t->recno(), 4u);
    t->go_to(2);  // a record number reaches a deleted record
    EXPECT_EQ(t->recno(), 2u);
    EXPECT_TRUE(t->deleted());
    t->skip(1);
    EXPECT_EQ(t->recno(), 3u);
    t->go_to(99);
    EXPECT_TRUE(t->eof());
    EXPECT_EQ(t->recno(), 6u);
    t->go_top();
    t->skip(2);
    EXPECT_EQ(t->recno(), 4u);

    TableSettings visible;
    visible.deleted_hidden = false;
    auto all = Table::open(dir.file("t.dbf"), Share::Shared, visible);
    EXPECT_EQ(walk(*all), (std::vector<std::uint32_t>{1, 2, 3, 4, 5}));
}

TEST(TableMoves, EmptyAndAllDeletedTablesAreAtBothEnds) {
    durva::test::TempFolder dir;
    make_table(dir.file("empty.dbf"), {});
    make_table(dir.file("gone.dbf"), {"A", "B"}, {1, 2});
    TableSettings hidden;
    for (const char* name : {"empty", "gone"}) {
        auto t = Table::open(dir.file(name), Share::Shared, hidden);
        for (int move = 0; move < 3; ++move) {
            if (move == 0) t->go_top();
            if (move == 1) t->go_bottom();
            if (move == 2) t->skip(-1);
            EXPECT_TRUE(t->eof()) << name << move;
            EXPECT_TRUE(t->bof()) << name << move;
        }
        EXPECT_EQ(t->recno(), t->record_count() + 1);
    }
}

TEST(TableFields, ValuesByNameAndPosition) {
    durva::test::TempFolder dir;
    make_table(dir.file("t.dbf"), {"A", "B"});
    TableSettings s;
    auto t = Table::open(dir.file("t"), Share::Exclusive, s);
    EXPECT_EQ(t->field_count(), 3);
    EXPECT_EQ(t->field_name(2), "ILE");
    EXPECT_EQ(t->field_name(4), "");
    EXPECT_EQ(t->field_pos("data"), 3);
    EXPECT_EQ(t->field_pos("NOPE"), 0);
    t->go_to(2);
    EXPECT_EQ(t->number("ILE"), 2.0);
    EXPECT_EQ(std::get<std::string>(t->get(1)), "B   ");
    EXPECT_TRUE(t->date("DATA").empty());
    t->put("ILE", -3.25);  // one decimal: rounded half away from zero
    t->put(3, Date::from_ymd(2016, 3, 1));
    t->put("kod", std::string("XYZWV"));
    EXPECT_EQ(t->record().substr(1), "XYZW  -3.320160301");
    EXPECT_THROW(t->put("ILE", std::string("x")), DbError);
    EXPECT_THROW(t->put("NOPE", 1.0), DbError);
    EXPECT_THROW(t->number("NOPE"), DbError);
    EXPECT_EQ(t->record().substr(1), "XYZW  -3.320160301");
    t->close();
    auto again = Table::open(dir.file("t"), Share::Shared, s);
    again->go_to(2);
    EXPECT_EQ(again->text("KOD"), "XYZW");
    EXPECT_DOUBLE_EQ(again->number("ILE"), -3.3);
}

// An OFD write lock from another open of the file, as another workstation
// would try it; true when it could be had (and it is let go at once).
bool other_can_lock(const std::string& path, off_t start, off_t len = 1) {
    int fd = ::open(path.c_str(), O_RDWR);
    struct flock fl{};
    fl.l_type = F_WRLCK;
    fl.l_whence = SEEK_SET;
    fl.l_start = start;
    fl.l_len = len;
    bool ok = ::fcntl(fd, F_OFD_SETLK, &fl) == 0;
    ::close(fd);
    return ok;
}

TEST(TableLocks, SharedWritesNeedTheRecordLockAndOneLockPerTable) {
    durva::test::TempFolder dir;
    make_table(dir.file("t.dbf"), {"A", "B", "C"});
    TableSettings s;
    auto t = Table::open(dir.file("t"), Share::Shared, s);
    const std::string path = dir.file("t.dbf");
    t->go_to(2);
    EXPECT_THROW(t->put("KOD", std::string("Q")), DbError);
    ASSERT_TRUE(t->lock_record());
    EXPECT_FALSE(other_can_lock(path, 1'000'000'002));
    t->put("KOD", std::string("Q"));
    ASSERT_TRUE(t->lock_record(3));  // the lock of record 2 goes, its change is written first
    EXPECT_TRUE(other_can_lock(path, 1'000'000'002));
    EXPECT_FALSE(other_can_lock(path, 1'000'000'003));
    EXPECT_EQ(t->locked_record(), 3u);
    t->unlock();
    EXPECT_TRUE(other_can_lock(path, 1'000'000'003));
    auto other = DbfFile::open(path, Share::Shared);
    EXPECT_EQ(other->record_view(2).substr(1, 4), "Q   ");

    // A file lock covers every record; writes need no record lock under it.
    ASSERT_TRUE(t->lock_file());
    EXPECT_FALSE(other_can_lock(path, 1'000'000'001));
    t->go_to(1);
    t->put("KOD", std::string("F"));
    t->unlock();
    EXPECT_TRUE(other_can_lock(path, 1'000'000'001, 1'000'000'000));
    EXPECT_EQ(other->record_view(1).substr(1, 4), "F   ");
}

TEST(TableLocks, TakingTheLockShowsWhatAnotherWorkstationWrote) {
    durva::test::TempFolder dir;
    make_table(dir.file("t.dbf"), {"A", "B"});
    TableSettings s;
    auto t = Table::open(dir.file("t"), Share::Shared, s);
    t->go_to(1);
    EXPECT_EQ(t->text("KOD"), "A   ");
    int fd = ::open(dir.file("t.dbf").c_str(), O_RDWR);
    ASSERT_EQ(::pwrite(fd, "NEW", 3, t->dbf().header_length() + 1), 3);
    ::close(fd);
    ASSERT_TRUE(t->lock_record());
    EXPECT_EQ(t->text("KOD"), "NEW ");
}

TEST(TableLocks, AnIndexMarkedForTheExtendedSchemeMovesTheLocks) {
    durva::test::TempFolder dir("kod13");
    const std::string ntx = dir.file("16/03/slow.ntx");
    {
        std::fstream f(ntx, std::ios::in | std::ios::out | std::ios::binary);
        f.seekp(0);
        f.put('\x16');  // 0x0016: a normal index with the extended lock mark
    }
    TableSettings s;
    auto t = Table::open(dir.file("16/03/slow"), Share::Shared, s);
    t->add_index(ntx);
    t->go_to(2);
    ASSERT_TRUE(t->lock_record());
    const std::string path = dir.file("16/03/slow.dbf");
    EXPECT_FALSE(other_can_lock(path, 4'000'000'002));
    EXPECT_TRUE(other_can_lock(path, 1'000'000'002));
    t->unlock();
    ASSERT_TRUE(t->append_blank());
    EXPECT_FALSE(other_can_lock(path, 4'000'000'004));
    t->unlock();
    ASSERT_TRUE(t->lock_file());
    EXPECT_FALSE(other_can_lock(path, 4'000'000'001));
    EXPECT_TRUE(other_can_lock(path, 1'000'000'001));
}

TEST(TableIndexes, ChangesReachTheIndexOnTheNextMove) {
    durva::test::TempFolder dir;
    make_table(dir.file("t.dbf"), {"D", "B", "A", "C"});
    TableSettings s;
    auto t = Table::open(dir.file("t"), Share::Exclusive, s);
    t->create_index(dir.file("t_kod"), "KOD");
    EXPECT_EQ(t->order(), 1);
    EXPECT_EQ(walk(*t), (std::vector<std::uint32_t>{3, 2, 4, 1}));
    t->go_to(3);
    t->put("KOD", std::string("Z"));
    t->skip(1);  // written, and the skip goes on from the new key
    EXPECT_TRUE(t->eof());
    EXPECT_EQ(walk(*t), (std::vector<std::uint32_t>{2, 4, 1, 3}));
    ASSERT_TRUE(t->append_blank());
    t->put("KOD", std::string("C"));
    t->go_top();
    EXPECT_EQ(walk(*t), (std::vector<std::uint32_t>{2, 4, 5, 1, 3}));
    t->set_order(0);
    EXPECT_EQ(walk(*t), (std::vector<std::uint32_t>{1, 2, 3, 4, 5}));
    EXPECT_FALSE(t->set_order(2));
    TableSettings visible;
    visible.deleted_hidden = false;
    t->close();
    auto again = Table::open(dir.file("t"), Share::Exclusive, visible);
    again->add_index(dir.file("t_kod.ntx"));
    test::expect_indexes_complete(*again);
}

TEST(TableIndexes, SharedRecordsLeftAsTheyWereStillReachEveryIndex) {
    durva::test::TempFolder dir;
    make_table(dir.file("t.dbf"), {"D", "B"});
    TableSettings s;
    {
        auto t = Table::open(dir.file("t"), Share::Exclusive, s);
        t->create_index(dir.file("t_kod"), "KOD");
        t->create_index(dir.file("t_ile"), "STR(ILE,6,1)+KOD", false, true);
    }
    auto t = Table::open(dir.file("t"), Share::Shared, s);
    t->add_index(dir.file("t_kod"));
    t->add_index(dir.file("t_ile"));
    // Appended and left blank: the record the append wrote stays, and its
    // keys go into both indexes all the same.
    ASSERT_TRUE(t->append_blank());
    t->put("KOD", std::string("    "));
    t->unlock();
    // Changed and changed back: nothing to write, nothing to move.
    t->go_to(1);
    ASSERT_TRUE(t->lock_record());
    t->put("KOD", std::string("X"));
    t->put("KOD", std::string("D"));
    t->unlock();
    // Changed: written, and moved in both indexes.
    t->go_to(2);
    ASSERT_TRUE(t->lock_record());
    t->put("ILE", 0.5);
    t->unlock();
    auto other = DbfFile::open(dir.file("t.dbf"), Share::Shared);
    ASSERT_EQ(other->record_count(), 3u);
    EXPECT_EQ(other->record_view(1).substr(1, 10), "D      1.0");
    EXPECT_EQ(other->record_view(2).substr(1, 10), "B      0.5");
    EXPECT_EQ(other->record_view(3), t->dbf().blank_record());
    t->set_order(2);
    EXPECT_EQ(walk(*t), (std::vector<std::uint32_t>{3, 2, 1}));
    TableSettings visible;
    visible.deleted_hidden = false;
    t->close();
    auto again = Table::open(dir.file("t"), Share::Shared, visible);
    again->add_index(dir.file("t_kod"));
    again->add_index(dir.file("t_ile"));
    test::expect_indexes_complete(*again);
}

TEST(TableIndexes, CommitPutsAnExclusiveTablesIndexPagesOnDisk) {
    durva::test::TempFolder dir;
    make_table(dir.file("t.dbf"), {"A", "B"});
    TableSettings s;
    auto t = Table::open(dir.file("t"), Share::Exclusive, s);
    t->create_index(dir.file("t_kod"), "KOD");
    auto on_disk = [&](const char* file) {
        std::ifstream in(dir.file(file), std::ios::binary);
        std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        return bytes.find("QQQQ") != std::string::npos;
    };
    ASSERT_TRUE(t->append_blank());
    t->put("KOD", std::string("QQQQ"));
    t->commit();
    EXPECT_TRUE(on_disk("t.dbf"));
    EXPECT_TRUE(on_disk("t_kod.ntx"));
}

TEST(TableIndexes, SoftAndExactSeeks) {
    durva::test::TempFolder dir;
    make_table(dir.file("t.dbf"), {"AA", "AC", "AE", "AG"}, {3});
    TableSettings s;  // soft seek, deleted hidden
    auto t = Table::open(dir.file("t"), Share::Exclusive, s);
    EXPECT_THROW(t->seek("AA"), DbError);  // no index
    t->create_index(dir.file("t_kod"), "KOD");
    EXPECT_TRUE(t->seek("AC"));
    EXPECT_TRUE(t->found());
    EXPECT_EQ(t->recno(), 2u);
    t->skip(1);
    EXPECT_FALSE(t->found());
    EXPECT_FALSE(t->seek("AB"));  // soft: on the next greater key
    EXPECT_FALSE(t->eof());
    EXPECT_EQ(t->recno(), 2u);
    EXPECT_FALSE(t->seek("AE"));  // deleted and hidden: on to AG
    EXPECT_EQ(t->recno(), 4u);
    EXPECT_FALSE(t->seek("AD", false));
    EXPECT_TRUE(t->eof());
    EXPECT_FALSE(t->seek("ZZ"));
    EXPECT_TRUE(t->eof());
    EXPECT_TRUE(t->seek("A"));  // a shorter key matches over its length
    EXPECT_EQ(t->recno(), 1u);
    EXPECT_TRUE(t->seek("AG  xxxxxx"));  // cut to the key size
    EXPECT_EQ(t->recno(), 4u);
}

// An exact seek that finds no equal key reads no record: looking up codes a
// large table does not hold leaves its cached records as they were.
TEST(TableIndexes, AnExactSeekWithoutAnEqualKeyReadsNoRecord) {
    durva::test::TempFolder dir;
    std::vector<std::string> codes;
    for (int i = 0; i < 3000; ++i) codes.push_back(std::to_string(1000 + i * 2));  // even codes only
    make_table(dir.file("t.dbf"), codes);
    TableSettings s;
    auto t = Table::open(dir.file("t"), Share::Exclusive, s);
    t->create_index(dir.file("t_kod"), "KOD");
    const size_t cached = t->dbf().cached_blocks();
    for (int i = 0; i < 3000; i += 7) {
        EXPECT_FALSE(t->seek(std::to_string(1001 + i * 2), false));
        EXPECT_TRUE(t->eof());
    }
    EXPECT_EQ(t->dbf().cached_blocks(), cached);
    EXPECT_TRUE(t->seek("6998", false));
    EXPECT_EQ(t->recno(), 3000u);
}

// A table larger than its cache (room for two blocks of records, so that a
// record met out of order is read alone and changed in the file at once): a
// walk in index order that reads, changes and deletes records as it goes
// sees each change at once, hides what it deleted from the next walk, and
// leaves every change in the file.
TEST(TableIndexes, AWalkPastTheCacheSeesItsOwnChanges) {
    const durva::test::DbfCacheBudget tiny(1);
    durva::test::TempFolder dir;
    const std::uint32_t n = 3000;
    std::vector<std::string> codes;
    std::vector<std::uint32_t> deleted;
    for (std::uint32_t r = 1; r <= n; ++r) {
        codes.push_back(std::to_string(r * 7919 % 10000));  // every code once, scattered over the table
        if (r % 10 == 0) deleted.push_back(r);
    }
    make_table(dir.file("t.dbf"), codes, deleted);
    // Visible records in key order (codes padded as the key is).
    auto in_key_order = [&](auto keep) {
        std::vector<std::pair<std::string, std::uint32_t>> keyed;
        for (std::uint32_t r = 1; r <= n; ++r)
            if (keep(r)) keyed.push_back({(codes[r - 1] + "    ").substr(0, 4), r});
        std::sort(keyed.begin(), keyed.end());
        std::vector<std::uint32_t> out;
        for (const auto& k : keyed) out.push_back(k.second);
        return out;
    };
    TableSettings s;
    auto t = Table::open(dir.file("t"), Share::Exclusive, s);
    t->create_index(dir.file("t_kod"), "KOD");
    std::vector<std::uint32_t> seen;
    for (t->go_top(); !t->eof(); t->skip(1)) {
        const std::uint32_t r = t->recno();
        seen.push_back(r);
        ASSERT_EQ(t->number("ILE"), r) << r;
        if (r % 3 == 0) {
            t->put("ILE", r + 0.5);
            EXPECT_EQ(t->number("ILE"), r + 0.5);
        }
        if (r % 7 == 0) t->delete_record();
    }
    EXPECT_EQ(seen, in_key_order([](std::uint32_t r) { return r % 10 != 0; }));
    auto now_visible = [](std::uint32_t r) { return r % 10 != 0 && r % 7 != 0; };
    auto ile = [](std::uint32_t r) { return r % 3 == 0 && r % 10 != 0 ? r + 0.5 : double(r); };
    seen.clear();
    for (t->go_top(); !t->eof(); t->skip(1)) {
        seen.push_back(t->recno());
        ASSERT_EQ(t->number("ILE"), ile(t->recno())) << t->recno();
    }
    EXPECT_EQ(seen, in_key_order(now_visible));
    t->close();
    auto back = DbfFile::open(dir.file("t.dbf"), Share::Shared);
    for (std::uint32_t r = 1; r <= n; ++r) {
        std::string_view rec = back->record_view(r);
        ASSERT_EQ(DbfFile::is_deleted(rec), !now_visible(r)) << r;
        EXPECT_EQ(decode_number(field_bytes(rec, back->fields()[1])), ile(r)) << r;
    }
}

// A copy in index order of a table larger than its cache (made in passes
// over whole files) is byte for byte the copy made record by record, with
// deleted records hidden or not, all fields or some; records changed,
// deleted and appended just before are copied as changed; the table ends at
// its end as after any copy.
TEST(TableIndexes, ACopyInKeyOrderPastTheCacheIsTheRecordByRecordCopy) {
    const durva::test::DbfCacheBudget tiny(1);
    durva::test::TempFolder dir;
    const std::uint32_t n = 20000;  // some 4 MB: several stretches, each dealt in several runs
    {
        auto t = DbfFile::create(dir.file("t.dbf"), {field("KOD", 'C', 6), field("OPIS", 'C', 200), field("ILE", 'N', 8)});
        std::string rec = t->blank_record();
        for (std::uint32_t r = 1; r <= n; ++r) {
            encode_text(t->fields()[0], std::to_string(r * 7919 % 100000), rec.data());
            encode_text(t->fields()[1], "opis " + std::to_string(r), rec.data());
            encode_number(t->fields()[2], r, rec.data());
            rec[0] = r % 11 == 0 ? '*' : ' ';
            t->append_record(rec.data());
        }
        t->close();
    }
    for (bool hidden : {true, false}) {
        for (const std::vector<std::string>& fields : {std::vector<std::string>{}, std::vector<std::string>{"ILE", "KOD"}}) {
            SCOPED_TRACE(std::string(hidden ? "deleted hidden" : "deleted shown") + ", fields " +
                         std::to_string(fields.size()));
            TableSettings s;
            s.deleted_hidden = hidden;
            auto t = Table::open(dir.file("t"), Share::Exclusive, s);
            t->create_index(dir.file("t_kod"), "KOD");
            for (std::uint32_t r : {5u, 777u, 15000u}) {
                t->go_to(r);
                t->put("OPIS", std::string("zmieniony"));
            }
            t->go_to(9000);
            t->delete_record();
            ASSERT_TRUE(t->append_blank());
            t->put("KOD", std::string("00001"));
            t->go_top();
            const std::uint32_t one_by_one = t->copy_to(dir.file("a"), [](Table&) { return true; }, fields);
            const std::uint32_t in_passes = t->copy_to(dir.file("b"), {}, fields);
            EXPECT_EQ(in_passes, one_by_one);
            EXPECT_GT(in_passes, n / 2);
            EXPECT_TRUE(t->eof());
            EXPECT_EQ(t->recno(), t->record_count() + 1);
            EXPECT_TRUE(slurp(dir.file("a.dbf")) == slurp(dir.file("b.dbf")));
            t->close();
        }
    }
}

class TableRelations : public ::testing::Test {
protected:
    void SetUp() override {
        make_table(dir_.file("parent.dbf"), {"B", "X", "A", "B"});
        make_table(dir_.file("child.dbf"), {"A", "B", "C", "B"}, {2});
        parent_ = Table::open(dir_.file("parent"), Share::Exclusive, s_);
        child_ = Table::open(dir_.file("child"), Share::Exclusive, s_);
        child_->create_index(dir_.file("child_kod"), "KOD");
        parent_->set_relation(*child_, "KOD");
    }
    std::uint32_t child_at() { return child_->eof() ? 0 : child_->recno(); }

    durva::test::TempFolder dir_;
    TableSettings s_;
    std::unique_ptr<Table> parent_, child_;
};

TEST_F(TableRelations, EveryMoveOfTheParentRepositionsTheChild) {
    EXPECT_EQ(child_at(), 4u);  // set at once; record 2 (also B) is deleted and hidden
    parent_->go_to(3);
    EXPECT_EQ(child_at(), 1u);
    parent_->skip(-1);
    EXPECT_EQ(parent_->recno(), 2u);
    EXPECT_EQ(child_at(), 0u);  // no X: the child at its end, no soft seek
    parent_->go_bottom();
    EXPECT_EQ(child_at(), 4u);
    parent_->go_top();
    EXPECT_EQ(child_at(), 4u);
    parent_->skip(2);
    EXPECT_EQ(child_at(), 1u);
    parent_->create_index(dir_.file("parent_kod"), "KOD");  // goes to the top: A
    EXPECT_EQ(child_at(), 1u);
    parent_->seek("X");
    EXPECT_EQ(child_at(), 0u);
    parent_->seek("B");
    EXPECT_EQ(child_at(), 4u);
    parent_->skip(10);
    EXPECT_TRUE(parent_->eof());
    EXPECT_TRUE(child_->eof());
}

TEST_F(TableRelations, AppendingToTheParentLeavesTheChildWhereItWas) {
    parent_->go_to(3);
    ASSERT_EQ(child_at(), 1u);
    ASSERT_TRUE(parent_->append_blank());
    parent_->put("KOD", std::string("C"));
    EXPECT_EQ(child_at(), 1u);
    parent_->skip(0);
    EXPECT_EQ(child_at(), 3u);
    parent_->clear_relations();
    parent_->go_to(1);
    EXPECT_EQ(child_at(), 3u);
}

TEST(TableBulk, CopyToTakesVisibleRecordsMeetingTheConditionInOrder) {
    durva::test::TempFolder dir;
    make_table(dir.file("t.dbf"), {"D", "B", "A", "C", "E"}, {4});
    TableSettings s;
    auto t = Table::open(dir.file("t"), Share::Shared, s);
    t->create_index(dir.file("t_kod"), "KOD");
    std::uint32_t n = t->copy_to(dir.file("copy"), [](Table& x) { return x.text("KOD") != "E   "; });
    EXPECT_EQ(n, 3u);
    EXPECT_TRUE(t->eof());
    auto c = Table::open(dir.file("copy.dbf"), Share::Shared, s);
    EXPECT_EQ(c->fields().size(), 3u);
    std::string kods;
    for (c->go_top(); !c->eof(); c->skip(1)) kods += c->text("KOD").substr(0, 1);
    EXPECT_EQ(kods, "ABD");
    c->go_to(3);
    EXPECT_EQ(c->number("ILE"), 1.0);

    EXPECT_EQ(t->copy_to(dir.file("some"), {}, {"ile"}), 4u);
    auto some = DbfFile::open(dir.file("some.dbf"), Share::Shared);
    ASSERT_EQ(some->fields().size(), 1u);
    EXPECT_EQ(some->record_length(), 7);
    EXPECT_EQ(some->record_view(1), "    3.0");
    EXPECT_THROW(t->copy_to(dir.file("bad"), {}, {"NOPE"}), DbError);
}

TEST(TableBulk, AppendFromMatchesFieldsByName) {
    durva::test::TempFolder dir;
    make_table(dir.file("src.dbf"), {"AAAA", "BB", "CC"}, {2});
    DbfFile::create(dir.file("dst.dbf"), {field("ILE", 'N', 4), field("KOD", 'C', 2), field("INNE", 'C', 3)})->close();
    TableSettings s;
    auto dst = Table::open(dir.file("dst"), Share::Shared, s);
    dst->create_index(dir.file("dst_kod"), "KOD+STR(ILE,4)");
    EXPECT_EQ(dst->append_from(dir.file("src")), 2u);
    EXPECT_EQ(dst->locked_record(), 0u);
    std::vector<std::string> rows;
    for (dst->go_top(); !dst->eof(); dst->skip(1)) rows.push_back(std::string(dst->record()));
    EXPECT_EQ(rows, (std::vector<std::string>{"    1AA   ", "    3CC   "}));
    TableSettings visible;
    visible.deleted_hidden = false;
    auto all = Table::open(dir.file("src"), Share::Shared, visible, true);
    EXPECT_EQ(dst->append_from(*all, [](Table& x) { return x.recno() == 2; }), 1u);
    dst->close();
    auto check = Table::open(dir.file("dst"), Share::Exclusive, visible);
    check->add_index(dir.file("dst_kod"));
    test::expect_indexes_complete(*check);
    check->go_to(3);
    EXPECT_TRUE(check->deleted());  // the flag comes along
}

TEST(TableBulk, ZapEmptiesTableAndIndexesAndEvalVisitsEveryRecord) {
    durva::test::TempFolder dir;
    make_table(dir.file("t.dbf"), {"C", "A", "B"});
    TableSettings s;
    {
        auto shared = Table::open(dir.file("t"), Share::Shared, s);
        EXPECT_THROW(shared->zap(), DbError);
        EXPECT_EQ(shared->record_count(), 3u);
    }
    auto t = Table::open(dir.file("t"), Share::Exclusive, s);
    t->create_index(dir.file("t_kod"), "KOD");
    std::string seen;
    EXPECT_EQ(t->eval([&](Table& x) { seen += x.text("KOD").substr(0, 1); x.put("ILE", 7.0); }), 3u);
    EXPECT_EQ(seen, "ABC");
    t->go_to(1);
    EXPECT_EQ(t->number("ILE"), 7.0);
    t->zap();
    EXPECT_EQ(t->record_count(), 0u);
    EXPECT_EQ(t->index(1).key_count(), 0u);
    EXPECT_TRUE(t->eof());
    ASSERT_TRUE(t->append_blank());
    t->put("KOD", std::string("Q"));
    t->close();
    auto again = Table::open(dir.file("t"), Share::Exclusive, s);
    again->add_index(dir.file("t_kod"));
    EXPECT_EQ(again->record_count(), 1u);
    test::expect_indexes_complete(*again);
}

TEST(WorkAreasTest, AreasAliasesAndTheCurrentArea) {
    durva::test::TempFolder dir;
    make_table(dir.file("a.dbf"), {"A"});
    make_table(dir.file("b.dbf"), {"B"});
    WorkAreas areas;
    EXPECT_EQ(areas.current(), 1);
    EXPECT_FALSE(areas.used());
    areas.select(5);
    areas.use(dir.file("a"), "first");
    EXPECT_EQ(areas.table().alias(), "first");
    areas.select(9);
    areas.use(dir.file("b"));
    EXPECT_EQ(areas.table().alias(), "B");
    EXPECT_EQ(areas.area_of("FIRST"), 5);
    EXPECT_TRUE(areas.select("b"));
    EXPECT_EQ(areas.current(), 9);
    EXPECT_FALSE(areas.select("nope"));
    EXPECT_EQ(areas.current(), 9);
    EXPECT_THROW(areas.use(dir.file("b"), "First"), DbError);  // alias held by area 5
    EXPECT_FALSE(areas.used(9));  // the area was closed before the opening was tried
    EXPECT_EQ(areas.first_free(5, 9), 6);
    areas.select(0);
    EXPECT_EQ(areas.current(), 1);
    EXPECT_THROW(areas.select(251), DbError);
    areas.select(5);
    areas.use(dir.file("b"), "second");  // closes "first" in area 5
    EXPECT_EQ(areas.area_of("first"), 0);
    EXPECT_EQ(areas.table(5).text("KOD"), "B   ");
    EXPECT_THROW(areas.table(7), DbError);
    areas.close_all();
    EXPECT_FALSE(areas.used(5));
}

TEST(WorkAreasTest, AReadOnlyAreaBesideAReadWriteOneWritesNothing) {
    durva::test::TempFolder dir;
    make_table(dir.file("t.dbf"), {"A", "B", "C"});
    {
        TableSettings s;
        Table::open(dir.file("t"), Share::Exclusive, s)->create_index(dir.file("t_kod"), "KOD");
    }
    const std::string before = slurp(dir.file("t.dbf"));
    const std::string index_before = slurp(dir.file("t_kod.ntx"));
    WorkAreas areas;
    areas.select(1);
    Table& rw = areas.use(dir.file("t"), "rw", Share::Shared);
    rw.add_index(dir.file("t_kod"));
    areas.select(2);
    Table& ro = areas.use(dir.file("t"), "ro", Share::Shared, true);
    ro.add_index(dir.file("t_kod"));
    EXPECT_TRUE(ro.dbf().read_only());
    EXPECT_FALSE(rw.dbf().read_only());
    ro.go_to(2);
    ASSERT_TRUE(ro.lock_record());
    EXPECT_THROW(ro.put("KOD", std::string("Z")), DbError);
    EXPECT_THROW(ro.delete_record(), DbError);
    EXPECT_THROW(ro.append_blank(), DbError);
    ro.unlock();
    EXPECT_EQ(slurp(dir.file("t.dbf")), before);
    EXPECT_EQ(slurp(dir.file("t_kod.ntx")), index_before);

    // What the read-write area writes, the read-only one reads.
    rw.go_to(2);
    ASSERT_TRUE(rw.lock_record());
    rw.put("KOD", std::string("Z"));
    rw.unlock();
    ro.go_top();
    EXPECT_EQ(ro.text("KOD"), "A   ");
    ro.go_bottom();
    EXPECT_EQ(ro.text("KOD"), "Z   ");
    EXPECT_EQ(ro.recno(), 2u);
    areas.close(1);
    EXPECT_TRUE(ro.seek("Z"));
    EXPECT_THROW(ro.put("KOD", std::string("Y")), DbError);
}

TEST(WorkAreasTest, ClosingAChildDropsTheRelationsToIt) {
    durva::test::TempFolder dir;
    make_table(dir.file("p.dbf"), {"A", "B"});
    make_table(dir.file("c.dbf"), {"A", "B"});
    WorkAreas areas;
    areas.settings.exclusive = true;
    areas.select(1);
    Table& p = areas.use(dir.file("p"));
    areas.select(2);
    Table& c = areas.use(dir.file("c"));
    c.create_index(dir.file("c_kod"), "KOD");
    p.set_relation(c, "KOD");
    p.go_to(2);
    EXPECT_EQ(c.recno(), 2u);
    areas.close(2);
    p.go_to(1);  // no child to move any more
    EXPECT_EQ(p.recno(), 1u);
    EXPECT_TRUE(p.exclusive());
}

}  // namespace
}  // namespace durva::dbf
