#include "common/record_pipe.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/errors.h"

namespace durva {
namespace {

constexpr size_t kSize = 8;

// Record n: its number written out in eight characters.
std::string record(std::uint32_t n) {
    char text[kSize + 1];
    std::snprintf(text, sizeof text, "%08u", n);
    return std::string(text, kSize);
}

// Makes records 1 to `total`, then fails when `fail_after` is not 0 and
// that many are made; counts what it handed over.
struct Maker {
    std::uint32_t total = 0, fail_after = 0;
    std::uint32_t made = 0;
    std::atomic<std::uint32_t> handed{0};

    std::uint32_t make(char* into, std::uint32_t room) {
        std::uint32_t n = 0;
        for (; n < room && made < total; ++n) {
            if (fail_after != 0 && made == fail_after) throw DbError("Blad zapisu pliku", "rob/ass01.dbf");
            std::memcpy(into + n * kSize, record(++made).data(), kSize);
        }
        return n;
    }
    void start(RecordPipe& pipe) {
        pipe.start([this](char* into, std::uint32_t room) { return make(into, room); },
                   [this](const char*, std::uint32_t count) { handed += count; });
    }
};

// Pieces of two records each, so that the thread keeps refilling them while
// the caller reads: every record comes in order, and the one given before
// stays whole until the call after the next.
TEST(RecordPipe, RecordsComeInOrderAndStayWholeUntilTheCallAfterTheNext) {
    for (int pieces : {3, 4}) {
        RecordPipe pipe(kSize, 2 * kSize, pieces);
        Maker maker{.total = 5001};
        maker.start(pipe);
        std::string_view before;
        std::uint32_t n = 0;
        for (std::string_view r = pipe.next(); !r.empty(); r = pipe.next()) {
            ASSERT_EQ(r, record(++n));
            if (n > 1) {
                ASSERT_EQ(before, record(n - 1)) << "pieces " << pieces;
            }
            before = r;
        }
        EXPECT_EQ(n, 5001u);
        EXPECT_TRUE(pipe.next().empty());
        pipe.finish();
        EXPECT_EQ(maker.handed, 5001u);
    }
}

// A failure of the thread comes to the caller after the records made before
// it, as the exception it was, and again at finish().
TEST(RecordPipe, AFailureOfTheThreadComesAfterTheRecordsMadeBeforeIt) {
    RecordPipe pipe(kSize, 3 * kSize, 3);
    Maker maker{.total = 100, .fail_after = 40};
    maker.start(pipe);
    std::uint32_t n = 0;
    try {
        for (std::string_view r = pipe.next(); !r.empty(); r = pipe.next()) ASSERT_EQ(r, record(++n));
        ADD_FAILURE() << "the records ended without the failure";
    } catch (const DbError& e) {
        EXPECT_EQ(e.file(), "rob/ass01.dbf");
    }
    EXPECT_EQ(n, 39u);  // the piece of the 40th was never handed over
    EXPECT_THROW(pipe.finish(), DbError);
}

// A caller that stops reading: finish() lets the thread make and hand over
// the rest without waiting for the caller; the end of the pipe while the
// thread waits for room stops it.
TEST(RecordPipe, FinishedEarlyTheThreadGoesToTheEndAndGivenUpItStops) {
    {
        RecordPipe pipe(kSize, kSize, 3);
        Maker maker{.total = 1000};
        maker.start(pipe);
        ASSERT_EQ(pipe.next(), record(1));
        pipe.finish();
        EXPECT_EQ(maker.handed, 1000u);
    }
    Maker maker{.total = 1000};
    {
        RecordPipe pipe(kSize, kSize, 3);
        maker.start(pipe);
        ASSERT_EQ(pipe.next(), record(1));
    }
    EXPECT_LT(maker.handed, 1000u);
}

}  // namespace
}  // namespace durva
