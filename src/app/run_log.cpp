#include "app/run_log.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "common/_fun1.h"
#include "common/_fun3.h"
#include "common/dirmake.h"
#include "common/editor.h"
#include "platform/folder_file.h"
#include "platform/path_resolver.h"

namespace durva {

namespace {

// How much of the log's end is read for its last runs: a few thousand lines.
constexpr off_t kTailBytes = 256 * 1024;
constexpr std::size_t kShownRuns = 500;

std::string stamp(const platform::LocalTime& t) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", t.year % 10000, t.month % 100, t.day % 100,
                  t.hour % 100, t.minute % 100, t.second % 100);
    return buf;
}

}  // namespace

void log_run(const platform::LocalTime& when, const std::string& line, int code) {
    const std::string text = stamp(when) + " " + line + " (kod " + std::to_string(code) + ")\r\n";
    // Kept by every run of the folder, so never made afresh; only a regular
    // file at that very name is added to.
    const int fd = platform::open_regular(platform::resolve_path(kRunLog), O_WRONLY | O_APPEND | O_CREAT);
    const bool written = fd >= 0 && ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    const int e = errno;
    if (fd >= 0) ::close(fd);
    if (!written)
        std::fprintf(stderr, "durva: nie moge dopisac do %s: %s\n", kRunLog,
                     platform::not_a_regular_file(e) ? platform::kNotARegularFile : std::strerror(e));
}

std::vector<std::string> last_runs(std::size_t count) {
    std::vector<std::string> lines;
    const int fd = platform::open_regular(platform::resolve_path(kRunLog), O_RDONLY);
    if (fd < 0) return lines;
    struct stat st{};
    std::string tail;
    if (::fstat(fd, &st) == 0) {
        const off_t from = std::max<off_t>(0, st.st_size - kTailBytes);
        tail.resize(static_cast<std::size_t>(st.st_size - from));
        const ssize_t got = ::pread(fd, tail.data(), tail.size(), from);
        tail.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
        // A line cut by where the reading began is no run of its own.
        if (from > 0) tail.erase(0, std::min(tail.size(), tail.find('\n') + 1));
    }
    ::close(fd);
    std::size_t end = tail.size();
    while (end > 0 && lines.size() < count) {
        // `end` is past a line's own line feed: the line begins after the one before it.
        std::size_t start = end >= 2 ? tail.rfind('\n', end - 2) : std::string::npos;
        start = start == std::string::npos ? 0 : start + 1;
        std::string line = tail.substr(start, end - start);
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
        if (!line.empty()) lines.push_back(std::move(line));
        end = start;
    }
    return lines;
}

void show_last_runs(Session& s) {
    const std::vector<std::string> runs = last_runs(kShownRuns);
    if (runs.empty()) {
        _OKNO_(s, "Brak zapisanych odczytow w " + std::string(kRunLog), 0.0);
        return;
    }
    DIRMAKE("rob");
    const std::string file = "rob\\odczyt" + STR2(s.values.STACJA) + ".prn";
    std::FILE* out = platform::stream_on(platform::open_own(platform::resolve_path(file)), "wb", true);
    if (!out) {
        _OKNO_(s, "Nie moge zapisac pliku " + file, 0.0);
        return;
    }
    for (const std::string& line : runs) {
        std::fwrite(line.data(), 1, line.size(), out);
        std::fwrite("\r\n", 1, 2, out);
    }
    std::fclose(out);
    MEDIT(s, file);
}

}  // namespace durva
