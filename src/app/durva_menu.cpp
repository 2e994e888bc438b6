#include "app/durva_menu.h"

#include <array>
#include <cmath>
#include <optional>
#include <span>
#include <vector>

#include "app/run_log.h"
#include "common/_fun1.h"
#include "common/_fun2.h"
#include "common/_fun3.h"
#include "common/dbf/xbase_values.h"
#include "common/error_handler.h"
#include "common/periods.h"
#include "common/screen/codepage.h"
#include "common/screen/entry.h"
#include "common/screen/keys.h"
#include "common/screen/menu.h"
#include "driver/driver_run.h"
#include "driver/error_durva.h"
#include "platform/errors.h"
#include "platform/file.h"
#include "platform/folder_file.h"
#include "platform/path_resolver.h"
#include "registers/par_durva.h"
#include "send/kas_plu.h"
#include "send/sent_records.h"
#include "send/tworz_u.h"
#include "receive/zrob_sd_voka.h"
#include "registers/register_table.h"

namespace durva {

namespace {

using screen::Key;

constexpr int kCompanyArea = 1;
constexpr std::string_view kSalesFile = "durva\\data_out.xxx";
constexpr std::string_view kPluListFile = "durva\\data_out.txt";
constexpr std::array<int, 6> kItemRows = {5, 7, 8, 10, 11, 13};

const std::vector<std::string> kDepartments = {
    "H;1;01;Dzial 1;0;A;1000;00;", "H;1;02;Dzial 2;0;B;1000;00;", "H;1;03;Dzial 3;0;C;1000;00;",
    "H;1;04;Dzial 4;0;D;1000;00;", "H;1;05;Dzial 5;0;E;1000;00;", "H;1;06;Dzial 6;0;F;1000;00;",
    "H;1;07;Dzial 7;0;Z;1000;00;",
};

std::string padded(std::string_view text, std::size_t width) {
    std::string s(text);
    s.resize(std::max(width, s.size()), ' ');
    return s;
}

bool blank(std::string_view text) { return text.find_first_not_of(' ') == std::string_view::npos; }

// A field of the company record, blank when the table or the field is not there.
std::string company_text(Session& s, std::string_view field) {
    dbf::Table* firma = s.areas.find("firma");
    if (!firma || firma->field_pos(field) == 0) return {};
    return firma->text(field);
}

void draw_status_line(Session& s, const MenuValues& m) {
    auto& scr = s.screen;
    scr.set_colour("W+");
    scr.clear_rect(22, 0, 22, 79);
    dbf::Table& t = s.areas.table(kRegisterArea);
    scr.say(22, 0, m.NR_KASY + " " + t.text("POPIS") + " " + dbf::str_number(t.number("PPORT"), 2, 0));
    if (m.PS_MAG != " ") scr.say(22, 43, m.PS_MAG + " - magazyn");
}

void draw_main_screen(Session& s, const MenuValues& m, screen::Menu& menu) {
    auto& scr = s.screen;
    scr.set_colour("");
    scr.clear();
    scr.say(0, 0, padded(kBannerLines[0], 80));
    scr.say(1, 0, padded(kBannerLines[1], 80));
    scr.say(3, 10, padded("    KASA DURVA", 50));
    std::string keys(80, ' ');
    keys.replace(0, 13, "Enter - Wybor");
    keys.replace(29, 22, "F3 - Dziennik odczytow");
    keys.replace(67, 13, "Esc - Wyjscie");
    scr.say(24, 0, keys);
    RAMKA(s, 3, 9, 14, 61, {6, 9, 12});
    draw_status_line(s, m);
    scr.set_colour("");
    scr.frame(23, 0, 23, 79, screen::FrameStyle::Single);
    menu.clear();
    for (std::size_t i = 0; i < kItemRows.size(); ++i) menu.prompt(kItemRows[i], 10, padded(kMenuItems[i], 51));
}

// Everything written so far reaches the disk before an item runs, so a
// driver run or another workstation sees it.
void commit_tables(Session& s) {
    s.areas.select(kCompanyArea);
    with_error_handler(s, [&] { s.areas.commit_all(); });
}

// The sales read out are imported and booked. The driver's sales file
// leaves its place for DURVA_SD once read, and never before: a run cut
// short leaves it for the next one, which books it before the register is
// read again. The PLU list's file is imported only when this read-out
// wrote it, and stays.
void book_sales(Session& s, MenuValues& m, std::string_view file, SalesReadOut& r,
                const std::optional<FileStamp>& before = {}) {
    if (file == kSalesFile) {
        r.imported = ZROB_SD_VOKA(s, m, file, &r.import);
    } else {
        r.imported = ZROB_SD_VOKA(s, m, file, before, &r.import);
    }
}

// A port or speed that no register can have (a damaged register table) is
// not handed to the driver; the operator mends it under item 0.
bool stand_usable(Session& s, const MenuValues& m) {
    const bool port_ok = m.PORT >= 1 && m.PORT <= 17 && std::floor(m.PORT) == m.PORT;
    const bool speed_ok = m.PREDKOSC >= 0 && m.PREDKOSC <= 99999 && std::floor(m.PREDKOSC) == m.PREDKOSC;
    if (port_ok && speed_ok) return true;
    _OKNO_(s, "Bledny port lub predkosc kasy " + m.NR_KASY, 0.0);
    return false;
}

void report_driver_run(Session& s, MenuValues& m, DriverCommand kind) {
    if (run_driver(s, m, kind)) ERROR_DURVA(s);
}

void draw_company_banner(Session& s) {
    auto& scr = s.screen;
    scr.set_colour("");
    scr.clear_rect(0, 0, 2, 79);
    scr.set_colour("R+/N");
    scr.say(0, 19, "Jestes w programie firmy :");
    scr.say(1, 19, std::string(26, screen::glyph::kDoubleHorizontal));
    scr.set_colour("R+*/N");
    scr.say(0, 50, company_text(s, "NODB"));
    scr.say(1, 50, company_text(s, "NODB1"));
    scr.say(2, 50, company_text(s, "NODB2"));
    scr.set_colour("");
}

// The warehouses to book into and to skip; false when abandoned with Esc.
bool ask_warehouses(Session& s, MenuValues& m) {
    auto& scr = s.screen;
    scr.set_colour("");
    scr.clear_rect(24, 0, 24, 79);
    scr.show_cursor(true);
    screen::Entry entry(scr);
    entry.say_field(24, 0, "Pobrac na magazyn:", m.PS_MAG, "!");
    entry.say_field(24, 25, "albo     Pominac magazyn:", m.PS_MAG_NO, "!");
    entry.read();
    return !entry.abandoned();
}

// Item 3.
void program_departments(Session& s, MenuValues& m) {
    if (!stand_usable(s, m)) return;
    if (!OKNO(s, "Programowac dzialy ?", " ")) return;
    // Echo stays on: the control line and the records are shown from the
    // cursor on as they are written.
    write_input_file(s, "S;D;1;1;7;", kDepartments, true);
    report_driver_run(s, m, FILE_X("durvawin.txt") ? DriverCommand::DepartmentsStartWait : DriverCommand::Departments);
}

// The sent-record table keeps a send's changes only when the register took
// them (the driver reported success); otherwise they go.
void settle_sent_changes(Session& s, bool taken) {
    if (taken)
        keep_sent_changes(s);
    else
        drop_sent_changes();
}

// Item 1. The sent-record table takes the send's changes only when the
// driver reports that the register took the records.
void send_goods(Session& s, MenuValues& m) {
    if (!stand_usable(s, m)) return;
    if (!TWORZ_U(s, m)) return;
    if (!OKNO(s, "Kasa gotowa do transmisji ?", " ")) {
        drop_sent_changes();
        return;
    }
    _OKNO_(s, "Przesylam dane - czekac", "...");
    const bool ran = run_driver(s, m, DriverCommand::Send);
    settle_sent_changes(s, ran && ERROR_DURVA(s).good());
}

// Deletes the files of those present, all or (when one cannot go, say
// another program has it open) none; false then.
bool delete_together(std::span<const std::string_view> dos_paths) {
    std::vector<std::string> present;
    for (std::string_view p : dos_paths)
        if (FILE_X(p)) present.push_back(platform::resolve_path(p));
    try {
        platform::remove_files_together(present);
        return true;
    } catch (const DbError&) {
        return false;
    }
}

// The sent-record table goes, so the next send sends every good again. Its
// index and the changes of a send waiting beside it go with it or stay with it.
void remove_sent_records(Session& s) {
    s.areas.select(kSentRecordsArea);
    with_error_handler(s, [&] { s.areas.close(); });
    const bool gone = delete_together(kSentRecordFiles);
    s.areas.select(kCompanyArea);
    if (!gone) _OKNO_(s, "Nie moge skasowac pliku durva\\as2000.dbf", 0.0);
}

// Item 4.
void delete_sent_records(Session& s) {
    if (OKNO(s, "Skasowac plik durva\\as2000.dbf ?", "T")) remove_sent_records(s);
}

// The deletion mode of item 5: 1 to 3, 0 on Esc.
int choose_deletion_mode(Session& s) {
    auto& scr = s.screen;
    scr.set_colour("");
    scr.clear_rect(15, 0, 20, 75);
    scr.clear_rect(11, 29, 15, 75);
    scr.frame(11, 29, 15, 75, screen::FrameStyle::Single);
    screen::Menu modes(scr);
    modes.prompt(12, 30, "*1. Kasowanie wszystkich PLU w kasie       ");
    modes.prompt(13, 30, "*2. Kasowanie PLU dla kartotek zerowych    ");
    modes.prompt(14, 30, "*3. Kasowanie PLU dla ktorych brak kartotek");
    return modes.run(1);
}

// Item 5: the register's PLU list read out, the PLUs chosen from it deleted.
void delete_plus(Session& s, MenuValues& m) {
    if (!stand_usable(s, m)) return;
    _OKNO_(s, "Pobieram PLU do durva\\data_out.txt", "...");
    write_input_file(s, "S;I;0; ; ;", {});
    const std::optional<FileStamp> before = file_stamp(kPluListFile);
    report_driver_run(s, m, DriverCommand::ReadOut);
    const int mode = choose_deletion_mode(s);
    if (mode == 0) return;
    if (!OKNO(s, "Kasowac ?", " ")) return;
    // Without a list there is nothing to choose from: the read-out request
    // is not sent again as a deletion, and the sent-record table stays. A
    // list this read-out did not write (one left by an earlier read-out,
    // maybe of another register, when this one failed) is no list.
    const std::optional<FileStamp> now = file_stamp(kPluListFile);
    if (!now || now == before) {
        _OKNO_(s, "Brak listy PLU w durva\\data_out.txt", 0.0);
        return;
    }
    _OKNO_(s, "Prosze czekac ...", "...");
    KAS_PLU(s, m, mode);
    _OKNO_(s, "Kasuje - czekac", "...");
    report_driver_run(s, m, DriverCommand::Send);
    remove_sent_records(s);
}

// Runs the item at menu position `choice`; false when the menu run must end at once.
bool run_item(Session& s, MenuValues& m, int choice) {
    switch (choice) {
        case 1: PAR_DURVA(s, m); break;
        case 2: send_goods(s, m); break;
        case 3: return receive_sales(s, m).end != SalesReadOut::End::Abandoned;
        case 4: program_departments(s, m); break;
        case 5: delete_sent_records(s); break;
        case 6: delete_plus(s, m); break;
        default: break;
    }
    return true;
}

}  // namespace

SalesReadOut receive_sales(Session& s, MenuValues& m) {
    auto& scr = s.screen;
    SalesReadOut r;
    // A driver still running (its program killed meanwhile) writes the
    // sales file yet: it is booked once it is there, never read over.
    if (!wait_for_earlier_driver(s)) {
        r.end = SalesReadOut::End::DriverBusy;
        return r;
    }
    if (FILE_X(kSalesFile)) {
        _OKNO_(s, "Wczytuje: " + std::string(kSalesFile));
        r.end = SalesReadOut::End::Leftover;
        book_sales(s, m, kSalesFile, r);
        return r;
    }
    draw_company_banner(s);
    s.values.M_DATA = sales_date(s.clock.local_time(), s.values.HH);
    // Unattended, the warehouse is the stand's own and none is skipped.
    if (!s.unattended && screen::upper(s.vars.text("J_NAZWA")).find("KOD13") != std::string::npos &&
        !ask_warehouses(s, m)) {
        _OKNO_(s, "Przemysl to sobie");
        r.end = SalesReadOut::End::Abandoned;
        return r;
    }
    if (!stand_usable(s, m)) {
        r.end = SalesReadOut::End::StandUnusable;
        return r;
    }
    if (!s.unattended && !OKNO(s, "Odebrac sprzedaz z data " + s.values.M_DATA.dtoc() + " ?", " ")) {
        scr.tone(3000, 2);
        _OKNO_(s, "Zmien okres obrachunkowy lub date", "...");
        scr.inkey(3);
        r.end = SalesReadOut::End::DateRefused;
        return r;
    }
    _OKNO_(s, blank(m.PS_MAG) ? std::string("Odbieram sprzedaz - czekac") : "Odbieram sprzedaz na mag " + m.PS_MAG,
           "...");
    write_input_file(s, "S;U;2; ; ;", {});
    const std::optional<FileStamp> before = file_stamp(kPluListFile);
    r.driver_ran = run_driver(s, m, DriverCommand::ReadOut);
    if (r.driver_ran) r.driver = ERROR_DURVA(s);
    book_sales(s, m, FILE_X(kSalesFile) ? kSalesFile : kPluListFile, r, before);
    return r;
}

Date sales_date(const platform::LocalTime& today, std::string_view HH) {
    const Date now = Date::from_ymd(today.year, today.month, today.day);
    const std::string yy = dbf::str_number(today.year % 100 + 100, 3, 0).substr(1);
    const std::string mm = dbf::str_number(today.month + 100, 3, 0).substr(1);
    if (yy + "\\" + mm == HH) return now;
    // A period folder that makes no date (a damaged company record) leaves today.
    const std::optional<Date> last = Date::from_dtoc(K_MIES_FK(HH));
    const std::optional<Date> first = Date::from_dtoc(P_MIES(HH));
    if (!last || !first || last->empty() || first->empty()) return now;
    return now > *last ? *last : *first;
}

bool DURVA_(Session& s) {
    MenuValues m;
    return DURVA_(s, m);
}

bool DURVA_(Session& s, MenuValues& m) {
    m = MenuValues{};
    const int remembered = s.areas.current();
    if (!prepare_register_table(s)) return true;
    with_error_handler(s, [&] { s.areas.table(kRegisterArea).go_top(); });
    PS_READ(s, m);
    m.WYBOR = 2;

    screen::Menu menu(s.screen);
    // What the runs without an operator did, newest first.
    menu.on_key(Key::F3, [&s] { show_last_runs(s); });
    for (;;) {
        draw_main_screen(s, m, menu);
        m.WYBOR = menu.run(m.WYBOR);
        if (m.WYBOR == 0) break;
        commit_tables(s);
        if (!run_item(s, m, m.WYBOR)) return false;
    }

    s.areas.select(kRegisterArea);
    with_error_handler(s, [&] { s.areas.close(); });
    s.areas.select(remembered);
    return true;
}

namespace {

// The records of the driver's request: its lines after the control line.
std::size_t records_in_request() {
    const std::optional<std::string> text =
        platform::read_regular(platform::resolve_path("durva\\data_in.txt"), std::size_t{1} << 30);
    if (!text) return 0;
    std::size_t lines = 0;
    for (std::size_t at = text->find("\r\n"); at != std::string::npos; at = text->find("\r\n", at + 2)) ++lines;
    return lines > 0 ? lines - 1 : 0;
}

}  // namespace

GoodsSend send_unattended(Session& s, MenuValues& m) {
    GoodsSend g;
    if (!stand_usable(s, m)) {
        g.end = GoodsSend::End::StandUnusable;
        return g;
    }
    if (!TWORZ_U(s, m)) return g;
    g.end = GoodsSend::End::Sent;
    g.records = records_in_request();
    g.driver_ran = run_driver(s, m, DriverCommand::Send);
    if (g.driver_ran) g.driver = ERROR_DURVA(s);
    settle_sent_changes(s, g.driver_ran && g.driver.good());
    return g;
}

}  // namespace durva
