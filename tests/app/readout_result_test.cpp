// What the scheduled read-out tells its scheduler for each way item 2 can
// end, and how it reads its command line.
#include "app/readout_result.h"

#include <gtest/gtest.h>

#include <cmath>

#include "app/scheduled_readout.h"
#include "receive/zrob_sd_voka.h"

namespace durva {
namespace {

using End = SalesReadOut::End;

SalesReadOut read_out(DriverReport::Kind driver, bool imported) {
    SalesReadOut r;
    r.driver_ran = true;
    r.driver.kind = driver;
    r.driver.text = driver == DriverReport::Kind::Good ? "Wszystko dobrze" : "12;0;Kasa zajeta";
    r.imported = imported;
    return r;
}

SalesReadOut booked(DriverReport::Kind driver) {
    SalesReadOut r = read_out(driver, true);
    r.import.booked = true;
    r.import.rd = "SD ";
    r.import.nrd = "      58";
    r.import.amount = 1234.5;
    r.import.rows = 7;
    r.import.listed = 2;
    return r;
}

TEST(ReadOutResult, EachEndingHasItsStatusAndLine) {
    using K = DriverReport::Kind;
    struct Case {
        const char* what;
        SalesReadOut r;
        std::string last_message;
        ReadOutStatus status;
        std::string line;
    };
    SalesReadOut not_started;
    not_started.driver_ran = false;
    SalesReadOut unusable;
    unusable.end = End::StandUnusable;
    SalesReadOut leftover = booked(K::Good);
    leftover.end = End::Leftover;
    leftover.driver_ran = false;
    SalesReadOut twice = read_out(K::Good, false);
    twice.import.not_booked = "Ta sprzedaz jest ksiegowana na stacji 02";
    SalesReadOut finished = read_out(K::Good, true);
    finished.import.finished = "Dokonczone: SD 57  na kwote  3.00 Z";
    SalesReadOut empty = read_out(K::Good, true);

    const Case cases[] = {
        {"booked", booked(K::Good), "", ReadOutStatus::Done,
         "zaksiegowano SD 58 na kwote 1234.50, wierszy 7, bez towaru 2 (lista rob\\wydruk03.prn)"},
        {"no sales", empty, "", ReadOutStatus::Done, "brak sprzedazy do zaksiegowania, bez towaru 0"},
        {"booked elsewhere", twice, "", ReadOutStatus::ImportFailed,
         "Ta sprzedaz jest ksiegowana na stacji 02 - nic nie zaksiegowano"},
        {"finished", finished, "", ReadOutStatus::Done,
         "Dokonczone: SD 57  na kwote  3.00 Z; brak sprzedazy do zaksiegowania, bez towaru 0"},
        {"left over", leftover, "", ReadOutStatus::Done,
         "wczytano plik pozostawiony w durva: zaksiegowano SD 58 na kwote 1234.50, wierszy 7, bez towaru 2 "
         "(lista rob\\wydruk03.prn)"},
        {"driver missing", not_started, "Brak programu durvadrv.exe", ReadOutStatus::DriverFailed,
         "Brak programu durvadrv.exe - nic nie zaksiegowano"},
        {"driver error, nothing back", read_out(K::Error, false), std::string(kNoSalesMessage),
         ReadOutStatus::DriverFailed, "sterownik: 12;0;Kasa zajeta - nic nie zaksiegowano"},
        {"driver good, no file", read_out(K::Good, false), std::string(kNoSalesMessage),
         ReadOutStatus::DriverFailed, "sterownik nie zostawil pliku sprzedazy - nic nie zaksiegowano"},
        {"driver error, yet booked", booked(K::Error), "", ReadOutStatus::DriverFailed,
         "zaksiegowano SD 58 na kwote 1234.50, wierszy 7, bez towaru 2 (lista rob\\wydruk03.prn); "
         "sterownik: 12;0;Kasa zajeta"},
        {"no counter", read_out(K::Good, false), "Brak w parametrach dowodu SD ", ReadOutStatus::ImportFailed,
         "Brak w parametrach dowodu SD  - nic nie zaksiegowano"},
        {"no port", unusable, "Bledny port lub predkosc kasy 04", ReadOutStatus::StandWithoutPort,
         "Bledny port lub predkosc kasy 04 - nic nie zaksiegowano"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const ReadOutResult got = result_of(c.r, "rob\\wydruk03.prn", c.last_message);
        EXPECT_EQ(got.status, c.status);
        EXPECT_EQ(got.line, c.line);
    }
}

TEST(ReadOutResult, AmountsWithTwoDecimalsAndNoGrouping) {
    EXPECT_EQ(amount_text(1234567.5), "1234567.50");
    EXPECT_EQ(amount_text(0.07), "0.07");
    EXPECT_EQ(amount_text(-3.5), "-3.50");
    EXPECT_EQ(amount_text(std::nan("")), "0.00");
}

TEST(ScheduledArgs, StandAndFolderInBothSpellingsAnythingElseRefused) {
    struct Case {
        std::vector<std::string> words;
        int stand;
        std::string folder;
        bool refused;
    };
    const Case cases[] = {
        {{"--odczyt", "3"}, 3, "", false},
        {{"--odczyt=17", "--folder", "/srv/biuro"}, 17, "/srv/biuro", false},
        {{"--folder=/srv/biuro", "--odczyt", "07"}, 7, "/srv/biuro", false},
        {{"--odczyt", "99"}, 99, "", false},
        {{"--odczyt", "100"}, 0, "", true},
        {{"--odczyt", "00"}, 0, "", true},
        {{"--odczyt", "-1"}, 0, "", true},
        {{"--odczyt="}, 0, "", true},
        {{"--odczyt", "1", "--folder"}, 0, "", true},
        {{"--odczyt", "1", "--folder="}, 0, "", true},
        {{"--odczyt", "1", "extra"}, 0, "", true},
        {{"--wyslij", "1", "--odczyt", "1"}, 0, "", true},
        {{"--wyslij=wszystkie"}, 0, "", false},
        {{"--wyslij", "12"}, 12, "", false},
    };
    for (const Case& c : cases) {
        const ScheduledArgs a = parse_scheduled_args(c.words);
        SCOPED_TRACE(c.words.back());
        EXPECT_EQ(!a.error.empty(), c.refused) << a.error;
        if (c.refused) continue;
        EXPECT_EQ(a.stand, c.stand);
        EXPECT_EQ(a.folder, c.folder);
    }
    EXPECT_TRUE(parse_scheduled_args({"--odczyt", "wszystkie"}).all);
    EXPECT_TRUE(parse_scheduled_args({"--wyslij", "2"}).job == ScheduledJob::Send);
    EXPECT_TRUE(wants_scheduled_run({"--odczyt=2"}));
    EXPECT_TRUE(wants_scheduled_run({"x", "--odczyt"}));
    EXPECT_TRUE(wants_scheduled_run({"--wyslij", "1"}));
    EXPECT_FALSE(wants_scheduled_run({"odczyt"}));
    EXPECT_FALSE(wants_scheduled_run({}));
}

}  // namespace
}  // namespace durva
