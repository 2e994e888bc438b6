#include "receive/booking_journal.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "common/_fun3.h"
#include "platform/disk_sync.h"
#include "platform/errors.h"
#include "platform/file.h"
#include "platform/folder_file.h"
#include "platform/path_resolver.h"

namespace durva {

namespace {

std::vector<std::string_view> split(std::string_view line) {
    std::vector<std::string_view> out;
    std::size_t start = 0;
    for (;;) {
        std::size_t sep = line.find(';', start);
        out.push_back(line.substr(start, sep == std::string_view::npos ? std::string_view::npos : sep - start));
        if (sep == std::string_view::npos) return out;
        start = sep + 1;
    }
}

std::optional<std::uint64_t> to_count(std::string_view text, std::size_t digits = 12) {
    if (text.empty() || text.size() > digits || text.find_first_not_of("0123456789") != std::string_view::npos)
        return std::nullopt;
    return std::strtoull(std::string(text).c_str(), nullptr, 10);
}

std::optional<long long> to_signed(std::string_view text) {
    const bool minus = !text.empty() && text[0] == '-';
    auto n = to_count(minus ? text.substr(1) : text, 18 + 1);
    if (!n) return std::nullopt;
    return minus ? -static_cast<long long>(*n) : static_cast<long long>(*n);
}

std::optional<double> to_amount(std::string_view text) {
    if (text.empty() || text.size() > 40 || text.find_first_not_of("-0123456789.") != std::string_view::npos)
        return std::nullopt;
    return std::strtod(std::string(text).c_str(), nullptr);
}

// The check of a line's text: FNV-1a over its bytes, eight hex digits.
std::uint32_t check_value(std::string_view text) {
    std::uint32_t h = 2166136261u;
    for (unsigned char c : text) {
        h ^= c;
        h *= 16777619u;
    }
    return h;
}

constexpr char kHexDigits[] = "0123456789ABCDEF";

void append_check(std::string& out, std::string_view text) {
    const std::uint32_t h = check_value(text);
    for (int shift = 28; shift >= 0; shift -= 4) out += kHexDigits[(h >> shift) & 15];
}

constexpr std::size_t kCheckLength = 9;  // "#" and eight hex digits

// The text of a checked line, nullopt when its check does not match.
std::optional<std::string_view> checked_text(std::string_view line) {
    if (line.size() < kCheckLength || line[line.size() - kCheckLength] != '#') return std::nullopt;
    const std::string_view text = line.substr(0, line.size() - kCheckLength);
    const std::uint32_t h = check_value(text);
    for (std::size_t i = 0; i < 8; ++i)
        if (line[line.size() - 8 + i] != kHexDigits[(h >> (28 - 4 * i)) & 15]) return std::nullopt;
    return text;
}

std::string stamp_text(const SourceStamp& s) {
    return std::to_string(s.inode) + ":" + std::to_string(s.size) + ":" + std::to_string(s.modified_ns);
}

std::optional<SourceStamp> stamp_from(std::string_view text) {
    const std::size_t a = text.find(':');
    const std::size_t b = a == std::string_view::npos ? a : text.find(':', a + 1);
    if (b == std::string_view::npos) return std::nullopt;
    auto inode = to_count(text.substr(0, a), 19), size = to_count(text.substr(a + 1, b - a - 1), 19);
    auto mtime = to_signed(text.substr(b + 1));
    if (!inode || !size || !mtime) return std::nullopt;
    return SourceStamp{*inode, *size, *mtime};
}

// Reads the whole journal without following a symlink and without waiting
// on anything that is not a regular file. nullopt when there is none.
std::optional<std::string> slurp(const std::string& path) {
    int error = 0;
    std::optional<std::string> text = platform::read_regular(path, SIZE_MAX, &error);
    if (text || error == ENOENT) return text;
    throw DbError(platform::not_a_regular_file(error) ? "Dziennik ksiegowania nie jest zwyklym plikiem"
                                                      : "Nie moge odczytac dziennika ksiegowania",
                  path, error);
}

void append_journal_line(std::string& out, std::string_view text) {
    out += text;
    out += '#';
    append_check(out, text);
    out += '\n';
}

}  // namespace

std::string journal_line(std::string_view text) {
    std::string line;
    append_journal_line(line, text);
    return line;
}

std::string to_hex(std::string_view bytes) {
    std::string out(bytes.size() * 2, '0');
    char* o = out.data();
    for (unsigned char c : bytes) {
        *o++ = kHexDigits[c >> 4];
        *o++ = kHexDigits[c & 15];
    }
    return out;
}

namespace {

int nibble(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

std::optional<std::string> from_hex(std::string_view hex) {
    if (hex.size() % 2 != 0) return std::nullopt;
    std::string out(hex.size() / 2, '\0');
    for (std::size_t i = 0; i < out.size(); ++i) {
        const int hi = nibble(hex[2 * i]), lo = nibble(hex[2 * i + 1]);
        if (hi < 0 || lo < 0) return std::nullopt;
        out[i] = static_cast<char>(hi * 16 + lo);
    }
    return out;
}

namespace {

// A record's bytes as a journal field: printable ASCII as it is, any other
// byte, '%' and ';' as '%' and two hex digits, after a '~' that tells the
// field from the hex digits of journals written before.
void append_record_field(std::string& out, std::string_view bytes) {
    out += '~';
    for (unsigned char c : bytes) {
        if (c >= 0x20 && c < 0x7F && c != '%' && c != ';') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += kHexDigits[c >> 4];
            out += kHexDigits[c & 15];
        }
    }
}

std::optional<std::string> from_record_field(std::string_view field) {
    if (field.empty() || field[0] != '~') return from_hex(field);
    std::string out;
    out.reserve(field.size());
    for (std::size_t i = 1; i < field.size();) {
        const std::size_t escape = std::min(field.find('%', i), field.size());
        out.append(field, i, escape - i);
        if (escape == field.size()) break;
        const int hi = escape + 2 < field.size() ? nibble(field[escape + 1]) : -1;
        const int lo = hi < 0 ? -1 : nibble(field[escape + 2]);
        if (lo < 0) return std::nullopt;
        out += static_cast<char>(hi * 16 + lo);
        i = escape + 3;
    }
    return out;
}

}  // namespace

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
        // A symlink or a pipe at the name is no journal of ours: never
        // followed, never waited on; the station whose journal it names
        // makes a journal of its own there when it next books.
        const int fd = create ? platform::open_own(path_) : platform::open_regular(path_, O_WRONLY);
        if (fd < 0) {
            if (!create && (errno == ENOENT || platform::not_a_regular_file(errno))) return JournalLock::Missing;
            throw DbError("Nie moge otworzyc dziennika ksiegowania", path_, errno);
        }
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_APPEND);
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const int err = errno;
            ::close(fd);
            if (err == EWOULDBLOCK || err == EINTR) return JournalLock::Held;
            throw DbError("Nie moge zablokowac dziennika ksiegowania", path_, err);
        }
        struct stat held {}, named {};
        if (::fstat(fd, &held) == 0 && ::lstat(path_.c_str(), &named) == 0 && held.st_dev == named.st_dev &&
            held.st_ino == named.st_ino) {
            fd_ = fd;
            return JournalLock::Taken;
        }
        ::close(fd);
    }
    return JournalLock::Held;
}

