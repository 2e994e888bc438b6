#include "common/locks.h"

#include <cerrno>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "common/_fun1.h"
#include "common/error_handler.h"
#include "platform/errors.h"
#include "platform/file.h"

namespace durva {

namespace {

// Rows 15 to 20, columns 30 to 72: where the opening notice is shown.
constexpr int kTop = 15, kLeft = 30, kBottom = 20, kRight = 72;

bool starts_with_upper(std::string_view path, std::string_view prefix) {
    if (path.size() < prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i) {
        char c = path[i];
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        if (c != prefix[i]) return false;
    }
    return true;
}

// One attempt, then pauses of half a second with an attempt after each until
// `wait` seconds are used up (0: no limit).
template <class Attempt>
bool retry_half_seconds(Session& s, double wait, Attempt&& attempt) {
    if (attempt()) return true;
    const bool forever = wait == 0;
    while (forever || wait > 0) {
        if (attempt()) return true;
        s.screen.inkey(0.5);
        wait -= 0.5;
    }
    return false;
}

}  // namespace

bool NET_USE(Session& s, std::string_view file, std::string_view alias, bool exclusive, int wait) {
    const auto saved = s.screen.save(kTop, kLeft, kBottom, kRight);
    if (exclusive && !starts_with_upper(file, "ROB\\") && !starts_with_upper(file, "STRUKT"))
        _OKNO_(s, "Otwieram plik " + std::string(file) + ".dbf", "...");

    const bool forever = wait == 0;
    const auto mode = exclusive ? platform::Share::Exclusive : platform::Share::Shared;
    while (forever || wait > 0) {
        bool refused = false;
        try {
            s.areas.use(file, alias, mode);
        } catch (const SharingError&) {
            refused = true;
        } catch (const DbError& e) {
            // Not a refusal by another workstation: the operator decides.
            handle_db_error(s, e);
            continue;
        }
        if (!refused) {
            s.screen.restore(saved);
            return true;
        }
        s.screen.inkey(1.0);
        --wait;
    }
    s.screen.restore(saved);
    return false;
}

// A failed write inside an attempt (the pending record written back, the
// new record appended, an index that cannot take a key) goes to the general
// error handler, whose T makes the attempt again.
bool REC_LOCK(Session& s, double wait) {
    if (!s.areas.used()) return false;
    dbf::Table& t = s.areas.table();
    return retry_half_seconds(s, wait, [&] { return with_error_handler(s, [&] { return t.lock_record(); }); });
}

bool ADD_REC(Session& s, double wait) {
    if (!s.areas.used()) return false;
    dbf::Table& t = s.areas.table();
    return retry_half_seconds(s, wait, [&] { return with_error_handler(s, [&] { return t.append_blank(); }); });
}

namespace {

// Waits of the session's tables for another program's append or index lock:
// the first attempts follow at once, then pauses of a tenth of a second (a
// key press ends one early and is consumed, as in every wait for others);
// after a few seconds a notice names the file; after half a minute the
// general error handler's window asks whether to go on waiting or to end.
class LockNotice final : public platform::LockWaiter {
public:
    explicit LockNotice(Session& s) : s_(s) {}

    void refused(const platform::File& file) override {
        // The program is ending: the tables are closed without waiting.
        if (ending_) throw DbError(platform::kLockedByAnotherProgram, file.path(), EAGAIN);
        const std::int64_t now = s_.clock.now_ms();
        if (since_ < 0) since_ = now;
        const std::int64_t waited = now - since_;
        if (waited >= kAskAfterMs) {
            take_down();
            since_ = -1;
            if (!operator_retries(s_, DbError(platform::kLockedByAnotherProgram, file.path(), EAGAIN))) {
                ending_ = true;
                throw ProgramEnd();
            }
            return;
        }
        if (waited >= kNoticeAfterMs && !saved_) {
            saved_ = s_.screen.save(kTop, kLeft, kBottom, kRight);
            _OKNO_(s_, "Czekam na plik " + file_name(file.path()), "...");
        }
        if (waited < kAtOnceMs) s_.clock.sleep_ms(2);
        else s_.screen.inkey(0.1);
    }

    void granted(const platform::File&) override {
        take_down();
        since_ = -1;
    }

private:
    static constexpr std::int64_t kAtOnceMs = 200, kNoticeAfterMs = 3000, kAskAfterMs = 30000;

    static std::string file_name(const std::string& path) {
        size_t slash = path.find_last_of("/\\");
        return slash == std::string::npos ? path : path.substr(slash + 1);
    }
    void take_down() {
        if (saved_) s_.screen.restore(*saved_);
        saved_.reset();
    }

    Session& s_;
    std::int64_t since_ = -1;
    std::optional<screen::SavedRect> saved_;
    bool ending_ = false;
};

}  // namespace

void install_lock_notices(Session& s) { s.areas.lock_waiter = std::make_shared<LockNotice>(s); }

}  // namespace durva
