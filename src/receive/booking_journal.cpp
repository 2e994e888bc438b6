#include "receive/booking_journal.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "common/_fun3.h"
#include "platform/errors.h"
#include "platform/file.h"
#include "platform/path_resolver.h"

namespace durva {

namespace {

std::vector<std::string> split(const std::string& line) {
    std::vector<std::string> out;
    std::size_t start = 0;
    for (;;) {
        std::size_t sep = line.find(';', start);
        out.push_back(line.substr(start, sep == std::string::npos ? std::string::npos : sep - start));
        if (sep == std::string::npos) return out;
        start = sep + 1;
    }
}

std::optional<std::uint64_t> to_count(const std::string& text) {
    if (text.empty() || text.size() > 12 || text.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    return std::stoull(text);
}

}  // namespace

std::string to_hex(std::string_view bytes) {
    static const char* digits = "0123456789ABCDEF";
    std::string out;
    out.reserve(bytes.size() * 2);
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

std::optional<std::string> from_hex(std::string_view hex) {
    if (hex.size() % 2 != 0) return std::nullopt;
    auto nibble = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    std::string out;
    out.reserve(hex.size() / 2);
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        int hi = nibble(hex[i]), lo = nibble(hex[i + 1]);
        if (hi < 0 || lo < 0) return std::nullopt;
        out += static_cast<char>(hi * 16 + lo);
    }
    return out;
}

std::function<void(char)>& BookingJournal::checkpoint() {
    static std::function<void(char)> hook;
    return hook;
}

BookingJournal::BookingJournal(int station)
    : station_(station), path_(platform::resolve_path("rob\\ksieg" + STR2(station) + ".txt")) {}

BookingJournal::~BookingJournal() { release(); }

void BookingJournal::release() {
    if (fd_ >= 0) ::close(fd_);  // closing the only descriptor gives the lock up
    fd_ = -1;
}

JournalLock BookingJournal::try_lock(bool create) {
    if (fd_ >= 0) return JournalLock::Taken;
    // A journal set aside (renamed) between the opening and the lock is not
    // the journal any more: the lock is taken again on what the name holds.
    for (int attempt = 0; attempt < 100; ++attempt) {
        const int fd = ::open(path_.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC | (create ? O_CREAT : 0), 0666);
        if (fd < 0) {
            if (errno == ENOENT && !create) return JournalLock::Missing;
            throw DbError("Nie moge otworzyc dziennika ksiegowania", path_, errno);
        }
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const int err = errno;
            ::close(fd);
            if (err == EWOULDBLOCK || err == EINTR) return JournalLock::Held;
            throw DbError("Nie moge zablokowac dziennika ksiegowania", path_, err);
        }
        struct stat held {}, named {};
        if (::fstat(fd, &held) == 0 && ::stat(path_.c_str(), &named) == 0 && held.st_dev == named.st_dev &&
            held.st_ino == named.st_ino) {
            fd_ = fd;
            return JournalLock::Taken;
        }
        ::close(fd);
    }
    return JournalLock::Held;
}

void BookingJournal::write_all(const std::string& text) {
    const char* p = text.data();
    std::size_t left = text.size();
    while (left > 0) {
        ssize_t n = ::write(fd_, p, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            throw DbError("Nie moge zapisac dziennika ksiegowania", path_, errno);
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
}

void BookingJournal::write(const std::string& line, bool force) {
    write_all(line + "\n");
    if (force) ::fdatasync(fd_);
    if (checkpoint()) checkpoint()(line.empty() ? ' ' : line[0]);
}

void BookingJournal::write_lines(const std::string& text, bool force) {
    write_all(text);
    if (force) ::fdatasync(fd_);
    if (!checkpoint()) return;
    for (std::size_t at = 0; at < text.size();) {
        checkpoint()(text[at]);
        const std::size_t end = text.find('\n', at);
        if (end == std::string::npos) break;
        at = end + 1;
    }
}

void BookingJournal::begin(const BookingPlan& p) {
    if (fd_ < 0 && try_lock(true) != JournalLock::Taken)
        throw DbError(platform::kLockedByAnotherProgram, path_, EAGAIN);
    if (::ftruncate(fd_, 0) != 0) throw DbError("Nie moge zalozyc dziennika ksiegowania", path_, errno);
    char wplata[64];
    std::snprintf(wplata, sizeof wplata, "%.2f", p.wplata);
    std::string text = "P;" + to_hex(p.rd) + ";" + to_hex(p.provisional) + ";" + p.data.dtos() + ";" +
                       to_hex(p.mag) + ";" + wplata + ";" + to_hex(p.label) + ";" + p.today.dtos() + ";" +
                       to_hex(p.time) + ";" + to_hex(p.backup) + ";" + to_hex(p.fingerprint) + ";" +
                       std::to_string(p.rows.size());
    for (std::size_t i = 0; i < p.rows.size(); ++i)
        text += "\nR;" + std::to_string(p.goods[i]) + ";" + to_hex(p.rows[i]);
    text += "\nG";
    write(text, true);
}

void BookingJournal::resume() {
    if (fd_ >= 0) return;
    if (try_lock(false) != JournalLock::Taken) throw DbError(platform::kLockedByAnotherProgram, path_, EAGAIN);
}

void BookingJournal::number(std::string_view nrd) { write("N;" + to_hex(nrd), true); }
// The lines written before a shared table is changed reach the disk first:
// after a power cut the journal never knows less than the tables show.
void BookingJournal::headers_before(std::uint32_t count) { write("H;" + std::to_string(count), true); }
void BookingJournal::rows_before(std::uint32_t count) { write("W;" + std::to_string(count), true); }
void BookingJournal::stock_before(int row, std::string_view record) {
    write("S;" + std::to_string(row) + ";" + to_hex(record), true);
}
void BookingJournal::stock_done(int row) { write("s;" + std::to_string(row), false); }
void BookingJournal::stock_before(const std::vector<std::pair<int, std::string_view>>& rows) {
    std::string text;
    for (const auto& [row, record] : rows) text += "S;" + std::to_string(row) + ";" + to_hex(record) + "\n";
    write_lines(text, true);
}
void BookingJournal::stock_done(const std::vector<int>& rows) {
    std::string text;
    for (int row : rows) text += "s;" + std::to_string(row) + "\n";
    write_lines(text, false);
}
void BookingJournal::finish() {
    write("E", true);
    release();
}

void BookingJournal::set_aside() {
    // Renamed under the lock, so nobody reads or finishes it meanwhile; a
    // process that opened the name before takes its lock again (try_lock).
    std::string target = path_ + ".bad";
    for (int n = 2; ::access(target.c_str(), F_OK) == 0; ++n) target = path_ + ".bad" + std::to_string(n);
    std::rename(path_.c_str(), target.c_str());
    release();
}

bool BookingJournal::read(BookingPlan& plan, BookingProgress& progress, std::string& fault) const {
    std::ifstream in(path_, std::ios::binary);
    if (!in) return false;
    plan = BookingPlan{};
    progress = BookingProgress{};
    std::string line;
    std::size_t expected_rows = 0;
    bool have_plan = false;
    // A last line cut short (the power went while it was written) is a step
    // not taken; damage anywhere else is a fault.
    auto bad = [&](const std::string& why) {
        if (!in.eof()) fault = why;
        return true;
    };
    while (std::getline(in, line)) {
        if (line.empty()) continue;
        std::vector<std::string> f = split(line);
        const std::string& tag = f[0];
        if (tag == "P") {
            if (f.size() != 12) return bad("naglowek planu");
            auto rd = from_hex(f[1]), prov = from_hex(f[2]), mag = from_hex(f[4]), label = from_hex(f[6]),
                 time = from_hex(f[8]), backup = from_hex(f[9]), fp = from_hex(f[10]);
            auto rows = to_count(f[11]);
            if (!rd || !prov || !mag || !label || !time || !backup || !fp || !rows) return bad("plan");
            plan.rd = *rd;
            plan.provisional = *prov;
            plan.data = Date::from_dtos(f[3]);
            plan.mag = *mag;
            plan.wplata = std::strtod(f[5].c_str(), nullptr);
            plan.label = *label;
            plan.today = Date::from_dtos(f[7]);
            plan.time = *time;
            plan.backup = *backup;
            plan.fingerprint = *fp;
            expected_rows = *rows;
            have_plan = true;
        } else if (tag == "R") {
            if (!have_plan || f.size() != 3) return bad("wiersz planu");
            auto goods = to_count(f[1]);
            auto rec = from_hex(f[2]);
            if (!goods || !rec) return bad("wiersz planu");
            plan.goods.push_back(static_cast<std::uint32_t>(*goods));
            plan.rows.push_back(*rec);
        } else if (tag == "G") {
            if (!have_plan || plan.rows.size() != expected_rows) return bad("niepelny plan");
            progress.planned = true;
        } else if (!progress.planned) {
            return bad("zapis przed planem");
        } else if (tag == "N") {
            auto n = f.size() == 2 ? from_hex(f[1]) : std::nullopt;
            if (!n || n->size() != 8) return bad("numer");
            progress.number = *n;
        } else if (tag == "H" || tag == "W") {
            auto c = f.size() == 2 ? to_count(f[1]) : std::nullopt;
            if (!c) return bad("licznik rekordow");
            (tag == "H" ? progress.headers_before : progress.rows_before) = static_cast<std::uint32_t>(*c);
        } else if (tag == "S") {
            auto row = f.size() == 3 ? to_count(f[1]) : std::nullopt;
            auto rec = f.size() == 3 ? from_hex(f[2]) : std::nullopt;
            if (!row || !rec) return bad("stan towaru");
            progress.stock_before[static_cast<int>(*row)] = *rec;
        } else if (tag == "s") {
            auto row = f.size() == 2 ? to_count(f[1]) : std::nullopt;
            if (!row) return bad("stan towaru");
            progress.stock_done.insert(static_cast<int>(*row));
        } else if (tag == "E") {
            progress.finished = true;
        } else {
            return bad("nieznany zapis");
        }
    }
    return true;
}

}  // namespace durva
