// A session nobody watches: nothing waits for a key, messages are kept for
// the run's report, questions and the error handler end instead of asking,
// and the driver's report becomes text.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "common/_fun1.h"
#include "common/error_handler.h"
#include "driver/error_durva.h"
#include "platform/unattended_terminal.h"
#include "support/current_folder.h"
#include "support/fixture_folder.h"
#include "support/headless_session.h"

namespace durva::testing {
namespace {

TEST(UnattendedTerminal, TimedWaitsPassOnTheClockAWaitWithoutEndThrows) {
    platform::TestClock clock;
    platform::UnattendedTerminal terminal(clock);
    screen::Screen scr(terminal, clock);
    EXPECT_EQ(scr.inkey(0.5), 0);
    EXPECT_EQ(clock.now_ms(), 500);
    EXPECT_EQ(scr.poll_key(), 0);
    EXPECT_THROW(scr.inkey(0), platform::NoOperator);
    EXPECT_EQ(clock.now_ms(), 500);
}

TEST(UnattendedSession, MessagesAreKeptNotShownQuestionsAndErrorsEndTheRun) {
    HeadlessSession h;  // no keys: any wait for one would throw ScriptExhausted
    Session& s = h.session;
    s.unattended = true;
    const std::string before = h.text(17, 0, 80);
    _OKNO_(s, "jedna sekunda");
    _OKNO_(s, "do klawisza", 0.0);
    _OKNO_(s, "zostaje", "...");
    EXPECT_EQ(s.messages, (std::vector<std::string>{"jedna sekunda", "do klawisza", "zostaje"}));
    EXPECT_EQ(h.clock.now_ms(), 0);
    EXPECT_EQ(h.text(17, 0, 80), before);

    EXPECT_THROW(OKNO(s, "Kasowac ?", "T"), platform::NoOperator);
    EXPECT_EQ(s.messages.back(), "Kasowac ?");
    EXPECT_TRUE(OKNO(s, "Kasowac ?", " ", "T"));  // the auto flag still answers

    EXPECT_FALSE(operator_retries(s, DbError("Plik zablokowany przez inny program", "16/03/slow.dbf", 11)));
    EXPECT_EQ(s.messages.back().substr(0, 52), "Plik zablokowany przez inny program: 16/03/slow.dbf ");
    EXPECT_EQ(program_end_note(), s.messages.back());
    EXPECT_EQ(h.clock.now_ms(), 0);
}

TEST(UnattendedSession, DriverReportIsTextAndWaitsForNothing) {
    using K = DriverReport::Kind;
    struct Case {
        std::optional<std::string> error_file;
        K kind;
        std::string text;
    };
    const Case cases[] = {
        {"0;0;OK, zapisano PLU: 4\r\n", K::Good, "Wszystko dobrze"},
        {"5;3;Zly kod PLU\r\ndalszy wiersz\r\n", K::Error, "5;3;Zly kod PLU"},
        {"12;0;" + std::string(100, 'x'), K::Error, "12;0;" + std::string(74, 'x')},
        {"", K::Empty, "Pusty plik error.txt: brak raportu"},
        {std::nullopt, K::NoFile, "Sterownik nie zostawil pliku error.txt"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        test::TempFolder folder;
        test::CurrentFolder here(folder.path());
        std::filesystem::create_directories(folder.path() / "durva");
        if (c.error_file) std::ofstream(folder.path() / "durva" / "error.txt", std::ios::binary) << *c.error_file;
        HeadlessSession h;
        h.session.unattended = true;
        const DriverReport r = ERROR_DURVA(h.session);
        EXPECT_EQ(r.kind, c.kind);
        EXPECT_EQ(r.text, c.text);
        EXPECT_EQ(r.good(), c.kind == K::Good);
        EXPECT_EQ(h.clock.now_ms(), 0);
    }
}

}  // namespace
}  // namespace durva::testing
