#include "common/dbf/record_runs.h"

#include <gtest/gtest.h>

#include <map>

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

// Scattered records of a shared table read in runs under its file lock, and
// changed and written back: those changed have their new bytes, every other
// record (those between them in a run too) what it had, nothing past the end.
TEST(RecordRuns, ScatteredRecordsAreReadAndWrittenBackInRunsUnderTheFileLock) {
    test::TempFolder dir;
    {
        auto t = DbfFile::create(dir.file("t.dbf"), {field("KOD", 'C', 6), field("ILE", 'N', 7)});
        for (int n = 1; n <= 2000; ++n) t->append_record(record_of(*t, n, n).data());
        t->close();
    }
    auto t = DbfFile::open(dir.file("t.dbf"), Share::Shared);
    const std::string changed = record_of(*t, 0, -7);
    auto change_to = [](const std::string& bytes) {
        return [bytes](std::uint32_t, std::string& record) { record = bytes; };
    };
    // Without the file lock nothing is written.
    EXPECT_THROW(update_in_runs(*t, {10}, change_to(changed)), DbError);
    ASSERT_TRUE(t->lock_file());
    std::map<std::uint32_t, std::string> seen;
    read_in_runs(*t, {1500, 3, 5, 0, 5, 40, 1999, 2000, 2500},
                 [&](std::uint32_t n, std::string_view bytes) { EXPECT_TRUE(seen.emplace(n, bytes).second) << n; });
    std::map<std::uint32_t, std::string> want;
    for (int n : {3, 5, 40, 1500, 1999, 2000}) want[static_cast<std::uint32_t>(n)] = record_of(*t, n, n);
    EXPECT_EQ(seen, want);
    EXPECT_THROW(update_in_runs(*t, {5}, change_to("short")), DbError);
    EXPECT_THROW(update_in_runs(*t, {2001}, change_to(changed)), DbError);
    std::vector<std::uint32_t> given;
    update_in_runs(*t, {1999, 5, 40, 1}, [&](std::uint32_t n, std::string& record) {
        EXPECT_EQ(record, record_of(*t, static_cast<int>(n), static_cast<int>(n))) << "as read under the lock";
        given.push_back(n);
        record = changed;
    });
    EXPECT_EQ(given, (std::vector<std::uint32_t>{1, 5, 40, 1999}));
    t->unlock_file();
    t.reset();

    auto again = DbfFile::open(dir.file("t.dbf"), Share::Shared);
    EXPECT_EQ(again->record_count(), 2000u);
    for (int n = 1; n <= 2000; ++n) {
        const bool is_changed = n == 1 || n == 5 || n == 40 || n == 1999;
        ASSERT_EQ(again->record_view(static_cast<std::uint32_t>(n)), is_changed ? changed : record_of(*again, n, n))
            << "record " << n;
    }
}

}  // namespace
}  // namespace durva::dbf
