#include "receive/rep_dow_voka.h"

#include <cstdio>

#include "common/_fun1.h"
#include "platform/errors.h"
#include "common/dbf/xbase_values.h"
#include "receive/booking.h"
#include "receive/booking_journal.h"
#include "receive/cut_short_bookings.h"
#include "receive/zrob_sd_voka.h"

namespace durva {

namespace {

std::string padded(std::string text, std::size_t width) {
    text.resize(width, ' ');
    return text;
}

std::string time_text(const platform::LocalTime& t) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", t.hour % 100, t.minute % 100, t.second % 100);
    return buf;
}

}  // namespace

std::string register_label(Session& s, const MenuValues& m) {
    dbf::Table* reg = s.areas.find("durva");
    std::string opis = m.OPIS;
    double port = m.PORT;
    if (reg && !reg->eof() && reg->field_pos("POPIS") != 0 && reg->field_pos("PPORT") != 0) {
        opis = reg->text("POPIS");
        port = reg->number("PPORT");
    }
    return padded(opis, 26) + "Port:" + dbf::str_number(port, 2, 0);
}

std::string without_blanks(std::string_view nrd) {
    std::string number;
    for (char c : nrd)
        if (c != ' ') number += c;
    return number;
}

std::string booking_message(std::string_view rd, std::string_view nrd, double total) {
    return std::string(rd) + without_blanks(nrd) + "  na kwote  " + amount_picture(total) + " Z";
}

bool REP_DOW_VOKA(ImportRun& r) {
    Session& s = r.s;
    BookingPlan p;
    p.rd = r.M_RD;
    p.provisional = r.M_NRD;
    p.data = s.values.M_DATA;
    p.mag = r.M_MAG;
    p.wplata = r.M_WPLATA;
    p.label = register_label(s, r.m);
    const platform::LocalTime now = s.clock.local_time();
    p.today = Date::from_ymd(now.year, now.month, now.day);
    p.time = time_text(now);
    p.backup = r.backup;
    p.source = r.source;
    p.stamp = r.stamp;
    p.unmatched = r.unmatched;
    dbf::Table& dd = s.areas.table("dd");
    // Room for every row made once: grown a row at a time, the list would
    // take up to twice what it holds.
    p.rows.reserve(dd.record_count());
    p.goods.reserve(dd.record_count());
    for_each_work_row(dd, [&](std::string_view row) {
        p.rows.emplace_back(row);
        const std::size_t i = p.rows.size() - 1;
        p.goods.push_back(i < r.goods_recnos.size() ? r.goods_recnos[i] : 0);
    });

    // The journal is the station's from here until it is marked finished.
    // A booking cut short there since the run began (the workstation that
    // was finishing it ended too) is finished first: never written over.
    BookingJournal journal(s.values.STACJA);
    lock_for_new_booking(s, journal);
    CutShortBookings earlier;
    finish_if_cut_short(s, journal, earlier);
    // Unattended, a damaged journal stays for the operator: not written over.
    if (!earlier.damaged.empty()) throw DbError(earlier.damaged.front(), journal.path());
    lock_for_new_booking(s, journal);
    journal.begin(p);
    BookingOutcome out = apply_booking(s, p, BookingProgress{}, journal);
    r.M_NRD = out.number;
    r.not_applied = earlier.unmatched;
    r.not_applied.insert(r.not_applied.end(), earlier.not_applied.begin(), earlier.not_applied.end());
    r.not_applied.insert(r.not_applied.end(), out.not_applied.begin(), out.not_applied.end());
    for (const std::string& m : earlier.finished) r.done.finished += (r.done.finished.empty() ? "" : "; ") + m;

    r.done.booked = true;
    r.done.rd = r.M_RD;
    r.done.nrd = out.number;
    r.done.amount = out.total;
    r.done.rows = static_cast<int>(p.rows.size());

    s.screen.clear_keys();
    _OKNO_(s, booking_message(r.M_RD, r.M_NRD, out.total), "...");
    if (!s.unattended) s.screen.inkey(0);
    return true;
}

}  // namespace durva
