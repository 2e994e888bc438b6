// Printing through a private print server whose queues print to files; the
// server is started for these tests (scripts/cups_test_queue.sh), or taken
// from DURVA_TEST_CUPS (its socket) when the test script started one.
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

#include "common/editor.h"
#include "common/screen/codepage.h"
#include "print/cups_printer.h"
#include "print/print_settings.h"
#include "print/text_encoding.h"
#include "support/current_folder.h"
#include "support/fixture_folder.h"
#include "support/headless_session.h"

namespace durva::testing {

namespace {

namespace fs = std::filesystem;

std::string read_all(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// The folder of the server's output files, "" when no server could be had.
class PrintServer {
public:
    static PrintServer& get() {
        static PrintServer server;
        return server;
    }
    bool up() const { return !socket_.empty(); }
    const std::string& socket() const { return socket_; }
    fs::path output(const std::string& queue) const { return fs::path(socket_).parent_path() / "out" / (queue + ".txt"); }
    // The server's network address, "" when it has none.
    std::string network_address() const {
        std::string port = read_all(fs::path(socket_).parent_path() / "tcp_port");
        while (!port.empty() && port.back() == '\n') port.pop_back();
        return port.empty() ? "" : "127.0.0.1:" + port;
    }
    const std::string& why_not() const { return why_not_; }

    ~PrintServer() {
        if (!own_folder_.empty()) {
            const std::string stop = "bash '" + script() + "' stop '" + own_folder_ + "' >/dev/null 2>&1";
            [[maybe_unused]] const int rc = std::system(stop.c_str());
            std::error_code ec;
            fs::remove_all(own_folder_, ec);
        }
    }

private:
    static std::string script() {
        return (fs::path(__FILE__).parent_path().parent_path().parent_path() / "scripts" / "cups_test_queue.sh").string();
    }
    PrintServer() {
        if (const char* given = std::getenv("DURVA_TEST_CUPS"); given && *given) {
            socket_ = given;
            return;
        }
        std::string tmpl = (fs::temp_directory_path() / "durva-cups-XXXXXX").string();
        if (!::mkdtemp(tmpl.data())) return;
        own_folder_ = tmpl;
        const std::string start = "bash '" + script() + "' start '" + own_folder_ + "' 2>&1";
        std::string out;
        if (FILE* p = ::popen(start.c_str(), "r")) {
            char buf[512];
            std::size_t n;
            while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
            if (::pclose(p) == 0 && out.ends_with("cups.sock\n")) {
                socket_ = out.substr(0, out.size() - 1);
                socket_ = socket_.substr(socket_.find_last_of('\n') + 1);
                return;
            }
        }
        why_not_ = out;
    }
    std::string socket_, own_folder_, why_not_;
};

// Waits (a bounded while) for the server to write a job to its output file.
std::string printed(const fs::path& out, std::size_t at_least) {
    for (int i = 0; i < 100; ++i) {
        std::string got = read_all(out);
        if (got.size() >= at_least) return got;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return read_all(out);
}

#define NEED_SERVER()                                                                       \
    if (!PrintServer::get().up())                                                           \
    GTEST_SKIP() << "the private print server (cupsd) could not be started: " << PrintServer::get().why_not()

print::PrintSettings settings_for(const std::string& lpt1, const std::string& lpt2 = "durva_test") {
    return print::parse_print_settings("SERWER=" + PrintServer::get().socket() + "\nLPT1=" + lpt1 + "\nLPT2=" + lpt2 + "\n");
}

}  // namespace

TEST(PrinterText, MazoviaBecomesUtf8OrLatin2) {
    const std::string polish = screen::from_utf8("ąćęłńóśźżĄĆĘŁŃÓŚŹŻ");
    EXPECT_EQ(print::to_printer_text(polish, print::Charset::Utf8), "ąćęłńóśźżĄĆĘŁŃÓŚŹŻ");
    EXPECT_EQ(print::to_printer_text(polish, print::Charset::Latin2),
              "\xB1\xE6\xEA\xB3\xF1\xF3\xB6\xBC\xBF\xA1\xC6\xCA\xA3\xD1\xD3\xA6\xAC\xAF");
    // Line ends, form feeds and tabs pass; other control bytes do not; frames become lines.
    EXPECT_EQ(print::to_printer_text(std::string("a\r\n\f\tb\x1b\x01\x7f", 9), print::Charset::Utf8), "a\r\n\f\tb");
    EXPECT_EQ(print::to_printer_text(screen::from_utf8("┌─┐│"), print::Charset::Latin2), "+-+|");
}

TEST(PrinterSettings, QueuesCharsetsAndServer) {
    const auto s = print::parse_print_settings(
        "; drukarki biura\r\n lpt1 = biuro  iso-8859-2 \r\nLPT2=magazyn\r\nSERWER=druk.biuro:631\r\nsmieci\r\n");
    EXPECT_EQ(s.lpt1.queue, "biuro");
    EXPECT_EQ(s.lpt1.charset, print::Charset::Latin2);
    EXPECT_EQ(s.lpt2.queue, "magazyn");
    EXPECT_EQ(s.lpt2.charset, print::Charset::Utf8);
    EXPECT_EQ(s.server, "druk.biuro:631");
    EXPECT_EQ(&s.queue_for("LPT2"), &s.lpt2);
    EXPECT_EQ(&s.queue_for("LPT1"), &s.lpt1);
    const auto none = print::parse_print_settings("");
    EXPECT_TRUE(none.lpt1.queue.empty());
    EXPECT_EQ(none.lpt1.charset, print::Charset::Utf8);
}

TEST(CupsQueue, ReadinessOfQueues) {
    NEED_SERVER();
    EXPECT_EQ(print::queue_problem(settings_for("durva_test"), "LPT1"), "");
    EXPECT_EQ(print::queue_problem(settings_for("durva_stopped"), "LPT1"), "Drukarka zatrzymana");
    EXPECT_EQ(print::queue_problem(settings_for("durva_closed"), "LPT1"), "Drukarka nie przyjmuje wydrukow");
    EXPECT_EQ(print::queue_problem(settings_for("brak_takiej"), "LPT1"), "Brak drukarki brak_takiej");
    EXPECT_EQ(print::queue_problem(settings_for("brak_takiej", "durva_test"), "LPT2"), "");
}

TEST(CupsQueue, NoPrintServerIsNamedAsTheReason) {
    // Not the queue: the server it would be on is what is missing.
    const auto gone = print::parse_print_settings("SERWER=/nonexistent/cups.sock\nLPT1=durva_test\n");
    EXPECT_EQ(print::queue_problem(gone, "LPT1"), "Brak serwera wydruku");
    EXPECT_EQ(print::queue_problem(gone, "LPT2"), "Brak serwera wydruku");
    EXPECT_EQ(print::print_text(gone, "LPT1", "test", "tekst\r\n"), "Brak serwera wydruku");
}

TEST(CupsQueue, TextPrintedInUtf8OrLatin2AndARefusalSaid) {
    NEED_SERVER();
    const auto out = PrintServer::get().output("durva_test");
    const std::size_t before = read_all(out).size();
    const std::string text = screen::from_utf8("Zażółć gęślą\r\nstrona\f2\r\n");
    ASSERT_EQ(print::print_text(settings_for("durva_test"), "LPT1", "test", text), "");
    const std::string utf8 = "Zażółć gęślą\r\nstrona\f2\r\n";
    EXPECT_EQ(printed(out, before + utf8.size()).substr(before), utf8);

    const std::size_t next = read_all(out).size();
    ASSERT_EQ(print::print_text(settings_for("durva_test iso-8859-2"), "LPT1", "test", screen::from_utf8("żółw")), "");
    EXPECT_EQ(printed(out, next + 4).substr(next), "\xBF\xF3\xB3w");

    // The server's reason whole, however long.
    const std::string refused = print::print_text(settings_for("durva_closed"), "LPT1", "test", "x");
    EXPECT_EQ(refused, "Wydruk odrzucony: Destination \"durva_closed\" is not accepting jobs.");
    EXPECT_EQ(print::print_text(settings_for("brak_takiej"), "LPT1", "test", "x"), "Brak drukarki brak_takiej");
}

TEST(CupsQueue, AServerThatAsksForAPasswordGetsNoneAndTheOperatorIsTold) {
    NEED_SERVER();
    const std::string address = PrintServer::get().network_address();
    if (address.empty()) GTEST_SKIP() << "the private print server has no network address";
    const auto settings = print::parse_print_settings("SERWER=" + address + "\nLPT1=durva_haslo\n");
    // Printed from a process whose terminal the test reads, as the
    // operator's terminal: a question asked there would show and wait.
    int result[2];
    ASSERT_EQ(::pipe(result), 0);
    int terminal = -1;
    const pid_t child = ::forkpty(&terminal, nullptr, nullptr, nullptr);
    ASSERT_GE(child, 0);
    if (child == 0) {
        const std::string said = print::print_text(settings, "LPT1", "test", "x");
        [[maybe_unused]] const ssize_t n = ::write(result[1], said.data(), said.size());
        ::_exit(0);
    }
    ::close(result[1]);
    std::string shown, said;
    for (int waited = 0; waited < 100; ++waited) {
        char buf[512];
        pollfd fds[2] = {{terminal, POLLIN, 0}, {result[0], POLLIN, 0}};
        if (::poll(fds, 2, 100) <= 0) continue;
        if (fds[0].revents & POLLIN) {
            const ssize_t n = ::read(terminal, buf, sizeof buf);
            if (n > 0) shown.append(buf, static_cast<std::size_t>(n));
        }
        if (fds[1].revents & (POLLIN | POLLHUP)) {
            const ssize_t n = ::read(result[0], buf, sizeof buf);
            if (n <= 0) break;
            said.append(buf, static_cast<std::size_t>(n));
        }
    }
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    ::close(terminal);
    ::close(result[0]);
    EXPECT_EQ(shown, "");
    EXPECT_EQ(said, "Serwer zada hasla - wydruk nie wyslany");
}

TEST(CupsQueue, EditorF5PrintsTheTextOnTheSettingFilesQueue) {
    NEED_SERVER();
    test::TempFolder folder;
    test::CurrentFolder in(folder.path());
    std::ofstream(folder.file("drukarka.txt")) << "SERWER=" << PrintServer::get().socket() << "\nLPT1=durva_edit\n";
    std::ofstream(folder.file("LISTA.TXT"), std::ios::binary) << screen::from_utf8("pozycja łódź\r\n");
    const auto out = PrintServer::get().output("durva_edit");
    const std::size_t before = read_all(out).size();

    print::CupsPrinter printer;
    HeadlessSession h({Key::End, '!', Key::F5, Key::Enter, Key::Esc});
    h.session.printer = &printer;
    MEDIT(h.session, "LISTA.TXT");
    EXPECT_EQ(printed(out, before + 16).substr(before), "pozycja łódź!");
    EXPECT_EQ(read_all(folder.file("LISTA.TXT")), screen::from_utf8("pozycja łódź!\r\n"));
}

}  // namespace durva::testing
