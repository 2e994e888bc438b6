#include "common/error_handler.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "support/headless_session.h"

namespace durva::testing {
namespace {

// The whole screen as text, for finding what a window left on it.
std::string screen_text(const HeadlessSession& h) {
    std::string all;
    for (int r = 0; r < 25; ++r) all += h.text(r, 0, 80) + "\n";
    return all;
}

TEST(GeneralErrorHandler, RetryGivesTheScreenBack) {
    HeadlessSession h({'x', 't'});
    h.screen.say(10, 0, std::string(80, '.'));
    const auto before = h.screen.save_all();
    handle_db_error(h.session, DbError("Brak pliku", "16\\03\\as.dbf", ENOENT));
    const auto after = h.screen.save_all();
    for (std::size_t i = 0; i < before.cells.size(); ++i) ASSERT_EQ(after.cells[i].ch, before.cells[i].ch) << i;
}

TEST(GeneralErrorHandler, EndingLeavesTheCauseTheFileAndTheSystemsText) {
    HeadlessSession h({'N'});
    const DbError error("Nie mozna utworzyc pliku", "rob\\d03.dbf", EACCES);
    EXPECT_THROW(handle_db_error(h.session, error), ProgramEnd);

    // The window stays as the last screen, with the system's own words for the code.
    const std::string shown = screen_text(h);
    const std::string system_text = std::strerror(EACCES);
    EXPECT_NE(shown.find("Nie mozna utworzyc pliku"), std::string::npos) << shown;
    EXPECT_NE(shown.find("rob\\d03.dbf"), std::string::npos) << shown;
    EXPECT_NE(shown.find("Kod bledu systemu: " + std::to_string(EACCES) + " (" + system_text + ")"),
              std::string::npos)
        << shown;
    EXPECT_NE(shown.find("Program zakonczony"), std::string::npos) << shown;
    EXPECT_EQ(shown.find("ponow probe"), std::string::npos) << shown;

    // And the same in full for standard error once the terminal is given back.
    const std::string& note = program_end_note();
    EXPECT_NE(note.find("Nie mozna utworzyc pliku: rob\\d03.dbf"), std::string::npos) << note;
    EXPECT_NE(note.find(system_text), std::string::npos) << note;
}

}  // namespace
}  // namespace durva::testing
