#include "receive/booking_steps.h"

#include <cerrno>

#include "common/_fun1.h"
#include "common/locks.h"
#include "platform/errors.h"
#include "platform/file.h"

namespace durva::booking {

std::string trim(std::string_view t) {
    std::size_t b = t.find_first_not_of(' ');
    if (b == std::string_view::npos) return {};
    std::size_t e = t.find_last_not_of(' ');
    return std::string(t.substr(b, e - b + 1));
}

dbf::Table& select(Session& s, const char* alias) {
    s.areas.select(std::string_view(alias));
    return s.areas.table();
}

namespace {

// An unattended run does not wait without end for another program: past the
// first `wait` seconds it ends, and the journal keeps what was done for the
// next import of the station to finish, as after a power cut.
void give_up_unattended(Session& s, const std::string& what) {
    if (s.unattended) throw DbError(platform::kLockedByAnotherProgram, what, EAGAIN);
}

}  // namespace

void lock_until_done(Session& s, const std::string& what, double wait) {
    if (REC_LOCK(s, wait)) return;
    give_up_unattended(s, what);
    _OKNO_(s, "Czekam na " + what, "...");
    while (!REC_LOCK(s, wait)) {}
}

void append_until_done(Session& s, const std::string& what, double wait) {
    if (ADD_REC(s, wait)) return;
    give_up_unattended(s, what);
    _OKNO_(s, "Czekam na " + what, "...");
    while (!ADD_REC(s, wait)) {}
}

}  // namespace durva::booking
