#include "common/dbf/record_runs.h"

#include <gtest/gtest.h>

#include "common/dbf/field_codec.h"
#include "platform/errors.h"
#include "support/fixture_folder.h"

namespace durva::dbf {
namespace {

using platform::Share;

FieldDesc field(const char* name, char type, int length) {
    FieldDesc f;
    f.name = name;
    f.type = type;
    f.length = length;
    return f;
}

std::string record_of(DbfFile& t, int n, int value) {
    std::string rec = t.blank_record();
    encode_text(t.fields()[0], "K" + std::to_string(n), rec.data());
    encode_number(t.fields()[1], value, rec.data());
    return rec;
}

// Scattered records of a shared table read in runs under its file lock and
// written back: those changed have their new bytes, every other record
// (those between them in a run too) what it had, nothing past the end.
TEST(RecordRuns, ScatteredRecordsAreReadAndWrittenBackInRunsUnderTheFileLock) {
    test::TempFolder dir;
    {
        auto t = DbfFile::create(dir.file("t.dbf"), {field("KOD", 'C', 6), field("ILE", 'N', 7)});
        for (int n = 1; n <= 2000; ++n) t->append_record(record_of(*t, n, n).data());
        t->close();
    }
    auto t = DbfFile::open(dir.file("t.dbf"), Share::Shared);
    {
        // Two records of one run changed without the file lock: refused.
        RecordRuns runs(*t, {10, 12});
        ASSERT_TRUE(runs.change(10, record_of(*t, 10, -1)));
        ASSERT_TRUE(runs.change(12, record_of(*t, 12, -1)));
        EXPECT_THROW(runs.write(), DbError);
    }
    ASSERT_TRUE(t->lock_file());
    RecordRuns runs(*t, {1500, 3, 5, 0, 5, 40, 1999, 2000, 2500});
    EXPECT_EQ(runs.find(4), record_of(*t, 4, 4)) << "read with the run of 3 and 5";
    EXPECT_EQ(runs.find(2000), record_of(*t, 2000, 2000));
    EXPECT_EQ(runs.find(2500), std::nullopt);
    EXPECT_EQ(runs.find(700), std::nullopt);
    EXPECT_FALSE(runs.change(700, record_of(*t, 700, -7)));
    for (std::uint32_t n : {5u, 40u, 1999u}) ASSERT_TRUE(runs.change(n, record_of(*t, static_cast<int>(n), -7)));
    EXPECT_EQ(runs.find(40), record_of(*t, 40, -7));
    runs.write();
    t->unlock_file();
    t.reset();

    auto again = DbfFile::open(dir.file("t.dbf"), Share::Shared);
    EXPECT_EQ(again->record_count(), 2000u);
    for (int n = 1; n <= 2000; ++n) {
        const bool changed = n == 5 || n == 40 || n == 1999;
        ASSERT_EQ(again->record_view(static_cast<std::uint32_t>(n)), record_of(*again, n, changed ? -7 : n))
            << "record " << n;
    }
}

}  // namespace
}  // namespace durva::dbf
