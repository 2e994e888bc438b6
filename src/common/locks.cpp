#include "common/locks.h"

#include <string>

#include "common/_fun1.h"
#include "common/error_handler.h"
#include "platform/errors.h"

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

bool REC_LOCK(Session& s, double wait) {
    if (!s.areas.used()) return false;
    dbf::Table& t = s.areas.table();
    return retry_half_seconds(s, wait, [&] { return t.lock_record(); });
}

bool ADD_REC(Session& s, double wait) {
    if (!s.areas.used()) return false;
    dbf::Table& t = s.areas.table();
    return retry_half_seconds(s, wait, [&] { return t.append_blank(); });
}

}  // namespace durva
