#include "send/register_items.h"

#include "common/_fun1.h"
#include "common/_fun3.h"
#include "common/error_handler.h"
#include "common/screen/menu.h"
#include "driver/driver_run.h"
#include "driver/error_durva.h"
#include "platform/errors.h"
#include "platform/file.h"
#include "platform/path_resolver.h"
#include "send/kas_plu.h"
#include "send/sent_records.h"
#include "send/tworz_u.h"

namespace durva {
namespace {

void run_and_report(Session& s, MenuValues& m, DriverCommand kind) {
    if (run_driver(s, m, kind)) ERROR_DURVA(s);
}

// Deletes a file that is there; false when it stays (another station has it open).
bool delete_file(std::string_view dos_path) {
    if (!FILE_X(dos_path)) return true;
    try {
        platform::remove_file(platform::resolve_path(dos_path));
        return true;
    } catch (const DbError&) {
        return false;
    }
}

}  // namespace

void send_goods_to_register(Session& s, MenuValues& m) {
    if (!TWORZ_U(s, m)) return;
    if (!OKNO(s, "Kasa gotowa do transmisji ?", " ")) return;
    _OKNO_(s, "Przesylam dane - czekac", "...");
    run_and_report(s, m, DriverCommand::Send);
}

void delete_register_plus(Session& s, MenuValues& m) {
    auto& scr = s.screen;
    _OKNO_(s, "Pobieram PLU do durva\\data_out.txt", "...");
    write_input_file(s, "S;I;0; ; ;", {});
    run_and_report(s, m, DriverCommand::ReadOut);

    scr.clear_rect(15, 0, 20, 75);
    scr.clear_rect(11, 29, 15, 75);
    scr.frame(11, 29, 15, 75, screen::FrameStyle::Single);
    screen::Menu modes(scr);
    modes.prompt(12, 30, "*1. Kasowanie wszystkich PLU w kasie       ");
    modes.prompt(13, 30, "*2. Kasowanie PLU dla kartotek zerowych    ");
    modes.prompt(14, 30, "*3. Kasowanie PLU dla ktorych brak kartotek");
    const int mode = modes.run(1);
    if (mode == 0) return;
    if (!OKNO(s, "Kasowac ?", " ")) return;

    _OKNO_(s, "Prosze czekac ...", "...");
    KAS_PLU(s, m, mode);
    _OKNO_(s, "Kasuje - czekac", "...");
    run_and_report(s, m, DriverCommand::Send);

    // Whatever the register did, what it holds is no longer what the table
    // says: the next send transfers every good again.
    s.areas.select(kSentRecordsArea);
    with_error_handler(s, [&] { s.areas.close(); });
    const bool gone = delete_file("durva\\as2000.dbf") && delete_file("durva\\as2000.ntx");
    s.areas.select(1);
    if (!gone) _OKNO_(s, "Nie moge skasowac pliku durva\\as2000.dbf", 0.0);
}

}  // namespace durva
