#include "driver/driver_run.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "common/_fun1.h"
#include "common/_fun3.h"
#include "common/dbf/xbase_values.h"
#include "common/dirmake.h"
#include "common/error_handler.h"
#include "platform/errors.h"
#include "platform/file.h"
#include "platform/folder_file.h"
#include "platform/path_resolver.h"
#include "platform/process.h"

namespace durva {

namespace {

constexpr std::string_view kInputFile = "durva\\data_in.txt";
constexpr std::string_view kErrorFile = "durva\\error.txt";
constexpr std::string_view kDriverProgram = "durvadrv.exe";
// Set to PATH (in any case) by an office that will not have whoever can
// write the office folder choose the program run at the register desk.
constexpr const char* kDriverSearchSetting = "DURVA_STEROWNIK";

// A port or a speed as the driver reads it: the number without blanks.
std::string number_word(double value) {
    if (std::isfinite(value) && value == std::floor(value) && std::fabs(value) < 1e15)
        return std::to_string(static_cast<long long>(value));
    std::string text = dbf::str_number(value, 30, 2);
    text.erase(0, text.find_first_not_of(' '));
    return text;
}

// Removes the previous run's error file, so that whatever report follows is
// this run's. Both spellings are removed where the folder holds both.
bool remove_error_file() {
    for (int i = 0; i < 4 && FILE_X(kErrorFile); ++i) {
        const std::string path = platform::resolve_path(kErrorFile);
        if (std::remove(path.c_str()) != 0 && errno != ENOENT) return false;
    }
    return !FILE_X(kErrorFile);
}

std::string upper(std::string w) {
    for (char& c : w)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return w;
}

bool is_start_wait(const std::vector<std::string>& words) {
    return words.size() >= 2 && upper(words[0]) == "START" && upper(words[1]) == "/WAIT";
}

// Where the driver is looked for: the office folder first, as the office's
// machines always did, or only on the search path when the setting says so.
platform::ProgramSearch driver_search() {
    const char* setting = std::getenv(kDriverSearchSetting);
    return setting && upper(setting) == "PATH" ? platform::ProgramSearch::SearchPathOnly
                                               : platform::ProgramSearch::WorkingFolderFirst;
}

// A message that stays until the operator presses a key.
void tell_until_key(Session& s, std::string_view text) { _OKNO_(s, text, 0.0); }

constexpr std::string_view kDriverLock = "durva\\durvadrv.lck";
constexpr std::string_view kEarlierDriverMessage = "Poprzedni odczyt kasy jeszcze trwa - czekam (Esc - przerwij)";
// How long an unattended run waits for an earlier driver: longer than a
// driver run waits for its register (ct=20000) and reads a full one.
constexpr double kUnattendedDriverWait = 180;

// The folder's driver lock, taken without waiting: the open file, locked,
// or -1 while another driver run holds it. The descriptor is inherited by
// the driver (no close-on-exec), which keeps the lock while it lives.
int take_driver_lock() {
    DIRMAKE("DURVA");
    const std::string path = platform::resolve_path(kDriverLock);
    // A symlink or a pipe planted at its name is replaced, never followed.
    const int fd = platform::open_own(path);
    if (fd < 0) throw DbError("Nie moge otworzyc pliku blokady sterownika", path, errno);
    ::fcntl(fd, F_SETFD, 0);  // for the driver to inherit
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return fd;
    const int err = errno;
    ::close(fd);
    if (err != EWOULDBLOCK && err != EINTR) throw DbError("Nie moge zablokowac pliku sterownika", path, err);
    return -1;
}

// Waits for the driver lock as wait_for_earlier_driver() says; -1 when the
// earlier run still goes on.
int wait_for_driver_lock(Session& s) {
    int fd = with_error_handler(s, [] { return take_driver_lock(); });
    if (fd >= 0) return fd;
    _OKNO_(s, kEarlierDriverMessage, "...");
    for (double waited = 0; fd < 0; waited += 0.5) {
        if (s.unattended ? waited >= kUnattendedDriverWait : s.screen.inkey(0.5) == 27) break;
        if (s.unattended) s.clock.sleep_ms(500);
        fd = with_error_handler(s, [] { return take_driver_lock(); });
    }
    return fd;
}

}  // namespace

std::string driver_command_line(DriverCommand kind, double port, double speed) {
    const std::string cp = number_word(port);
    const std::string cs = speed == 0 ? std::string("9600") : number_word(speed);
    switch (kind) {
        case DriverCommand::Send:
            return "durvadrv.exe dp=durva if=data_in.txt cp=" + cp + " ct=20000 cs=" + cs;
        case DriverCommand::ReadOut:
            return "durvadrv.exe dp=durva if=data_in.txt af=T cp=" + cp + " ct=20000 cs=" + cs;
        case DriverCommand::Departments:
            return "durvadrv.exe dp=durva if=data_in.txt cp=" + cp + " cs=" + cs;
        case DriverCommand::DepartmentsStartWait:
            return "start /WAIT durvadrv.exe dp=durva if=data_in.txt cp=" + cp + " cs=" + cs;
    }
    return {};
}

void write_input_file(Session& s, std::string_view control_line, const std::vector<std::string>& records,
                      bool echo) {
    std::string text(control_line);
    for (const std::string& record : records) {
        text += "\r\n";
        text += record;
    }
    text += "\r\n";
    with_error_handler(s, [&] {
        auto file = platform::File::create(platform::resolve_path(kInputFile));
        file->write_at(text.data(), text.size(), 0);
    });
    if (echo) s.screen.out(text);
}

bool wait_for_earlier_driver(Session& s) {
    const int fd = wait_for_driver_lock(s);
    if (fd < 0) return false;
    ::close(fd);
    return true;
}

bool run_driver(Session& s, MenuValues& m, DriverCommand kind) {
    m.AAA = driver_command_line(kind, m.PORT, m.PREDKOSC);
    const int lock = wait_for_driver_lock(s);
    if (lock < 0) {
        tell_until_key(s, "Poprzedni odczyt kasy jeszcze trwa - sterownik nie uruchomiony");
        return false;
    }
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{lock};

    if (!remove_error_file()) {
        tell_until_key(s, "Nie mozna usunac pliku durva\\error.txt");
        return false;
    }

    std::vector<std::string> words = platform::split_command_words(m.AAA);
    // There is no command interpreter here to hand "start /WAIT" to: the
    // driver is started directly and waited for, which is what that form
    // asks of the interpreter.
    if (is_start_wait(words)) words.erase(words.begin(), words.begin() + 2);
    const std::optional<std::string> program =
        words.empty() ? std::nullopt : platform::find_program(words.front(), driver_search());
    if (!program) {
        tell_until_key(s, "Brak programu " + std::string(kDriverProgram));
        return false;
    }

    const std::vector<std::string> args(words.begin() + 1, words.end());
    const platform::ChildRun run = platform::run_and_wait(*program, args);
    // Keys pressed while the driver worked were meant for nothing; they must
    // not answer the report that follows before the operator has seen it.
    s.screen.clear_keys();
    if (!run.started) {
        tell_until_key(s, "Nie mozna uruchomic " + std::string(kDriverProgram));
        return false;
    }
    // The exit status says nothing the error file does not: it is not looked at.
    return true;
}

}  // namespace durva
