#include "common/dbf/dbf_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <random>

#include "common/dbf/field_codec.h"
#include "platform/errors.h"
#include "support/dbf_cache_budget.h"
#include "support/fixture_folder.h"

namespace durva::dbf {
namespace {

using platform::Share;

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void spit(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string text_of(DbfFile& t, std::uint32_t recno, std::string_view field) {
    const FieldDesc& f = t.fields()[static_cast<size_t>(t.field_index(field))];
    return std::string(field_bytes(t.record_view(recno), f));
}

FieldDesc field(std::string name, char type, int len, int dec = 0) {
    FieldDesc f;
    f.name = std::move(name);
    f.type = type;
    f.length = len;
    f.decimals = dec;
    return f;
}

TEST(FieldCodec, ValuesAreWrittenAsTheOtherProgramsWriteThem) {
    FieldDesc c = field("NAZWA", 'C', 5);
    FieldDesc n = field("KWOTA", 'N', 8, 2);
    FieldDesc d = field("DATA", 'D', 8);
    FieldDesc l = field("OK", 'L', 1);
    c.offset = 1;
    n.offset = 6;
    d.offset = 14;
    l.offset = 22;
    std::string rec(23, ' ');
    encode_field(c, std::string("abcdefg"), rec.data());
    encode_field(n, -186.25, rec.data());
    encode_field(d, Date::from_ymd(2024, 2, 29), rec.data());
    encode_field(l, true, rec.data());
    EXPECT_EQ(rec, " abcde -186.2520240229T");
    encode_field(c, std::string("x"), rec.data());
    encode_field(n, 100000.0, rec.data());
    encode_field(d, Date{}, rec.data());
    encode_field(l, false, rec.data());
    EXPECT_EQ(rec, " x    ********        F");

    // Reading is lenient: asterisks and blanks are 0, an impossible date is empty,
    // only T/t/Y/y are true.
    EXPECT_EQ(std::get<double>(decode_field(n, rec)), 0.0);
    EXPECT_TRUE(std::get<Date>(decode_field(d, " x    ********20230229F")).empty());
    EXPECT_TRUE(std::get<bool>(decode_field(l, std::string(22, ' ') + "y")));
    EXPECT_FALSE(std::get<bool>(decode_field(l, std::string(22, ' ') + "?")));
    EXPECT_EQ(std::get<std::string>(decode_field(c, rec)), "x    ");

    // A value of the wrong kind is refused and nothing is written.
    std::string before = rec;
    EXPECT_THROW(encode_field(n, std::string("12"), rec.data()), DbError);
    EXPECT_THROW(encode_field(c, 12.0, rec.data()), DbError);
    EXPECT_EQ(rec, before);
}

TEST(DbfFileFixtures, SmallTablesReadRight) {
    test::TempFolder dir("kod13");
    auto firma = DbfFile::open(dir.file("firma.dbf"), Share::Shared);
    ASSERT_EQ(firma->record_count(), 1u);
    EXPECT_EQ(text_of(*firma, 1, "bmr"), "03/16");
    // PRZEDSIĘBIORSTWO HANDLOWE ŁĄCZKA in the office code page, blank-padded to 40.
    std::string nodb = "PRZEDSI\x90" "BIORSTWO HANDLOWE \x9C\x8F" "CZKA";
    EXPECT_EQ(text_of(*firma, 1, "NODB"), nodb + std::string(40 - nodb.size(), ' '));

    auto slow = DbfFile::open(dir.file("16/03/slow.dbf"), Share::Exclusive);
    ASSERT_EQ(slow->fields().size(), 3u);
    EXPECT_EQ(slow->header_length(), 32 + 32 * 3 + 2);
    EXPECT_EQ(slow->record_length(), 32);
    ASSERT_EQ(slow->record_count(), 3u);
    const FieldDesc& nrd = slow->fields()[1];
    EXPECT_EQ(nrd.type, 'N');
    EXPECT_EQ(nrd.offset, 4);
    EXPECT_EQ(std::get<double>(decode_field(nrd, slow->record_view(1))), 57);
    EXPECT_EQ(std::get<double>(decode_field(nrd, slow->record_view(2))), 3);
    EXPECT_EQ(text_of(*slow, 3, "RD"), "FV ");
    EXPECT_TRUE(slow->record_view(4).empty());
    EXPECT_TRUE(slow->record_view(0).empty());

    auto pk = DbfFile::open(dir.file("16/03/pk.dbf"), Share::Shared);
    ASSERT_EQ(pk->record_count(), 8u);
    const char* konta[] = {"202-00002", "131", "330", "100", "202-00001", "222", "201-00001", "221"};
    for (std::uint32_t r = 1; r <= 8; ++r) {
        std::string k = konta[r - 1];
        EXPECT_EQ(text_of(*pk, r, "KONTO"), k + std::string(10 - k.size(), ' ')) << r;
    }
    EXPECT_EQ(pk->field_index("kwota"), 2);
    EXPECT_EQ(pk->field_index("NOPE"), -1);
}

TEST(DbfFileFixtures, BothEndOfFileFormsGiveTheSameCount) {
    test::TempFolder dir("kod13");
    // as.dbf ends right after its last record, dow.dbf with the 1A byte.
    std::string as = slurp(dir.file("16/03/as.dbf"));
    ASSERT_NE(as.back(), '\x1A');
    std::string dow = slurp(dir.file("16/03/dow.dbf"));
    ASSERT_EQ(dow.back(), '\x1A');

    auto goods = DbfFile::open(dir.file("16\\03\\AS.DBF"), Share::Shared);
    EXPECT_EQ(goods->fields().size(), 22u);
    EXPECT_EQ(goods->record_length(), 248);
    EXPECT_EQ(goods->record_count(), 300u);
    EXPECT_EQ(goods->header_count(), 300u);
    EXPECT_TRUE(DbfFile::is_deleted(goods->record_view(12)));
    EXPECT_FALSE(DbfFile::is_deleted(goods->record_view(11)));
    EXPECT_EQ(text_of(*goods, 300, "MAG").size(), 1u);

    auto rows = DbfFile::open(dir.file("16/03/dow.dbf"), Share::Shared);
    EXPECT_EQ(rows->record_count(), 12u);
    EXPECT_EQ(text_of(*rows, 5, "NRD"), "       2");

    auto keys = DbfFile::open(std::string(DURVA_FIXTURES) + "/extra/keys.dbf", Share::Shared, true);
    EXPECT_EQ(keys->record_count(), 400u);
}

TEST(DbfFileCreate, HeaderAndEndOfFileAsTheOtherProgramsWriteThem) {
    test::TempFolder dir;
    platform::TestClock clock({2026, 12, 7, 9, 0, 0});
    FieldList fl = {field("name", 'C', 10), field("AMT", 'N', 8, 2), field("DAT", 'D', 8),
                    field("OK", 'L', 1), field("LONGC", 'C', 300)};
    auto t = DbfFile::create(dir.file("new.dbf"), fl, &clock);
    t->close();
    std::string b = slurp(dir.file("new.dbf"));
    ASSERT_EQ(b.size(), 195u);
    EXPECT_EQ(b.substr(0, 12), std::string("\x03\x7E\x0C\x07\0\0\0\0\xC2\0\x48\x01", 12));
    EXPECT_EQ(b.substr(32, 12), std::string("NAME\0\0\0\0\0\0\0C", 12));
    EXPECT_EQ(b.substr(48, 2), std::string("\x0A\0", 2));
    EXPECT_EQ(b.substr(64 + 16, 2), std::string("\x08\x02", 2));
    EXPECT_EQ(b.substr(160 + 16, 2), std::string("\x2C\x01", 2));
    EXPECT_EQ(b.substr(192), std::string("\x0D\0\x1A", 3));

    auto again = DbfFile::open(dir.file("new.dbf"), Share::Shared);
    EXPECT_EQ(again->fields()[4].length, 300);
    EXPECT_EQ(again->fields()[4].offset, 28);
    EXPECT_EQ(again->record_count(), 0u);
    EXPECT_EQ(again->header_date(), Date::from_ymd(2026, 12, 7));
}

TEST(DbfFileCreate, BadFieldListsTouchNoFile) {
    test::TempFolder dir;
    spit(dir.file("old.dbf"), "keep me");
    auto refused = [&](FieldList fl) {
        EXPECT_THROW(DbfFile::create(dir.file("old.dbf"), fl), DbError);
        EXPECT_EQ(slurp(dir.file("old.dbf")), "keep me");
    };
    refused({});
    refused({field("", 'C', 3)});
    refused({field("TOOLONGNAME", 'C', 3)});
    refused({field("A", 'C', 0)});
    refused({field("A", 'X', 3)});
    refused({field("A", 'N', 5, 5)});
    refused({field("A", 'D', 10)});
    refused({field("A", 'C', 3), field("a", 'C', 3)});
    refused({field("A-B", 'C', 3)});
}

TEST(DbfFileWrite, ExclusiveAppendsEndWithTheEofByteAtClose) {
    test::TempFolder dir;
    platform::TestClock clock({2016, 3, 15, 9, 0, 0});
    auto t = DbfFile::create(dir.file("t.dbf"), {field("KOD", 'C', 4), field("ILE", 'N', 5)}, &clock);
    std::string rec = t->blank_record();
    for (int i = 1; i <= 1000; ++i) {
        encode_text(t->fields()[0], "K" + std::to_string(i), rec.data());
        encode_number(t->fields()[1], i, rec.data());
        EXPECT_EQ(t->append_record(rec.data()), static_cast<std::uint32_t>(i));
    }
    // Rewrite one record, read it back from the cache.
    encode_number(t->fields()[1], -7, rec.data());
    t->write_record(500, rec.data());
    EXPECT_EQ(std::string(t->record_view(500)), rec);
    t->close();

    std::string b = slurp(dir.file("t.dbf"));
    ASSERT_EQ(b.size(), 32u + 64 + 2 + 1000 * 10 + 1);
    EXPECT_EQ(b.back(), '\x1A');
    EXPECT_EQ(b.substr(4, 4), std::string("\xE8\x03\0\0", 4));
    EXPECT_EQ(b.substr(98 + 9 * 10, 10), " K10    10");
    auto r = DbfFile::open(dir.file("t.dbf"), Share::Shared);
    EXPECT_EQ(text_of(*r, 1000, "KOD"), "K100");
    EXPECT_EQ(text_of(*r, 500, "ILE"), "   -7");
    EXPECT_EQ(text_of(*r, 499, "ILE"), "  499");
}

// A table made in place over a larger one of the last run holds only what
// was written this time, however little: nothing of the old file is left
// past the new end to be read back as records.
TEST(DbfFileCreate, InPlaceOverALargerFileKeepsOnlyTheNewRecords) {
    test::TempFolder dir;
    const FieldList fl = {field("KOD", 'C', 4)};
    auto old = DbfFile::create(dir.file("s.dbf"), fl);
    std::string rec = old->blank_record();
    for (int i = 0; i < 300; ++i) old->append_record(rec.data());
    old->close();
    for (int n : {3, 0}) {
        auto t = DbfFile::create(dir.file("s.dbf"), fl, nullptr, true);
        encode_text(t->fields()[0], "NOWY", rec.data());
        for (int i = 0; i < n; ++i) t->append_record(rec.data());
        t->close();
        EXPECT_EQ(slurp(dir.file("s.dbf")).size(), 32u + 32 + 2 + 5 * static_cast<size_t>(n) + 1) << n;
        auto r = DbfFile::open(dir.file("s.dbf"), Share::Shared);
        ASSERT_EQ(r->record_count(), static_cast<std::uint32_t>(n));
        if (n > 0) {
            EXPECT_EQ(text_of(*r, 3, "KOD"), "NOWY");
        }
    }
}

// Room taken on the disk for a table about to be filled is given back at
// its close, however few records came: none, or a few into a table made in
// place over the last run's.
TEST(DbfFileWrite, RoomTakenBeforehandIsGivenBackAtClose) {
    test::TempFolder dir;
    const FieldList fl = {field("KOD", 'C', 4)};
    auto blocks_of = [&](const char* name) {
        struct stat st {};
        return ::stat(dir.file(name).c_str(), &st) == 0 ? st.st_blocks * 512 : -1;
    };
    for (int n : {0, 3}) {
        auto t = DbfFile::create(dir.file("s.dbf"), fl, nullptr, n > 0);
        t->reserve_records(200000);
        if (blocks_of("s.dbf") < 500000) GTEST_SKIP() << "this file system takes no room beforehand";
        std::string rec = t->blank_record();
        for (int i = 0; i < n; ++i) t->append_record(rec.data());
        t->close();
        EXPECT_EQ(slurp(dir.file("s.dbf")).size(), 32u + 32 + 2 + 5 * static_cast<size_t>(n) + 1) << n;
        EXPECT_LE(blocks_of("s.dbf"), 16384) << n;
        EXPECT_EQ(DbfFile::open(dir.file("s.dbf"), Share::Shared)->record_count(), static_cast<std::uint32_t>(n));
    }
}

TEST(DbfFileWrite, SharedAppendLeavesNoEofByteAndKeepsTheNewRecordLocked) {
    test::TempFolder dir("kod13");
    platform::TestClock clock({2026, 1, 2, 9, 0, 0});
    std::string path = dir.file("16/03/slow.dbf");
    auto t = DbfFile::open(path, Share::Shared, false, &clock);
    std::string rec = t->blank_record();
    encode_text(t->fields()[0], "KW", rec.data());
    ASSERT_EQ(t->append_record(rec.data()), 4u);

    std::string b = slurp(path);
    ASSERT_EQ(b.size(), 130u + 4 * 32);  // the old 1A overwritten, none written after
    EXPECT_EQ(b.substr(130 + 3 * 32, 4), " KW ");
    EXPECT_EQ(b.substr(1, 7), std::string("\x7E\x01\x02\x04\0\0\0", 7));

    // Another open of the file (another workstation) cannot lock record 4;
    // the append lock is free again.
    int fd = ::open(path.c_str(), O_RDWR);
    ASSERT_GE(fd, 0);
    auto try_ofd = [&](off_t start) {
        struct flock fl{};
        fl.l_type = F_WRLCK;
        fl.l_whence = SEEK_SET;
        fl.l_start = start;
        fl.l_len = 1;
        bool ok = ::fcntl(fd, F_OFD_SETLK, &fl) == 0;
        if (ok) {
            fl.l_type = F_UNLCK;
            ::fcntl(fd, F_OFD_SETLK, &fl);
        }
        return ok;
    };
    EXPECT_FALSE(try_ofd(1'000'000'004));
    EXPECT_TRUE(try_ofd(1'000'000'003));
    EXPECT_TRUE(try_ofd(1'000'000'000));
    t->unlock_record(4);
    EXPECT_TRUE(try_ofd(1'000'000'004));

    // Someone else's file lock makes the append fail without writing anything.
    struct flock fl{};
    fl.l_type = F_WRLCK;
    fl.l_whence = SEEK_SET;
    fl.l_start = 1'000'000'001;
    fl.l_len = 1'000'000'000;
    ASSERT_EQ(::fcntl(fd, F_OFD_SETLK, &fl), 0);
    EXPECT_EQ(t->append_record(rec.data()), 0u);
    EXPECT_EQ(slurp(path).size(), 130u + 4 * 32);
    ::close(fd);
    t->close();
    EXPECT_EQ(slurp(path).size(), 130u + 4 * 32);  // a shared close adds no EOF byte
}

TEST(DbfFileLocks, TwoOpeningsInOneProgramRefuseEachOthersLocks) {
    test::TempFolder dir("kod13");
    std::string path = dir.file("16/03/pk.dbf");
    auto a = DbfFile::open(path, Share::Shared);
    auto b = DbfFile::open(path, Share::Shared);  // a second work area on the same table
    ASSERT_TRUE(a->lock_record(3));
    EXPECT_TRUE(a->lock_record(3));
    EXPECT_FALSE(b->lock_record(3));
    EXPECT_TRUE(b->lock_record(4));
    EXPECT_FALSE(a->lock_file());
    a->unlock_record(3);
    EXPECT_TRUE(b->lock_record(3));
    b->close();  // its locks go with it, though the file stays open for a
    ASSERT_TRUE(a->lock_file());
    EXPECT_TRUE(a->lock_record(7));  // inside its own file lock
    auto c = DbfFile::open(path, Share::Shared);
    EXPECT_FALSE(c->lock_record(7));
    a->unlock_file();
    EXPECT_TRUE(c->lock_record(7));
}

TEST(DbfFileWrite, SharedCountFollowsRecordsOthersAppend) {
    test::TempFolder dir("kod13");
    std::string path = dir.file("16/03/pk.dbf");
    auto t = DbfFile::open(path, Share::Shared);
    ASSERT_EQ(t->record_count(), 8u);
    std::string rec(static_cast<size_t>(t->record_length()), ' ');
    rec.replace(1, 3, "999");
    // Another workstation writes record 9 over the EOF byte, header untouched.
    int fd = ::open(path.c_str(), O_RDWR);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::pwrite(fd, rec.data(), rec.size(), t->header_length() + 8 * t->record_length()),
              static_cast<ssize_t>(rec.size()));
    ::close(fd);
    EXPECT_EQ(t->known_count(), 8u);
    EXPECT_EQ(text_of(*t, 9, "KONTO").substr(0, 3), "999");
    EXPECT_EQ(t->record_count(), 9u);
    EXPECT_EQ(t->header_count(), 8u);
}

// Bytes of a small valid table to damage: two fields, one record.
std::string sample_table() {
    std::string b(32 + 64 + 2, '\0');
    b[0] = 3;
    b[4] = 1;
    b[8] = static_cast<char>(b.size());
    b[10] = 1 + 3 + 5;
    b.replace(32, 1, "A");
    b[32 + 11] = 'C';
    b[32 + 16] = 3;
    b.replace(64, 1, "B");
    b[64 + 11] = 'N';
    b[64 + 16] = 5;
    b[64 + 17] = 1;
    b[96] = 0x0D;
    return b + " abc  1.5" + "\x1A";
}

TEST(DbfFileDamaged, HeaderFaultsAreClearErrorsAndTheFileStaysAsItWas) {
    test::TempFolder dir;
    std::string path = dir.file("bad.dbf");
    spit(path, sample_table());
    {
        auto ok = DbfFile::open(path, Share::Exclusive);
        EXPECT_EQ(ok->record_count(), 1u);
        EXPECT_EQ(text_of(*ok, 1, "B"), "  1.5");
    }
    auto damaged = [&](std::string bytes, const char* what) {
        spit(path, bytes);
        try {
            DbfFile::open(path, Share::Exclusive);
            ADD_FAILURE() << what << ": opened";
        } catch (const SharingError&) {
            ADD_FAILURE() << what << ": sharing error";
        } catch (const DbError& e) {
            EXPECT_EQ(e.file(), path) << what;
            EXPECT_EQ(e.os_error(), 0) << what;
        }
        EXPECT_EQ(slurp(path), bytes) << what;
    };
    std::string t = sample_table();
    damaged(t.substr(0, 20), "short header");
    damaged(t.substr(0, 60), "cut inside the descriptors");
    damaged("", "empty file");
    std::string v = t;
    v[0] = 0x30;
    damaged(v, "unknown version");
    v = t;
    v[10] = 10;
    damaged(v, "record length not the sum of the fields");
    v = t;
    v[8] = static_cast<char>(0xFF);
    v[9] = 0x7F;
    damaged(v, "header length beyond the file");
    v = t;
    v[64 + 17] = 5;
    damaged(v, "decimals as wide as the field");
    v = t;
    v[32 + 11] = 'Q';
    damaged(v, "unknown field type");
    v = t;
    v[32] = 0x0D;
    damaged(v, "no fields");
    v = t;
    v[32] = 0;
    damaged(v, "empty field name");
    v = t;
    v[64 + 11] = 'D';
    damaged(v, "date field not 8 wide");
}

TEST(DbfFileDamaged, OtherHeaderLengthsAreRead) {
    test::TempFolder dir;
    std::string path = dir.file("h.dbf");
    std::string t = sample_table();
    // Without the filler byte (32 + 32n + 1).
    std::string no_filler = t.substr(0, 97) + t.substr(98);
    no_filler[8] = 97;
    spit(path, no_filler);
    {
        auto d = DbfFile::open(path, Share::Shared);
        EXPECT_EQ(text_of(*d, 1, "A"), "abc");
    }
    // A longer gap after the terminator.
    std::string gap = t.substr(0, 98) + std::string(30, '\0') + t.substr(98);
    gap[8] = static_cast<char>(98 + 30);
    spit(path, gap);
    auto d = DbfFile::open(path, Share::Shared);
    EXPECT_EQ(d->fields().size(), 2u);
    EXPECT_EQ(text_of(*d, 1, "B"), "  1.5");
}

TEST(DbfFileOpen, MissingFileAndSharingRefusals) {
    test::TempFolder dir("kod13");
    try {
        DbfFile::open(dir.file("nosuch.dbf"), Share::Shared);
        ADD_FAILURE() << "opened a missing file";
    } catch (const SharingError&) {
        ADD_FAILURE() << "missing file reported as a sharing conflict";
    } catch (const DbError& e) {
        EXPECT_EQ(e.os_error(), ENOENT);
    }
    auto held = DbfFile::open(dir.file("firma.dbf"), Share::Exclusive);
    EXPECT_THROW(DbfFile::open(dir.file("firma.dbf"), Share::Shared), SharingError);
    held->close();
    auto shared = DbfFile::open(dir.file("firma.dbf"), Share::Shared);
    EXPECT_THROW(DbfFile::open(dir.file("firma.dbf"), Share::Exclusive), SharingError);
    EXPECT_NO_THROW(DbfFile::open(dir.file("FIRMA.DBF"), Share::Shared));
}


// --- the record cache's budget -----------------------------------------------

using test::DbfCacheBudget;

// With room for a few blocks of records every read and write makes room:
// changed blocks must reach the file when they leave, blocks filled by
// appends too, records read alone or changed in the file at once must not be
// read back as they were, and what comes back from the file must be what was
// written, the deletion flags included (asked for with and without the
// record read first). Short records (many to a block) and records longer
// than a block.
TEST(DbfFileCache, RandomChurnWithRoomForAFewBlocksMatchesAModel) {
    const FieldList layouts[] = {{field("KOD", 'C', 10), field("ILE", 'N', 8)},
                                 {field("KOD", 'C', 10), field("OPIS", 'C', 5000)}};
    for (const FieldList& layout : layouts) {
        for (size_t budget : {size_t{1}, size_t{3 * 4096}, size_t{40 * 1024}}) {
            SCOPED_TRACE(std::to_string(layout.size()) + " fields, budget " + std::to_string(budget));
            DbfCacheBudget room(budget);
            test::TempFolder dir;
            std::string path = dir.file("churn.dbf");
            std::vector<std::string> model;
            std::uint32_t last_read = 0;
            std::mt19937 rng(static_cast<unsigned>(budget + layout[1].length));
            {
                auto t = DbfFile::create(path, layout);
                auto make = [&](std::uint32_t n) {
                    std::string rec = t->blank_record();
                    if (rng() % 5 == 0) rec[0] = '*';
                    encode_text(t->fields()[0], "K" + std::to_string(n) + "-" + std::to_string(rng() % 1000), rec.data());
                    encode_text(t->fields()[1], std::to_string(rng()), rec.data());
                    return rec;
                };
                for (int step = 0; step < 4000; ++step) {
                    int op = static_cast<int>(rng() % 10);
                    if ((model.empty() || op < 4) && rng() % 4 == 0) {
                        // Many at once, past the cache.
                        std::string recs;
                        const auto first = static_cast<std::uint32_t>(model.size() + 1);
                        for (std::uint32_t k = 0, n = 1 + rng() % 40; k < n; ++k) {
                            model.push_back(make(first + k));
                            recs += model.back();
                        }
                        ASSERT_EQ(t->append_records(recs.data(), static_cast<std::uint32_t>(model.size() + 1 - first)), first);
                    } else if (model.empty() || op < 4) {
                        std::string rec = make(static_cast<std::uint32_t>(model.size() + 1));
                        ASSERT_EQ(t->append_record(rec.data()), model.size() + 1);
                        model.push_back(rec);
                    } else if (op < 6) {
                        // Half the time the record read last, as a change made
                        // where it was read; what is read back is the change.
                        auto r = static_cast<std::uint32_t>(1 + rng() % model.size());
                        if (last_read != 0 && rng() % 2) r = last_read;
                        std::string rec = make(r);
                        t->write_record(r, rec.data());
                        model[r - 1] = rec;
                        ASSERT_EQ(std::string(t->record_view(r)), rec) << "record " << r << " step " << step;
                    } else if (op < 7) {
                        // A record copied straight from the view of another one,
                        // whose block must stay while the target's comes in.
                        auto from = static_cast<std::uint32_t>(1 + rng() % model.size());
                        const char* view = t->record_view(from).data();
                        if (rng() % 2) {
                            auto to = static_cast<std::uint32_t>(1 + rng() % model.size());
                            t->write_record(to, view);
                            model[to - 1] = model[from - 1];
                        } else {
                            ASSERT_EQ(t->append_record(view), model.size() + 1);
                            model.push_back(model[from - 1]);
                        }
                    } else {
                        // A flag asked for before its record is read, then the record.
                        auto q = static_cast<std::uint32_t>(1 + rng() % model.size());
                        EXPECT_EQ(t->deleted(q), model[q - 1][0] == '*') << "record " << q << " step " << step;
                        auto r = static_cast<std::uint32_t>(1 + rng() % model.size());
                        ASSERT_EQ(std::string(t->record_view(r)), model[r - 1]) << "record " << r << " step " << step;
                        EXPECT_EQ(t->deleted(r), model[r - 1][0] == '*');
                        last_read = r;
                    }
                    if (step % 997 == 0) t->commit();
                }
                ASSERT_EQ(t->record_count(), model.size());
                for (std::uint32_t r = 1; r <= model.size(); ++r)
                    ASSERT_EQ(std::string(t->record_view(r)), model[r - 1]) << "record " << r;
                t->close();
            }
            std::string bytes = slurp(path);
            auto t = DbfFile::open(path, Share::Shared);
            ASSERT_EQ(bytes.size(), static_cast<size_t>(t->header_length()) + model.size() * static_cast<size_t>(t->record_length()) + 1);
            EXPECT_EQ(bytes.back(), '\x1A');
            EXPECT_EQ(t->header_count(), model.size());
            for (std::uint32_t r = 1; r <= model.size(); ++r)
                ASSERT_EQ(std::string(t->record_view(r)), model[r - 1]) << "record " << r;
        }
    }
}

std::string trimmed(std::string_view bytes) {
    return std::string(bytes.substr(0, bytes.find_last_not_of(' ') + 1));
}

// A pass in record order over a table held exclusively keeps a few blocks in
// memory, not the table; a block changed before the pass keeps its change
// until it reaches the file; records read again afterwards are right.
TEST(DbfFileCache, APassInRecordOrderKeepsAFewBlocks) {
    test::TempFolder dir;
    std::string path = dir.file("pass.dbf");
    const FieldList layout = {field("KOD", 'C', 10), field("OPIS", 'C', 90)};
    auto text_of = [](std::uint32_t r) { return "R" + std::to_string(r); };
    {
        auto t = DbfFile::create(path, layout);
        std::string rec = t->blank_record();
        for (std::uint32_t r = 1; r <= 4000; ++r) {
            encode_text(t->fields()[0], text_of(r), rec.data());
            t->append_record(rec.data());
        }
        t->close();
    }
    auto t = DbfFile::open(path, Share::Exclusive);
    std::string changed(t->record_view(3000));
    encode_text(t->fields()[1], "zmieniony", changed.data());
    t->write_record(3000, changed.data());
    size_t most = 0;
    for (std::uint32_t r = 1; r <= 4000; ++r) {
        ASSERT_EQ(trimmed(field_bytes(t->record_view(r), t->fields()[0])), text_of(r)) << r;
        most = std::max(most, t->cached_blocks());
    }
    EXPECT_LE(most, 12u);  // a run read ahead, the block left, the changed one: of 100 blocks
    EXPECT_EQ(std::string(t->record_view(3000)), changed);
    for (std::uint32_t r : {17u, 3999u, 1u, 2500u})
        EXPECT_EQ(trimmed(field_bytes(t->record_view(r), t->fields()[0])), text_of(r)) << r;
    t->close();
    EXPECT_EQ(std::string(DbfFile::open(path, Share::Shared)->record_view(3000)), changed);
}

// A pass in record order that changes some of the records it reads: the
// blocks it has gone past are written and let go, not kept to the end.
TEST(DbfFileCache, APassThatChangesRecordsWritesThemAsItGoes) {
    test::TempFolder dir;
    std::string path = dir.file("change.dbf");
    const FieldList layout = {field("KOD", 'C', 10), field("OPIS", 'C', 90)};
    {
        auto t = DbfFile::create(path, layout);
        std::string rec = t->blank_record();
        for (std::uint32_t r = 1; r <= 4000; ++r) {
            encode_text(t->fields()[0], std::to_string(r), rec.data());
            t->append_record(rec.data());
        }
        t->close();
    }
    auto t = DbfFile::open(path, Share::Exclusive);
    size_t most = 0;
    for (std::uint32_t r = 1; r <= 4000; ++r) {
        std::string rec(t->record_view(r));
        if (r % 7 == 0) {
            encode_text(t->fields()[1], "zmiana " + std::to_string(r), rec.data());
            t->write_record(r, rec.data());
        }
        most = std::max(most, t->cached_blocks());
    }
    EXPECT_LE(most, 12u);  // of 100 blocks
    t->close();
    auto back = DbfFile::open(path, Share::Shared);
    for (std::uint32_t r = 1; r <= 4000; ++r)
        ASSERT_EQ(trimmed(field_bytes(back->record_view(r), back->fields()[1])), r % 7 == 0 ? "zmiana " + std::to_string(r) : "") << r;
}

// A table many times its cache, asked for deletion flags out of record
// order: after some records read alone the rest come from one pass over
// the file, and the flags of records changed meanwhile are the changed
// ones, whether the change still waits in the cache or went to the file.
TEST(DbfFileCache, FlagsGatheredInOnePassKeepTheChangesMadeBefore) {
    DbfCacheBudget room(1);
    test::TempFolder dir;
    std::string path = dir.file("flags.dbf");
    const FieldList layout = {field("KOD", 'C', 10), field("OPIS", 'C', 90)};
    const std::uint32_t n = 4000;
    std::vector<bool> gone(n + 1);
    {
        auto t = DbfFile::create(path, layout);
        std::string rec = t->blank_record();
        for (std::uint32_t r = 1; r <= n; ++r) {
            gone[r] = r % 5 == 0;
            rec[0] = gone[r] ? '*' : ' ';
            t->append_record(rec.data());
        }
        t->close();
    }
    auto t = DbfFile::open(path, Share::Exclusive);
    // Two records in a row bring their block into the cache; a change to one
    // of them waits there. A change to a record whose block is not cached
    // goes to the file.
    t->record_view(2000);
    std::string kept(t->record_view(2001));
    kept[0] = ' ';
    t->write_record(2005, kept.data());
    gone[2005] = false;
    std::string marked(t->record_view(3001));
    marked[0] = '*';
    t->write_record(3001, marked.data());
    gone[3001] = true;
    for (std::uint32_t i = 0; i < n; ++i) {
        const std::uint32_t r = 1 + i * 7919 % n;  // every record once, never two in a row
        ASSERT_EQ(t->deleted(r), gone[r]) << "record " << r;
    }
    t->close();
    auto back = DbfFile::open(path, Share::Shared);
    EXPECT_FALSE(DbfFile::is_deleted(back->record_view(2005)));
    EXPECT_TRUE(DbfFile::is_deleted(back->record_view(3001)));
}

// Runs of records in one read, shared or held, end where the table ends.
TEST(DbfFile, RunsOfRecordsAsTheFileHasThem) {
    test::TempFolder dir;
    std::string path = dir.file("runs.dbf");
    {
        auto t = DbfFile::create(path, {field("KOD", 'C', 6)});
        std::string rec = t->blank_record();
        for (int r = 1; r <= 50; ++r) {
            encode_text(t->fields()[0], std::to_string(r), rec.data());
            t->append_record(rec.data());
        }
        t->close();
    }
    for (Share mode : {Share::Exclusive, Share::Shared}) {
        auto t = DbfFile::open(path, mode);
        const size_t rl = static_cast<size_t>(t->record_length());
        std::string buf(20 * rl, '?');
        struct Case {
            std::uint32_t first, count, got;
        };
        for (const Case& c : {Case{1, 20, 20}, Case{45, 20, 6}, Case{50, 1, 1}, Case{51, 5, 0}, Case{0, 5, 0}}) {
            ASSERT_EQ(t->read_records(c.first, c.count, buf.data()), c.got) << c.first;
            for (std::uint32_t i = 0; i < c.got; ++i)
                EXPECT_EQ(buf.substr(i * rl, rl), std::string(t->record_view(c.first + i))) << c.first + i;
        }
        // Shared, records another program appended meanwhile are in the next run.
        if (mode == Share::Shared) {
            auto other = DbfFile::open(path, Share::Shared);
            std::string rec = other->blank_record();
            encode_text(other->fields()[0], "51", rec.data());
            other->append_record(rec.data());
            other->unlock_record(51);
            ASSERT_EQ(t->read_records(50, 5, buf.data()), 2u);
            EXPECT_EQ(trimmed(field_bytes(std::string_view(buf).substr(rl, rl), t->fields()[0])), "51");
        }
    }
}

}  // namespace
}  // namespace durva::dbf
