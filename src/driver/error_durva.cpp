#include "driver/error_durva.h"

#include <algorithm>
#include <optional>
#include <string>

#include "common/_fun1.h"
#include "common/_fun3.h"
#include "platform/read_handle.h"

namespace durva {

namespace {

constexpr std::string_view kErrorFile = "durva\\error.txt";
constexpr std::string_view kInputFile = "DURVA\\DATA_IN.TXT";
// The report needs the file's first 35 characters and the two fields at its
// start; a driver writes a line or two. Whatever lies beyond this is never
// looked at, so a runaway file is not read whole.
constexpr size_t kErrorFileLimit = 64 * 1024;
constexpr size_t kShownLength = 35;
constexpr size_t kLineFieldWindow = 30;
constexpr size_t kRowWidth = 79;
// Line numbers beyond any input file; keeps the arithmetic in range.
constexpr long kNumberCap = 1'000'000'000;

std::optional<std::string> read_error_file() {
    platform::ReadHandle file(kErrorFile);
    if (!file.is_open()) return std::nullopt;
    std::string text(kErrorFileLimit, '\0');
    text.resize(file.read(text.data(), text.size()));
    return text;
}

// The number at the start of a text: leading blanks skipped, an optional
// minus sign, digits up to the first other character; no digits give 0.
long leading_number(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && text[i] == ' ') ++i;
    bool negative = false;
    if (i < text.size() && text[i] == '-') {
        negative = true;
        ++i;
    }
    long n = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
        if (n < kNumberCap) n = n * 10 + (text[i] - '0');
    if (n > kNumberCap) n = kNumberCap;
    return negative ? -n : n;
}

// What a run's error file says: `present` whether it exists, `read` its
// bytes when it could be read.
DriverReport report_of(bool present, const std::optional<std::string>& read) {
    DriverReport r;
    if (!present) {
        // The old file was removed before the run, so its absence means the
        // driver reported nothing: the register may not have got the data.
        r.kind = DriverReport::Kind::NoFile;
        r.text = "Sterownik nie zostawil pliku error.txt";
        return r;
    }
    if (!read) {
        r.kind = DriverReport::Kind::Unreadable;
        r.text = "Nie mozna odczytac pliku error.txt";
        return r;
    }
    const std::string& text = *read;
    if (text.empty()) {
        // A driver that made the file and wrote nothing into it did not get
        // to its report; that is no success to announce.
        r.kind = DriverReport::Kind::Empty;
        r.text = "Pusty plik error.txt: brak raportu";
        return r;
    }
    const size_t first = text.find(';');
    if (first != std::string::npos && leading_number(std::string_view(text).substr(0, first)) > 0) {
        r.kind = DriverReport::Kind::Error;
        r.text = text.substr(0, std::min(text.find_first_of("\r\n"), kRowWidth));
        return r;
    }
    r.kind = DriverReport::Kind::Good;
    r.text = "Wszystko dobrze";
    return r;
}

}  // namespace

DriverReport ERROR_DURVA(Session& s) {
    const bool present = FILE_X(kErrorFile);
    const std::optional<std::string> read = present ? read_error_file() : std::nullopt;
    const DriverReport r = report_of(present, read);
    if (s.unattended) return r;
    switch (r.kind) {
        case DriverReport::Kind::NoFile:
        case DriverReport::Kind::Unreadable:
        case DriverReport::Kind::Empty:
            _OKNO_(s, r.text, 0.0);
            break;
        case DriverReport::Kind::Error: {
            const std::string& text = *read;
            const size_t first = text.find(';');
            _OKNO_(s, std::string_view(text).substr(0, kShownLength), "...");
            s.screen.inkey(1.0);
            const std::string_view after = std::string_view(text).substr(first + 1, kLineFieldWindow);
            const size_t second = after.find(';');
            if (second != std::string_view::npos && second >= 1) {
                long line = leading_number(after.substr(0, second));
                if (!FILE_X("DURVA.OLD")) ++line;
                WIERSZ_III(s, kInputFile, static_cast<int>(line));
            }
            break;
        }
        case DriverReport::Kind::Good:
            _OKNO_(s, r.text, "...");
            s.screen.inkey(3.0);
            break;
    }
    return r;
}

bool WIERSZ_III(Session& s, std::string_view file, int line) {
    if (line <= 0) return true;
    platform::ReadHandle in(file);
    if (!in.is_open()) return true;

    // Lines end with CR LF. The file is read in pieces and lines are counted
    // at their line ends, so a line of any length counts as one line and the
    // count stays right after it; only the first 79 characters of the wanted
    // line are kept.
    int number = 1;
    std::string wanted;
    bool found = false, after_cr = false;
    size_t line_bytes = 0;  // bytes of the current line read so far
    char buf[8192];
    for (;;) {
        const size_t n = in.read(buf, sizeof buf);
        if (n == 0) break;
        for (size_t i = 0; i < n && !found; ++i) {
            const char c = buf[i];
            if (after_cr && c == '\n') {
                if (number == line) {
                    wanted.pop_back();  // the CR kept while it might have been text
                    found = true;
                    break;
                }
                ++number;
                wanted.clear();
                after_cr = false;
                line_bytes = 0;
                continue;
            }
            after_cr = c == '\r';
            ++line_bytes;
            if (number == line && wanted.size() < kRowWidth + 1) wanted.push_back(c);
        }
        if (found) break;
    }
    // A last line without its line end is still a line.
    if (!found && number == line && line_bytes > 0) found = true;
    in.close();
    if (!found) return true;

    if (wanted.size() > kRowWidth) wanted.resize(kRowWidth);
    wanted.resize(kRowWidth, ' ');
    s.screen.clear_rect(24, 0, 24, 79);
    s.screen.say(24, 0, wanted);
    s.screen.inkey(0);
    return true;
}

}  // namespace durva