void BookingJournal::write_all(const std::string& text) {
    const off_t start = ::lseek(fd_, 0, SEEK_END);
    const char* p = text.data();
    std::size_t left = text.size();
    while (left > 0) {
        ssize_t n = ::write(fd_, p, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            const int err = errno;
            // A full disk: what was written of the lines is taken back, so
            // that the journal ends with its last whole line; should that
            // fail too, the next reader cuts the torn line off.
            if (start >= 0 && ::ftruncate(fd_, start) == 0) platform::force_to_disk(fd_, path_);
            throw DbError("Nie moge zapisac dziennika ksiegowania", path_, err);
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
}

void BookingJournal::write(const std::string& line, bool force) { write_lines(journal_line(line), force); }

void BookingJournal::write_lines(const std::string& text, bool force) {
    if (!pending_.empty()) {
        // Lines keep the order they were given in.
        std::string piece;
        piece.swap(pending_);
        write_lines(piece, false);
    }
    write_all(text);
    unforced_ = true;
    if (force) {
        if (!platform::force_to_disk(fd_, path_)) throw DbError("Nie moge zapisac dziennika ksiegowania", path_, errno);
        unforced_ = false;
    }
    if (!checkpoint()) return;
    for (std::size_t at = 0; at < text.size();) {
        checkpoint()(text[at]);
        const std::size_t end = text.find('\n', at);
        if (end == std::string::npos) break;
        at = end + 1;
    }
}

namespace {

// Lines gathered to be written are written once they come to this much:
// a booking's thousands of lines never wait whole in memory, and a piece
// stays small beside the booking's rows (a write of 64 KB costs the system
// hardly more per byte than a larger one).
constexpr std::size_t kPieceBytes = 64 * 1024;

}  // namespace

void BookingJournal::add_line(std::string_view text) {
    append_journal_line(pending_, text);
    if (pending_.size() < kPieceBytes) return;
    std::string piece;
    piece.swap(pending_);
    write_lines(piece, false);
}

void BookingJournal::write_pending_forced() {
    if (pending_.empty() && !unforced_) return;
    std::string piece;
    piece.swap(pending_);
    write_lines(piece, true);
}

void BookingJournal::begin(const BookingPlan& p) {
    if (fd_ < 0 && try_lock(true) != JournalLock::Taken)
        throw DbError(platform::kLockedByAnotherProgram, path_, EAGAIN);
    if (::ftruncate(fd_, 0) != 0) throw DbError("Nie moge zalozyc dziennika ksiegowania", path_, errno);
    torn_ = false;
    pending_.clear();
    char wplata[64];
    std::snprintf(wplata, sizeof wplata, "%.2f", p.wplata);
    add_line("P;" + to_hex(p.rd) + ";" + to_hex(p.provisional) + ";" + p.data.dtos() + ";" +
                                    to_hex(p.mag) + ";" + wplata + ";" + to_hex(p.label) + ";" + p.today.dtos() +
                                    ";" + to_hex(p.time) + ";" + to_hex(p.backup) + ";" + to_hex(p.source) + ";" +
                                    stamp_text(p.stamp) + ";" + std::to_string(p.rows.size()) + ";" +
                                    std::to_string(p.unmatched.size()));
    std::string line;
    for (std::size_t i = 0; i < p.rows.size(); ++i) {
        line = "R;" + std::to_string(p.goods[i]) + ";";
        append_record_field(line, p.rows[i]);
        add_line(line);
    }
    for (const std::string& u : p.unmatched) add_line("U;" + to_hex(u));
    add_line("G");
    write_pending_forced();
}

void BookingJournal::resume() {
    if (fd_ < 0 && try_lock(false) != JournalLock::Taken)
        throw DbError(platform::kLockedByAnotherProgram, path_, EAGAIN);
    if (!torn_) return;
    // The line cut short goes before anything is added after it.
    if (::ftruncate(fd_, whole_) != 0 || !platform::force_to_disk(fd_, path_))
        throw DbError("Nie moge zapisac dziennika ksiegowania", path_, errno);
    torn_ = false;
}

// The lines written before a shared table is changed reach the disk first:
// after a power cut the journal never knows less than the tables show.
void BookingJournal::taken(std::string_view backup) { write("F;" + to_hex(backup), false); }
void BookingJournal::counter(double before, double number) {
    char text[96];
    std::snprintf(text, sizeof text, "K;%.0f;%.0f", before, number);
    write(text, true);
}
void BookingJournal::number(std::string_view nrd) { write("N;" + to_hex(nrd), false); }
void BookingJournal::headers_before(std::uint32_t count, std::optional<std::uint32_t> rows) {
    std::string text = journal_line("H;" + std::to_string(count));
    if (rows) text += journal_line("W;" + std::to_string(*rows));
    write_lines(text, true);
}
void BookingJournal::rows_before(std::uint32_t count) { write("W;" + std::to_string(count), true); }
void BookingJournal::stock_before(int row, std::string_view record) {
    std::string line = "S;" + std::to_string(row) + ";";
    append_record_field(line, record);
    add_line(line);
}
void BookingJournal::stock_before_forced() { write_pending_forced(); }
void BookingJournal::stock_done(const std::vector<int>& rows) {
    std::string text;
    for (int row : rows) text += journal_line("s;" + std::to_string(row));
    write_lines(text, false);
}
void BookingJournal::finish() {
    write("E", true);
    release();
}

std::string BookingJournal::set_aside() {
    // Renamed under the lock, so nobody reads or finishes it meanwhile; a
    // process that opened the name before takes its lock again (try_lock).
    std::string target = path_ + ".bad";
    for (int n = 2; ::access(target.c_str(), F_OK) == 0; ++n) target = path_ + ".bad" + std::to_string(n);
    if (std::rename(path_.c_str(), target.c_str()) != 0) {
        const int err = errno;
        release();
        throw DbError("Nie moge odlozyc dziennika ksiegowania", path_, err);
    }
    release();
    return target;
}

bool BookingJournal::read(BookingPlan& plan, BookingProgress& progress, std::string& fault) {
    const std::optional<std::string> text = slurp(path_);
    plan = BookingPlan{};
    progress = BookingProgress{};
    whole_ = 0;
    torn_ = false;
    if (!text) return false;

    // The whole lines that pass their checks, up to the first that does
    // not; a journal of an earlier version carries no checks at all.
    const std::string_view all(*text);
    const std::size_t first_end = all.find('\n');
    if (first_end != std::string_view::npos && all.substr(0, first_end).find('#') == std::string_view::npos) {
        // A journal of an earlier version, without checks: finished, there
        // is nothing to do; otherwise the operator must look at it.
        const bool ended = all.size() >= 2 && all.substr(all.size() - 2) == "E\n" &&
                           (all.size() == 2 || all[all.size() - 3] == '\n');
        if (!ended) fault = "zapis poprzedniej wersji programu";
        progress.planned = progress.finished = ended;
        return true;
    }
    std::vector<std::string_view> lines;
    std::size_t at = 0;
    bool stopped = false;
    while (at < all.size()) {
        const std::size_t end = all.find('\n', at);
        if (end == std::string_view::npos) {
            stopped = true;  // no line feed: cut short
            break;
        }
        const std::string_view line = all.substr(at, end - at);
        std::optional<std::string_view> body = checked_text(line);
        if (!body) {
            // Cut short, unless a whole line follows: then it is damage.
            for (std::size_t next = end + 1; next < all.size();) {
                const std::size_t e = all.find('\n', next);
                if (e == std::string_view::npos) break;
                if (checked_text(all.substr(next, e - next))) {
                    fault = "wiersz " + std::to_string(lines.size() + 1) + " uszkodzony";
                    break;
                }
                next = e + 1;
            }
            stopped = true;
            break;
        }
        lines.push_back(*body);
        at = end + 1;
    }
    whole_ = static_cast<long long>(at);
    torn_ = stopped && fault.empty();

    std::size_t expected_rows = 0, expected_unmatched = 0;
    bool have_plan = false;
    auto bad = [&](const std::string& why) {
        if (fault.empty()) fault = why;
        return true;
    };
    for (std::string_view line : lines) {
        if (line.empty()) continue;
        const std::vector<std::string_view> f = split(line);
        const std::string_view tag = f[0];
        if (tag == "P") {
            if (f.size() != 14 || have_plan) return bad("naglowek planu");
            auto rd = from_hex(f[1]), prov = from_hex(f[2]), mag = from_hex(f[4]), label = from_hex(f[6]),
                 time = from_hex(f[8]), backup = from_hex(f[9]), source = from_hex(f[10]);
            auto wplata = to_amount(f[5]);
            auto stamp = stamp_from(f[11]);
            auto rows = to_count(f[12]), unmatched = to_count(f[13]);
            if (!rd || !prov || !mag || !label || !time || !backup || !source || !wplata || !stamp || !rows ||
                !unmatched)
                return bad("plan");
            plan.rd = *rd;
            plan.provisional = *prov;
            plan.data = Date::from_dtos(std::string(f[3]));
            plan.mag = *mag;
            plan.wplata = *wplata;
            plan.label = *label;
            plan.today = Date::from_dtos(std::string(f[7]));
            plan.time = *time;
            plan.backup = *backup;
            plan.source = *source;
            plan.stamp = *stamp;
            expected_rows = *rows;
            expected_unmatched = *unmatched;
            have_plan = true;
        } else if (tag == "R") {
            if (!have_plan || progress.planned || f.size() != 3) return bad("wiersz planu");
            auto goods = to_count(f[1]);
            auto rec = from_record_field(f[2]);
            if (!goods || !rec || *goods > 0xFFFFFFFFu) return bad("wiersz planu");
            plan.goods.push_back(static_cast<std::uint32_t>(*goods));
            plan.rows.push_back(*rec);
        } else if (tag == "U") {
            auto listed = f.size() == 2 ? from_hex(f[1]) : std::nullopt;
            if (!have_plan || progress.planned || !listed) return bad("wiersz bez towaru");
            plan.unmatched.push_back(*listed);
        } else if (tag == "G") {
            if (!have_plan || plan.rows.size() != expected_rows || plan.unmatched.size() != expected_unmatched)
                return bad("niepelny plan");
            progress.planned = true;
        } else if (!progress.planned) {
            return bad("zapis przed planem");
        } else if (tag == "F") {
            auto name = f.size() == 2 ? from_hex(f[1]) : std::nullopt;
            if (!name) return bad("plik sprzedazy");
            progress.taken = *name;
        } else if (tag == "K") {
            auto before = f.size() == 3 ? to_amount(f[1]) : std::nullopt;
            auto number = f.size() == 3 ? to_amount(f[2]) : std::nullopt;
            if (!before || !number) return bad("licznik");
            progress.counter = std::make_pair(*before, *number);
        } else if (tag == "N") {
            auto n = f.size() == 2 ? from_hex(f[1]) : std::nullopt;
            if (!n || n->size() != 8) return bad("numer");
            progress.number = *n;
        } else if (tag == "H" || tag == "W") {
            auto c = f.size() == 2 ? to_count(f[1]) : std::nullopt;
            if (!c || *c > 0xFFFFFFFFu) return bad("licznik rekordow");
            (tag == "H" ? progress.headers_before : progress.rows_before) = static_cast<std::uint32_t>(*c);
        } else if (tag == "S") {
            auto row = f.size() == 3 ? to_count(f[1]) : std::nullopt;
            auto rec = f.size() == 3 ? from_record_field(f[2]) : std::nullopt;
            if (!row || !rec || *row == 0 || *row > plan.rows.size()) return bad("stan towaru");
            progress.stock_before[static_cast<int>(*row)] = *rec;
        } else if (tag == "s") {
            auto row = f.size() == 2 ? to_count(f[1]) : std::nullopt;
            if (!row || *row == 0 || *row > plan.rows.size()) return bad("stan towaru");
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
