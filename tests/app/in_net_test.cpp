#include "app/in_net.h"

#include <gtest/gtest.h>

#include <string>

#include "app/station_support.h"
#include "common/dbf/work_areas.h"
#include "support/current_folder.h"
#include "support/fixture_folder.h"
#include "support/headless_session.h"

namespace durva::testing {

namespace {

// The text on the message row of the dialog window.
std::string message_row(HeadlessSession& h) { return h.text(17, 0, 80); }

bool shows(HeadlessSession& h, std::string_view text) { return message_row(h).find(text) != std::string::npos; }

}  // namespace

class SignIn : public ::testing::Test {
protected:
    SignIn() : folder_("kod13"), here_(folder_.path()) {}
    void set_st(const std::string& st) { test::write_company_field(folder_.file("firma.dbf"), "ST", st); }
    std::string st() const { return test::read_station_string(folder_.file("firma.dbf")); }

    test::TempFolder folder_;
    test::CurrentFolder here_;
};

TEST_F(SignIn, FirstWorkstationClearsLeftoverPositionsAndTakesStationOne) {
    set_st("0110000000");  // 2 and 3 left by workstations that crashed
    HeadlessSession h;
    EXPECT_EQ(IN_NET(h.session), 1);
    EXPECT_EQ(h.session.areas.current(), 1);
    ASSERT_TRUE(h.session.areas.used());
    // Held exclusively until the company tables are opened.
    EXPECT_TRUE(h.session.areas.table().exclusive());
    EXPECT_EQ(h.clock.now_ms(), 0) << "the exclusive opening succeeded at once";
    h.session.areas.close_all();
    EXPECT_EQ(st(), "1000000000");
}

struct SharedCase {
    const char* name;
    const char* before;
    int station;
    const char* after;
    const char* message;
};

class SignInBesideOthers : public SignIn, public ::testing::WithParamInterface<SharedCase> {};

TEST_P(SignInBesideOthers, TakesTheFirstFreePositionUpToNine) {
    const SharedCase& c = GetParam();
    set_st(c.before);
    // Another workstation has the company table open.
    dbf::WorkAreas other;
    other.use("firma", "firma", platform::Share::Shared);

    HeadlessSession h;
    EXPECT_EQ(IN_NET(h.session), c.station);
    // One exclusive attempt and its pause of a second, then the shared opening.
    EXPECT_EQ(h.clock.now_ms(), 1000);
    EXPECT_TRUE(h.session.areas.used(1));
    if (*c.message) EXPECT_TRUE(shows(h, c.message)) << message_row(h);
    else EXPECT_EQ(message_row(h).find("Wszystkie"), std::string::npos);
    // The company record is let go as soon as the position is written: the
    // other workstation can lock it while this one still has the table open.
    EXPECT_TRUE(other.table().lock_record());
    other.table().unlock();
    h.session.areas.close_all();
    other.close_all();
    EXPECT_EQ(st(), c.after);
}

INSTANTIATE_TEST_SUITE_P(
    Strings, SignInBesideOthers,
    ::testing::Values(SharedCase{"OnlyFirstTaken", "1000000000", 2, "1100000000", ""},
                      SharedCase{"OnlySecondFree", "1011111111", 2, "1111111111", ""},
                      SharedCase{"AllFree", "0000000000", 1, "1000000000", ""},
                      SharedCase{"NinthFree", "1111111101", 9, "1111111111", ""},
                      SharedCase{"OnlyTenthFree", "1111111110", 0, "1111111110", "Wszystkie stacje zajete"},
                      SharedCase{"NoneFree", "1111111111", 0, "1111111111", "Wszystkie stacje zajete"},
                      SharedCase{"BlankString", "          ", 0, "          ", "Wszystkie stacje zajete"}),
    [](const ::testing::TestParamInfo<SharedCase>& p) { return std::string(p.param.name); });

TEST_F(SignIn, CompanyTableHeldExclusivelyElsewhereIsTroubleSigningIn) {
    set_st("1000000000");
    dbf::WorkAreas other;
    other.use("firma", "firma", platform::Share::Exclusive);
    HeadlessSession h;
    EXPECT_EQ(IN_NET(h.session), 0);
    EXPECT_TRUE(shows(h, "Mam problemy z wejsciem"));
    EXPECT_EQ(h.clock.now_ms(), 2000);  // one exclusive and one shared attempt, each with its pause
    other.close_all();
    EXPECT_EQ(st(), "1000000000");
}

TEST_F(SignIn, RecordLockHeldForTwentySecondsIsTroubleSigningIn) {
    set_st("1000000000");
    dbf::WorkAreas other;
    other.use("firma", "firma", platform::Share::Shared);
    ASSERT_TRUE(other.table().lock_record());
    HeadlessSession h;
    EXPECT_EQ(IN_NET(h.session), 0);
    EXPECT_TRUE(shows(h, "Mam problemy z wejsciem"));
    // The opening's second, then 20 seconds of lock attempts.
    EXPECT_EQ(h.clock.now_ms(), 1000 + 20'000);
    h.session.areas.close_all();
    other.close_all();
    EXPECT_EQ(st(), "1000000000");
}

TEST_F(SignIn, EmptyCompanyTableIsSaid) {
    // A company table without its record: nothing to sign in on.
    {
        dbf::TableSettings settings;
        auto t = dbf::Table::open(folder_.file("firma.dbf"), platform::Share::Exclusive, settings);
        t->zap();
        t->close();
    }
    HeadlessSession h;
    EXPECT_EQ(IN_NET(h.session), 0);
    EXPECT_TRUE(shows(h, "Brak danych firmy")) << message_row(h);
}

struct SignOutCase {
    const char* name;
    const char* before;
    int station;
    const char* after;
};

class SignOut : public SignIn, public ::testing::WithParamInterface<SignOutCase> {};

TEST_P(SignOut, FreesOnlyItsOwnPosition) {
    const SignOutCase& c = GetParam();
    set_st(c.before);
    dbf::WorkAreas other;
    other.use("firma", "firma", platform::Share::Shared);
    HeadlessSession h;
    h.session.areas.select(1);
    h.session.areas.use("firma", "firma", platform::Share::Shared);
    h.session.areas.select(4);
    h.session.values.STACJA = c.station;
    EXPECT_TRUE(OUT_NET(h.session));
    EXPECT_EQ(h.session.areas.current(), 4);
    EXPECT_TRUE(other.table().lock_record());  // the sign-out's lock is let go
    other.table().unlock();
    h.session.areas.close_all();
    other.close_all();
    EXPECT_EQ(st(), c.after);
}

INSTANTIATE_TEST_SUITE_P(Strings, SignOut,
                         ::testing::Values(SignOutCase{"FourOfFour", "1111000000", 4, "1110000000"},
                                           SignOutCase{"First", "1100000000", 1, "0100000000"},
                                           SignOutCase{"AlreadyFree", "1010000000", 2, "1010000000"},
                                           SignOutCase{"NoStation", "1100000000", 0, "1100000000"}),
                         [](const ::testing::TestParamInfo<SignOutCase>& p) { return std::string(p.param.name); });

TEST_F(SignIn, SignOutWithoutACompanyTableChangesNothing) {
    set_st("1111000000");
    HeadlessSession h;
    h.session.areas.select(7);
    h.session.values.STACJA = 4;
    EXPECT_TRUE(OUT_NET(h.session));
    EXPECT_EQ(h.session.areas.current(), 7);
    EXPECT_FALSE(h.session.areas.used(1));
    EXPECT_EQ(h.clock.now_ms(), 0);
    EXPECT_EQ(st(), "1111000000");
}

TEST_F(SignIn, SignOutLeavesThePositionWhenTheLockIsNotGranted) {
    set_st("1111000000");
    dbf::WorkAreas other;
    other.use("firma", "firma", platform::Share::Shared);
    ASSERT_TRUE(other.table().lock_record());
    HeadlessSession h;
    h.session.areas.select(1);
    h.session.areas.use("firma", "firma", platform::Share::Shared);
    h.session.values.STACJA = 2;
    EXPECT_TRUE(OUT_NET(h.session));
    EXPECT_EQ(h.clock.now_ms(), 20'000);
    h.session.areas.close_all();
    other.close_all();
    EXPECT_EQ(st(), "1111000000");
}

TEST(FirstFreeStation, NeverTheTenth) {
    EXPECT_EQ(first_free_station("0000000000"), 1);
    EXPECT_EQ(first_free_station("1111111110"), 0);
    EXPECT_EQ(first_free_station("1111111101"), 9);
    EXPECT_EQ(first_free_station("11"), 0);
    EXPECT_EQ(first_free_station(""), 0);
}

}  // namespace durva::testing
