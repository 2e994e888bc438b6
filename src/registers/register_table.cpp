#include "registers/register_table.h"

#include <array>
#include <cstdio>

#include "common/_fun1.h"
#include "common/_fun3.h"
#include "common/dirmake.h"
#include "common/error_handler.h"
#include "common/locks.h"

namespace durva {

namespace {

// The register table stays in its own area whatever area the caller has
// selected; REC_LOCK works on the current one, so it is selected meanwhile.
class RegisterAreaSelected {
public:
    explicit RegisterAreaSelected(Session& s) : s_(s), previous_(s.areas.current()) { s.areas.select(kRegisterArea); }
    ~RegisterAreaSelected() { s_.areas.select(previous_); }
    RegisterAreaSelected(const RegisterAreaSelected&) = delete;
    RegisterAreaSelected& operator=(const RegisterAreaSelected&) = delete;

private:
    Session& s_;
    int previous_;
};

constexpr std::string_view kOpenProblem = "Problem z plikiem durva\\durva.DBF";
constexpr std::string_view kRebuildCopy = "rob\\durva";

// Fields a table made by an older version of the program may lack.
constexpr std::array<std::string_view, 4> kLaterFields = {"PPOL_ZN", "PKASA", "PTYP_KASY", "PMAG"};

bool open_exclusive(Session& s) {
    s.areas.select(kRegisterArea);
    if (NET_USE(s, kRegisterTable, kRegisterAlias, true, 1)) return true;
    _OKNO_(s, kOpenProblem);
    return false;
}

bool lacks_a_field(dbf::Table& t) {
    for (std::string_view f : kLaterFields)
        if (t.field_pos(f) == 0) return true;
    return false;
}

// Rebuilds the open table with today's field list, keeping its records. The
// copy in rob\durva stays on disk, so nothing is lost if the rebuild stops.
bool rebuild(Session& s) {
    DIRMAKE("ROB");
    with_error_handler(s, [&] { return s.areas.table(kRegisterArea).copy_to(kRebuildCopy); });
    s.areas.close(kRegisterArea);
    if (!TWORZ(s, kRegisterFields, true, s.values.STACJA)) return false;
    if (!open_exclusive(s)) return false;
    with_error_handler(s, [&] {
        dbf::Table& t = s.areas.table(kRegisterArea);
        t.append_from(kRebuildCopy);
        t.eval([](dbf::Table& r) { r.put("PTYP_KASY", std::string("S")); });
        t.go_top();
    });
    return true;
}

void fill_stands(Session& s) {
    with_error_handler(s, [&] {
        dbf::Table& t = s.areas.table(kRegisterArea);
        while (t.record_count() < kStandCount) {
            t.append_blank();
            const std::uint32_t n = t.recno();
            t.put("PKASA", stand_number(n));
            t.put("PPORT", 1.0);
            t.put("PPREDKOSC", 9600.0);
            t.put("POPIS", std::string(n == 1 ? "Stoisko 1" : ""));
        }
        t.commit();
        t.go_top();
    });
}

}  // namespace

bool prepare_register_table(Session& s) {
    s.areas.select(kRegisterArea);
    if (!FILE_X(kRegisterFile)) {
        DIRMAKE("DURVA");
        if (!TWORZ(s, kRegisterFields, true, s.values.STACJA)) return false;
    }
    if (!open_exclusive(s)) return false;
    if (lacks_a_field(s.areas.table(kRegisterArea)) && !rebuild(s)) return false;
    with_error_handler(s, [&] { s.areas.table(kRegisterArea).go_top(); });
    fill_stands(s);
    return true;
}

std::string stand_number(std::uint32_t recno) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02u", static_cast<unsigned>(recno % 100));
    return buf;
}

void PS_READ(Session& s, MenuValues& m) {
    dbf::Table& t = s.areas.table(kRegisterArea);
    m.NR_KASY = t.text("PKASA");
    m.OPIS = t.text("POPIS");
    m.PORT = t.number("PPORT");
    m.PREDKOSC = t.number("PPREDKOSC");
    m.PS_MAG = t.field_pos("PMAG") != 0 ? t.text("PMAG") : std::string(" ");
}

void PS_REP(Session& s, const MenuValues& m) {
    RegisterAreaSelected in_register_area(s);
    if (!REC_LOCK(s, 30)) return;
    dbf::Table& t = s.areas.table();
    t.put("PKASA", stand_number(t.recno()));
    t.put("POPIS", m.OPIS.substr(0, 26));
    t.put("PPORT", m.PORT);
    t.put("PPREDKOSC", m.PREDKOSC);
    if (t.field_pos("PMAG") != 0) t.put("PMAG", m.PS_MAG);
    t.unlock();
}

}  // namespace durva
