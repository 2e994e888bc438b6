// Opening, locking and appending with retries, creating tables from field
// lists, and the general error handler, on the headless terminal: pauses
// pass on the test clock, so attempts show as time waited.
#include "common/locks.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <deque>
#include <functional>
#include <vector>

#include "common/_fun3.h"
#include "common/dbf/dbf_file.h"
#include "common/dirmake.h"
#include "common/error_handler.h"
#include "platform/errors.h"
#include "support/current_folder.h"
#include "support/fixture_folder.h"
#include "support/headless_session.h"
#include "support/refused_openings.h"

namespace durva {
namespace {

using platform::Share;
using testing::HeadlessSession;

// Another workstation's hold on a file: its own open file description with
// the share lock (flock) and, when asked, byte-range locks at given offsets.
class OtherStation {
public:
    OtherStation(const std::string& path, int flock_mode) : fd_(::open(path.c_str(), O_RDWR)) {
        if (fd_ < 0) throw std::runtime_error("cannot open " + path);
        if (flock_mode != 0 && ::flock(fd_, flock_mode | LOCK_NB) != 0) throw std::runtime_error("flock");
    }
    ~OtherStation() { release(); }
    bool lock(off_t start, off_t len = 1) {
        struct flock fl{};
        fl.l_type = F_WRLCK;
        fl.l_whence = SEEK_SET;
        fl.l_start = start;
        fl.l_len = len;
        return ::fcntl(fd_, F_OFD_SETLK, &fl) == 0;
    }
    bool can_lock(off_t start) {
        if (!lock(start)) return false;
        struct flock fl{};
        fl.l_type = F_UNLCK;
        fl.l_whence = SEEK_SET;
        fl.l_start = start;
        fl.l_len = 1;
        ::fcntl(fd_, F_OFD_SETLK, &fl);
        return true;
    }
    void release() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

private:
    int fd_;
};

// A terminal whose every wait for a key runs to its end on the test clock
// unless a scripted key answers it. A hook sees each wait, so a test can read
// the screen while the program waits, or let go of a lock in the middle of it.
class PauseTerminal final : public platform::Terminal {
public:
    explicit PauseTerminal(platform::TestClock& clock) : clock_(clock) {}
    int rows() const override { return 25; }
    int cols() const override { return 80; }
    bool has_colors() const override { return true; }
    void present(const platform::TermCell*, int, int, int, int, bool) override {}
    std::optional<platform::InputKey> read_key(int timeout_ms) override {
        if (timeout_ms == 0) return std::nullopt;
        ++waits;
        if (on_wait) on_wait(waits);
        if (!keys.empty()) {
            char32_t k = keys.front();
            keys.pop_front();
            return platform::InputKey{0, k};
        }
        if (timeout_ms < 0) throw std::runtime_error("a wait for ever with no key to come");
        ++pauses;
        timeouts.push_back(timeout_ms);
        clock_.advance_ms(timeout_ms);
        return std::nullopt;
    }
    void tone(int, int) override {}
    int waits = 0, pauses = 0;
    std::vector<int> timeouts;  // of the waits that ran to their end
    std::deque<char32_t> keys;
    std::function<void(int)> on_wait;

private:
    platform::TestClock& clock_;
};

struct PauseSession {
    explicit PauseSession(std::initializer_list<char32_t> keys = {})
        : terminal(clock), screen(terminal, clock), session(clock, screen) {
        terminal.keys.assign(keys.begin(), keys.end());
        terminal.on_wait = [this](int) {
            for (int r = 0; r < 25; ++r) seen += screen.text(r, 0, 80) + "\n";
        };
    }
    bool saw(const std::string& text) const { return seen.find(text) != std::string::npos; }
    std::string rows() const {
        std::string all;
        for (int r = 0; r < 25; ++r) all += screen.text(r, 0, 80) + "\n";
        return all;
    }
    // Answers the general error handler's window with the next of `answers`
    // whenever it waits, and only then (other waits consume keys too).
    void answer_handler(std::deque<char32_t> answers) {
        terminal.on_wait = [this, answers](int) mutable {
            std::string now = rows();
            seen += now;
            if (now.find("T - ponow probe") != std::string::npos && !answers.empty()) {
                terminal.keys.push_back(answers.front());
                answers.pop_front();
            }
        };
    }
    platform::TestClock clock;
    PauseTerminal terminal;
    screen::Screen screen;
    Session session;
    std::string seen;  // every screen row at every wait
};

class LocksTest : public ::testing::Test {
protected:
    durva::test::TempFolder dir_{"kod13"};
    durva::test::CurrentFolder here_{dir_.path()};
};

TEST_F(LocksTest, NetUseMakesOneAttemptPerSecondWhileTheTableIsHeldElsewhere) {
    HeadlessSession h;
    OtherStation other("firma.dbf", LOCK_EX);
    h.session.areas.select(1);
    EXPECT_FALSE(NET_USE(h.session, "firma", "firma", false, 1));
    EXPECT_EQ(h.clock.now_ms(), 1000);
    EXPECT_FALSE(h.session.areas.used());
    EXPECT_FALSE(NET_USE(h.session, "firma", "firma", false, 3));
    EXPECT_EQ(h.clock.now_ms(), 4000);
    other.release();
    EXPECT_TRUE(NET_USE(h.session, "firma", "firma", false, 1));
    EXPECT_EQ(h.clock.now_ms(), 4000);
    EXPECT_EQ(h.session.areas.table().alias(), "firma");
}

TEST_F(LocksTest, NetUseExclusiveShowsTheNoticeOnlyOutsideRobAndStrukt) {
    PauseSession h;
    {
        OtherStation other("firma.dbf", LOCK_SH);
        EXPECT_FALSE(NET_USE(h.session, "firma", "firma", true, 1));
        // The notice was on screen while it waited, and is gone afterwards.
        EXPECT_TRUE(h.saw("Otwieram plik firma.dbf"));
        EXPECT_EQ(h.screen.text(17, 31, 41), std::string(41, ' '));
    }
    std::filesystem::create_directory("rob");
    dbf::DbfFile::create("rob/d03.dbf", {dbf::FieldDesc{"LP", 'C', 3, 0, 0}})->close();
    dbf::DbfFile::create("strukt03.dbf", {dbf::FieldDesc{"LP", 'C', 3, 0, 0}})->close();
    for (const char* name : {"rob\\d03", "ROB\\D03", "strukt03"}) {
        OtherStation other(std::string(name).starts_with("s") ? "strukt03.dbf" : "rob/d03.dbf", LOCK_SH);
        h.seen.clear();
        h.terminal.pauses = 0;
        EXPECT_FALSE(NET_USE(h.session, name, "x", true, 1));
        EXPECT_EQ(h.terminal.pauses, 1);
        EXPECT_FALSE(h.saw("Otwieram")) << name;
    }
    EXPECT_TRUE(NET_USE(h.session, "firma", "firma", true, 1));
    EXPECT_TRUE(h.session.areas.table().exclusive());
    EXPECT_EQ(h.screen.text(17, 31, 41), std::string(41, ' '));
}

TEST_F(LocksTest, NetUseSendsAMissingFileToTheErrorHandler) {
    PauseSession h({U'x', U'N'});
    h.session.areas.select(3);
    ASSERT_TRUE(NET_USE(h.session, "firma", "firma", false, 1));
    h.session.areas.select(1);
    EXPECT_THROW(NET_USE(h.session, "nosuch", "nosuch", false, 5), ProgramEnd);
    EXPECT_TRUE(h.saw("Brak pliku"));
    EXPECT_TRUE(h.saw("nosuch.dbf"));
    EXPECT_TRUE(h.saw("Kod bledu systemu: 2"));
    EXPECT_EQ(h.terminal.waits, 2);  // the ignored x, then N
    EXPECT_EQ(h.clock.now_ms(), 0);  // not retried as a refusal
    EXPECT_FALSE(h.session.areas.used(3));  // every table closed before the end
}

TEST_F(LocksTest, ErrorHandlerRetriesTheOperationWhenAsked) {
    PauseSession h({U'T'});
    int calls = 0;
    int result = with_error_handler(h.session, [&] {
        if (++calls == 1) throw DbError("Nie moge utworzyc pliku", "rob\\d03.dbf", EACCES);
        return 42;
    });
    EXPECT_EQ(result, 42);
    EXPECT_EQ(calls, 2);
    EXPECT_TRUE(h.saw("Nie moge utworzyc pliku"));
    EXPECT_TRUE(h.saw("rob\\d03.dbf"));
    EXPECT_TRUE(h.saw("Kod bledu systemu: 13"));
    EXPECT_EQ(h.screen.text(10, 10, 60), std::string(60, ' '));  // the window is gone
}

TEST_F(LocksTest, RecLockMakesItsAttemptsAndSucceedsOnceReleased) {
    HeadlessSession h;
    ASSERT_TRUE(NET_USE(h.session, "16\\03\\pk", "pk", false, 1));
    h.session.areas.table().go_to(3);
    OtherStation other("16/03/pk.dbf", 0);
    ASSERT_TRUE(other.lock(1'000'000'003));
    EXPECT_FALSE(REC_LOCK(h.session, 15));
    EXPECT_EQ(h.clock.now_ms(), 15000);  // 31 attempts, a half-second pause after all but the first
    other.release();
    EXPECT_TRUE(REC_LOCK(h.session, 15));
    EXPECT_EQ(h.clock.now_ms(), 15000);
    h.session.areas.close_all();  // its locks would be this process's locks below

    PauseSession p;
    ASSERT_TRUE(NET_USE(p.session, "16\\03\\pk", "pk", false, 1));
    p.session.areas.table().go_to(3);
    OtherStation again("16/03/pk.dbf", 0);
    ASSERT_TRUE(again.lock(1'000'000'003));
    p.terminal.on_wait = [&](int n) {
        if (n == 4) again.release();
    };
    EXPECT_TRUE(REC_LOCK(p.session, 15));
    EXPECT_EQ(p.terminal.pauses, 4);
    OtherStation third("16/03/pk.dbf", 0);
    ASSERT_TRUE(third.lock(1'000'000'005));
    p.terminal.pauses = 0;
    p.terminal.waits = 0;
    p.terminal.on_wait = [&](int n) {
        if (n == 100) third.release();
    };
    p.session.areas.table().go_to(5);
    EXPECT_TRUE(REC_LOCK(p.session, 0));  // no limit
    EXPECT_EQ(p.terminal.pauses, 100);
}

TEST_F(LocksTest, AKeyEndsAPauseAndIsConsumed) {
    // Whatever the key: one that means nothing to the program (a character
    // outside the code page, a sequence of no known key) ends a pause too.
    for (platform::ScriptStep key :
         {platform::ScriptStep('x'), platform::ScriptStep(U'€'), platform::ScriptStep(U'Ж'), platform::ScriptStep(0)}) {
        HeadlessSession h({key});
        ASSERT_TRUE(NET_USE(h.session, "16\\03\\pk", "pk", false, 1));
        OtherStation other("16/03/pk.dbf", 0);
        ASSERT_TRUE(other.lock(1'000'000'001));
        EXPECT_FALSE(REC_LOCK(h.session, 2));
        EXPECT_EQ(h.clock.now_ms(), 1500);  // four pauses, the first ended by the key
        EXPECT_EQ(h.terminal.steps_left(), 0u);
        EXPECT_EQ(h.screen.poll_key(), 0);
    }
    for (platform::ScriptStep key : {platform::ScriptStep('x'), platform::ScriptStep(U'€')}) {
        HeadlessSession h({key});
        OtherStation other("firma.dbf", LOCK_EX);
        EXPECT_FALSE(NET_USE(h.session, "firma", "firma", false, 3));
        EXPECT_EQ(h.clock.now_ms(), 2000);  // three pauses of a second, the first ended by the key
        EXPECT_EQ(h.terminal.steps_left(), 0u);
    }
}

TEST_F(LocksTest, AddRecAppendsALockedCurrentRecordUnlessTheTableIsLocked) {
    HeadlessSession h;
    ASSERT_TRUE(NET_USE(h.session, "16\\03\\pk", "pk", false, 1));
    dbf::Table& pk = h.session.areas.table();
    {
        OtherStation other("16/03/pk.dbf", 0);
        ASSERT_TRUE(other.lock(1'000'000'001, 1'000'000'000));  // the whole table locked
        EXPECT_FALSE(ADD_REC(h.session, 1));
        EXPECT_EQ(h.clock.now_ms(), 1000);
        EXPECT_EQ(pk.record_count(), 8u);
    }
    pk.go_to(2);
    ASSERT_TRUE(REC_LOCK(h.session, 1));
    ASSERT_TRUE(ADD_REC(h.session, 1));
    EXPECT_EQ(pk.recno(), 9u);
    EXPECT_EQ(pk.record_count(), 9u);
    EXPECT_EQ(pk.text("KONTO"), std::string(10, ' '));
    OtherStation other("16/03/pk.dbf", 0);
    EXPECT_FALSE(other.can_lock(1'000'000'009));
    EXPECT_TRUE(other.can_lock(1'000'000'002));  // the area's earlier lock was released
    pk.put("KONTO", std::string("999"));
    pk.unlock();
    EXPECT_TRUE(other.can_lock(1'000'000'009));
}

TEST_F(LocksTest, TworzMakesTheTableThroughTheScratchTable) {
    HeadlessSession h;
    DIRMAKE("rob");
    h.session.areas.select(7);
    ASSERT_TRUE(TWORZ(h.session, "rob\\d03,LP        ,C,  3,  0", true, 3));
    EXPECT_EQ(h.session.areas.current(), 7);
    EXPECT_FALSE(FILE_X("strukt03.dbf"));
    auto d = dbf::DbfFile::open("rob/d03.dbf", Share::Shared);
    ASSERT_EQ(d->fields().size(), 1u);
    EXPECT_EQ(d->fields()[0].name, "LP");
    EXPECT_EQ(d->fields()[0].type, 'C');
    EXPECT_EQ(d->fields()[0].length, 3);
    EXPECT_EQ(d->record_count(), 0u);
    EXPECT_EQ(d->header_date(), Date::from_ymd(2016, 3, 15));  // the session's clock dates it
    d.reset();

    // An existing table of the path is replaced by an empty one; a leftover
    // scratch table of the station goes.
    dbf::DbfFile::create("strukt03.dbf", {dbf::FieldDesc{"X", 'C', 1, 0, 0}})->close();
    ASSERT_TRUE(TWORZ(h.session,
                      "rob\\d03,NAZWA     ,C, 30,  0,CENA      ,N, 14,  4,DATA      ,D,  8,  0,lp,C,3,0", true, 3));
    EXPECT_FALSE(FILE_X("strukt03.dbf"));
    d = dbf::DbfFile::open("rob/d03.dbf", Share::Shared);
    ASSERT_EQ(d->fields().size(), 4u);
    EXPECT_EQ(d->fields()[1].name, "CENA");
    EXPECT_EQ(d->fields()[1].length, 14);
    EXPECT_EQ(d->fields()[1].decimals, 4);
    EXPECT_EQ(d->fields()[3].name, "LP");
    EXPECT_EQ(d->record_length(), 1 + 30 + 14 + 8 + 3);
}

TEST_F(LocksTest, TworzTakesTheNextScratchNameWhenOneIsHeld) {
    HeadlessSession h;
    dbf::DbfFile::create("strukt03.dbf", {dbf::FieldDesc{"X", 'C', 1, 0, 0}})->close();
    OtherStation other("strukt03.dbf", LOCK_SH);
    ASSERT_TRUE(TWORZ(h.session, "nowa,KOD,C,5,0", true, 3));
    EXPECT_TRUE(FILE_X("strukt03.dbf"));
    EXPECT_FALSE(FILE_X("strukt04.dbf"));
    EXPECT_TRUE(FILE_X("nowa.dbf"));
}

TEST_F(LocksTest, TworzGivesUpWhenNoScratchAreaIsFree) {
    PauseSession h;
    for (int a = 88; a <= 98; ++a) {
        h.session.areas.select(a);
        ASSERT_TRUE(NET_USE(h.session, "firma", "f" + std::to_string(a), false, 1));
    }
    h.session.areas.select(4);
    EXPECT_FALSE(TWORZ(h.session, "nowa,KOD,C,5,0", true, 3));
    EXPECT_TRUE(h.saw("Plik strukt.dbf niedostepny"));
    EXPECT_EQ(h.clock.now_ms(), 1000);  // shown for a second
    EXPECT_EQ(h.session.areas.current(), 4);
    EXPECT_FALSE(FILE_X("nowa.dbf"));
}

// The scratch table is opened with five attempts a second apart: another
// workstation holding it for four of them is outlasted, for five is not.
TEST_F(LocksTest, TworzWaitsFiveAttemptsForItsScratchTable) {
    {
        PauseSession h;
        test::RefusedOpenings held("strukt03.dbf", Share::Exclusive, 4);
        ASSERT_TRUE(TWORZ(h.session, "nowa,KOD,C,5,0", true, 3));
        EXPECT_EQ(held.refused(), 4);
        EXPECT_EQ(h.clock.now_ms(), 4000);
        EXPECT_TRUE(FILE_X("nowa.dbf"));
        EXPECT_FALSE(FILE_X("strukt03.dbf"));
    }
    PauseSession h;
    h.session.areas.select(4);
    test::RefusedOpenings held("strukt03.dbf", Share::Exclusive, 5);
    EXPECT_FALSE(TWORZ(h.session, "inna,KOD,C,5,0", true, 3));
    EXPECT_EQ(held.refused(), 5);
    EXPECT_TRUE(h.saw("Plik strukt.dbf niedostepny"));
    EXPECT_EQ(h.clock.now_ms(), 5000 + 1000);  // five attempts, then the message's second
    EXPECT_EQ(h.session.areas.current(), 4);
    EXPECT_FALSE(FILE_X("inna.dbf"));
}

TEST_F(LocksTest, TworzSendsAMalformedListToTheErrorHandler) {
    HeadlessSession h({'N'});
    EXPECT_THROW(TWORZ(h.session, "nowa,KOD,X,5,0", true, 3), ProgramEnd);
    EXPECT_FALSE(FILE_X("nowa.dbf"));
    PauseSession h2({U'N'});
    EXPECT_THROW(TWORZ(h2.session, "nowa,KOD,C,5", true, 3), ProgramEnd);
    EXPECT_TRUE(h2.saw("Bledna lista pol"));
}

TEST_F(LocksTest, RecLockAndAddRecTryOnceAtOnceWhateverTheWait) {
    // With no time left to wait, the first attempt is the only one.
    PauseSession p;
    ASSERT_TRUE(NET_USE(p.session, "16\\03\\pk", "pk", false, 1));
    dbf::Table& pk = p.session.areas.table();
    pk.go_to(3);
    EXPECT_TRUE(REC_LOCK(p.session, -1));
    EXPECT_EQ(pk.locked_record(), 3u);
    EXPECT_TRUE(ADD_REC(p.session, -0.5));
    EXPECT_EQ(pk.recno(), 9u);
    pk.unlock();
    OtherStation other("16/03/pk.dbf", 0);
    ASSERT_TRUE(other.lock(1'000'000'003));
    pk.go_to(3);
    EXPECT_FALSE(REC_LOCK(p.session, -1));
    EXPECT_EQ(p.terminal.pauses, 0);
    EXPECT_EQ(p.clock.now_ms(), 0);
}

TEST_F(LocksTest, AddRecPausesHalfASecondAndWaitZeroGoesOnUntilItCanAppend) {
    PauseSession p;
    ASSERT_TRUE(NET_USE(p.session, "16\\03\\pk", "pk", false, 1));
    OtherStation other("16/03/pk.dbf", 0);
    ASSERT_TRUE(other.lock(1'000'000'001, 1'000'000'000));  // the other's file lock
    EXPECT_FALSE(ADD_REC(p.session, 2));
    EXPECT_EQ(p.terminal.timeouts, std::vector<int>(4, 500));
    p.terminal.timeouts.clear();
    p.terminal.on_wait = [&](int n) {
        if (n == 4 + 7) other.release();
    };
    EXPECT_TRUE(ADD_REC(p.session, 0));
    EXPECT_EQ(p.terminal.timeouts, std::vector<int>(7, 500));
    EXPECT_EQ(p.session.areas.table().recno(), 9u);
}

TEST_F(LocksTest, NetUseWithWaitZeroGoesOnUntilTheTableIsFree) {
    PauseSession p;
    OtherStation other("firma.dbf", LOCK_EX);
    p.terminal.on_wait = [&](int n) {
        if (n == 4) other.release();
    };
    EXPECT_TRUE(NET_USE(p.session, "firma", "firma", false, 0));
    EXPECT_EQ(p.terminal.timeouts, std::vector<int>(4, 1000));
    EXPECT_TRUE(p.session.areas.used());
}

TEST_F(LocksTest, NetUsePutsBackWhatItsNoticeCoveredAndShowsItOnlyForExclusiveOpenings) {
    PauseSession p;
    for (int r = 0; r < 25; ++r) p.screen.say(r, 0, std::string(80, static_cast<char>('a' + r)));
    const std::string before = p.rows();
    {
        OtherStation other("firma.dbf", LOCK_SH);
        EXPECT_FALSE(NET_USE(p.session, "firma", "firma", true, 2));
        EXPECT_TRUE(p.saw("Otwieram plik firma.dbf"));
    }
    EXPECT_EQ(p.rows(), before);
    EXPECT_TRUE(NET_USE(p.session, "firma", "firma", true, 1));
    EXPECT_EQ(p.rows(), before);

    // A shared opening, refused or not, says nothing.
    p.seen.clear();
    p.session.areas.select(2);
    {
        OtherStation other("16/03/pk.dbf", LOCK_EX);
        EXPECT_FALSE(NET_USE(p.session, "16\\03\\pk", "pk", false, 2));
    }
    EXPECT_TRUE(NET_USE(p.session, "16\\03\\pk", "pk", false, 1));
    EXPECT_FALSE(p.saw("Otwieram"));
    EXPECT_EQ(p.rows(), before);
}

TEST_F(LocksTest, TworzClosesTheCurrentAreasTableAndBorrowsAnAreaFrom88To98) {
    HeadlessSession h;
    DIRMAKE("rob");
    h.session.areas.select(7);
    ASSERT_TRUE(TWORZ(h.session, "rob\\d03,LP,C,3,0", true, 3));
    // The work table the caller has open in the current area gives way to the new one.
    ASSERT_TRUE(NET_USE(h.session, "rob\\d03", "d03", true, 1));
    ASSERT_TRUE(TWORZ(h.session, "rob\\d03,KOD,C,5,0", true, 3));
    EXPECT_FALSE(h.session.areas.used(7));
    EXPECT_EQ(dbf::DbfFile::open("rob/d03.dbf", Share::Shared)->fields()[0].name, "KOD");

    for (int free_area : {88, 98}) {
        SCOPED_TRACE(free_area);
        for (int a = 88; a <= 98; ++a) {
            if (a == free_area) continue;
            h.session.areas.select(a);
            ASSERT_TRUE(NET_USE(h.session, "firma", "f" + std::to_string(a), false, 1));
        }
        h.session.areas.select(4);
        EXPECT_TRUE(TWORZ(h.session, "nowa,KOD,C,5,0", true, 3));
        EXPECT_EQ(h.session.areas.current(), 4);
        EXPECT_FALSE(h.session.areas.used(free_area));
        for (int a = 88; a <= 98; ++a) h.session.areas.close(a);
    }
}

TEST_F(LocksTest, AnotherProgramsAppendLockIsWaitedForWithANoticeAndThenTheHandlersChoice) {
    PauseSession p;
    ASSERT_TRUE(NET_USE(p.session, "16\\03\\pk", "pk", false, 1));
    dbf::Table& pk = p.session.areas.table();
    OtherStation other("16/03/pk.dbf", 0);
    ASSERT_TRUE(other.lock(1'000'000'000));  // the append lock, held and never let go
    p.answer_handler({U'T', U'N'});
    EXPECT_THROW(ADD_REC(p.session, 1), ProgramEnd);
    EXPECT_TRUE(p.saw("Czekam na plik pk.dbf"));
    EXPECT_TRUE(p.saw("Plik zablokowany przez inny program"));
    EXPECT_TRUE(p.saw("pk.dbf"));
    // Half a minute, T waits another half minute, then N ends it.
    EXPECT_GE(p.clock.now_ms(), 60'000);
    EXPECT_LT(p.clock.now_ms(), 62'000);
    EXPECT_EQ(pk.record_count(), 8u);
}

TEST_F(LocksTest, AnIndexLockLetGoWhileWaitingEndsTheWaitAndTheNotice) {
    PauseSession p;
    for (int r = 0; r < 25; ++r) p.screen.say(r, 0, std::string(80, '.'));
    const std::string before = p.rows();
    ASSERT_TRUE(NET_USE(p.session, "16\\03\\pk", "pk", false, 1));
    dbf::Table& pk = p.session.areas.table();
    pk.add_index("16\\03\\pk");
    OtherStation other("16/03/pk.ntx", 0);
    ASSERT_TRUE(other.lock(1'000'000'000));  // the index's write lock, as during another's update
    p.terminal.on_wait = [&](int) {
        p.seen += p.rows();
        if (p.clock.now_ms() >= 5000) other.release();
    };
    pk.go_bottom();
    EXPECT_FALSE(pk.eof());
    EXPECT_TRUE(p.saw("Czekam na plik pk.ntx"));
    EXPECT_GE(p.clock.now_ms(), 5000);
    EXPECT_LT(p.clock.now_ms(), 5200);
    EXPECT_EQ(p.rows(), before);
}

TEST_F(LocksTest, AWriteFailingInsideRecLockGoesToTheErrorHandler) {
    PauseSession p;
    ASSERT_TRUE(NET_USE(p.session, "16\\03\\pk", "pk", false, 1));
    dbf::Table& pk = p.session.areas.table();
    pk.add_index("16\\03\\pk");
    pk.go_to(2);
    ASSERT_TRUE(REC_LOCK(p.session, 1));
    pk.put(1, std::string("ZZZ"));
    {
        // A damaged page in the index the pending change must reach, met
        // after another workstation's update.
        std::fstream f("16/03/pk.ntx", std::ios::in | std::ios::out | std::ios::binary);
        char root[4];
        f.seekg(4);
        f.read(root, 4);
        f.seekp(static_cast<unsigned char>(root[0]) | static_cast<unsigned char>(root[1]) << 8);
        f.write("\xff\x7f", 2);
        f.seekp(2);  // the version moved on, as after another's update: cached pages go
        f.write("\x40\x00", 2);
    }
    p.answer_handler({U'N'});
    EXPECT_THROW(REC_LOCK(p.session, 1), ProgramEnd);
    EXPECT_TRUE(p.saw("Nie uaktualniono indeksu"));
    EXPECT_TRUE(p.saw("pk.ntx"));
    EXPECT_FALSE(p.session.areas.used());  // the handler closed the tables
}

// In a child process, for its file-size limit: ADD_REC meets a full disk,
// the handler's window comes up, room is made meanwhile, and T appends.
[[noreturn]] void add_rec_on_a_full_disk() {
    int faults = 0;
    auto check = [&](bool ok, const char* what) {
        if (!ok) {
            std::fprintf(stderr, "FAULT: %s\n", what);
            ++faults;
        }
    };
    ::signal(SIGXFSZ, SIG_IGN);
    PauseSession p;
    check(NET_USE(p.session, "16\\03\\pk", "pk", false, 1), "opening");
    rlimit old{};
    ::getrlimit(RLIMIT_FSIZE, &old);
    rlimit tight = old;
    tight.rlim_cur = static_cast<rlim_t>(std::filesystem::file_size("16/03/pk.dbf"));
    ::setrlimit(RLIMIT_FSIZE, &tight);
    p.terminal.on_wait = [&](int) {
        std::string now = p.rows();
        if (now.find("T - ponow probe") == std::string::npos) return;
        check(now.find("Blad zapisu pliku") != std::string::npos, "the cause is not shown");
        ::setrlimit(RLIMIT_FSIZE, &old);
        p.terminal.keys.push_back(U'T');
    };
    check(ADD_REC(p.session, 1), "ADD_REC did not append after T");
    check(p.session.areas.table().recno() == 9, "not on the new record");
    check(p.terminal.keys.empty() && p.terminal.waits == 1, "the handler was not asked once");
    ::_exit(faults);
}

TEST_F(LocksTest, AWriteFailingInsideAddRecGoesToTheErrorHandler) {
    EXPECT_EXIT(add_rec_on_a_full_disk(), ::testing::ExitedWithCode(0), "");
}

TEST_F(LocksTest, DirmakeCreatesOneFolder) {
    EXPECT_EQ(DIRMAKE("NOWY"), 0);
    EXPECT_TRUE(std::filesystem::is_directory("nowy"));
    EXPECT_EQ(DIRMAKE("nowy"), -EEXIST);
    EXPECT_EQ(DIRMAKE("brak\\podfolder"), -ENOENT);
    EXPECT_EQ(DIRMAKE("16\\03\\ROB"), 0);
    EXPECT_TRUE(std::filesystem::is_directory("16/03/rob"));
}

}  // namespace
}  // namespace durva
