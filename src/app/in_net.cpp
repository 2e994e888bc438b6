#include "app/in_net.h"

#include <string>

#include "common/_fun1.h"
#include "common/error_handler.h"
#include "common/locks.h"

namespace durva {

namespace {

constexpr int kCompanyArea = 1;
constexpr int kLastStation = 9;
constexpr double kLockWait = 20;

constexpr std::string_view kTroubleSigningIn = "Mam problemy z wejsciem";
constexpr std::string_view kAllTaken = "Wszystkie stacje zajete";
constexpr std::string_view kNoCompanyRecord = "Brak danych firmy w pliku firma.dbf";

// The sign-in's messages stay on screen: the program ends after them.
int refuse(Session& s, std::string_view text) {
    _OKNO_(s, text, "..");
    return 0;
}

std::string station_string(Session& s) {
    return with_error_handler(s, [&] { return s.areas.table().text("ST"); });
}

void write_station_string(Session& s, const std::string& st) {
    with_error_handler(s, [&] {
        dbf::Table& t = s.areas.table();
        t.put("ST", dbf::FieldValue(st));
        t.commit();
    });
}

}  // namespace

int first_free_station(std::string_view st) {
    const size_t p = st.find('0');
    if (p == std::string_view::npos || p + 1 > static_cast<size_t>(kLastStation)) return 0;
    return static_cast<int>(p + 1);
}

int IN_NET(Session& s) {
    s.areas.select(kCompanyArea);
    s.areas.close();

    // Nobody else has the company table open: this is the first workstation,
    // and every position left taken by a workstation that ended without
    // signing out is freed.
    if (NET_USE(s, "firma", "firma", true, 1)) {
        if (s.areas.table().eof()) return refuse(s, kNoCompanyRecord);
        write_station_string(s, "1000000000");
        return 1;
    }

    if (!NET_USE(s, "firma", "firma", false, 1)) return refuse(s, kTroubleSigningIn);
    dbf::Table& firma = s.areas.table();
    if (firma.eof()) return refuse(s, kNoCompanyRecord);

    int position = first_free_station(station_string(s));
    if (position == 0) return refuse(s, kAllTaken);
    if (!REC_LOCK(s, kLockWait)) return refuse(s, kTroubleSigningIn);

    // The lock re-read the record: another workstation may have taken the
    // position between our first look and the lock. Take the next free one.
    std::string st = station_string(s);
    if (st.size() < static_cast<size_t>(position) || st[static_cast<size_t>(position - 1)] != '0')
        position = first_free_station(st);
    if (position == 0) {
        with_error_handler(s, [&] { firma.unlock(); });
        return refuse(s, kAllTaken);
    }
    st[static_cast<size_t>(position - 1)] = '1';
    write_station_string(s, st);
    with_error_handler(s, [&] { firma.unlock(); });
    return position;
}

bool OUT_NET(Session& s) {
    const int remembered = s.areas.current();
    s.areas.select(kCompanyArea);
    if (s.areas.used() && REC_LOCK(s, kLockWait)) {
        std::string st = station_string(s);
        const int station = s.values.STACJA;
        if (station >= 1 && static_cast<size_t>(station) <= st.size()) {
            st[static_cast<size_t>(station - 1)] = '0';
            write_station_string(s, st);
        }
        with_error_handler(s, [&] { s.areas.table().unlock(); });
    }
    s.areas.select(remembered);
    return true;
}

}  // namespace durva
