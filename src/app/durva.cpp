#include "app/durva.h"

#include <cstdio>

#include "app/defaults.h"
#include "app/durva_menu.h"
#include "app/in_net.h"
#include "app/init_dbf.h"
#include "common/_fun1.h"
#include "common/_fun3.h"
#include "common/editor.h"
#include "common/error_handler.h"
#include "common/mem_file.h"
#include "platform/folder_file.h"
#include "platform/path_resolver.h"
#include "platform/read_handle.h"
#include "receive/zrob_sd_voka.h"

namespace durva {

namespace {

// SD_DURVA.TXT names a document type in its first characters; more than this
// is never a type, so a huge file is not read whole.
constexpr size_t kSalesTypeFileLimit = 65535;

bool is_blank_or_line_end(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Step 1. Fixed for the whole run; every screen and table operation relies on
// them. The screen layer always behaves as scoreboard off, bell off, wrap on,
// confirm on and no interrupt key, and dates are always "dd.mm.yyyy" with the
// century, so only what can change is set here.
void apply_run_settings(Session& s) {
    s.areas.settings.exclusive = false;
    s.areas.settings.soft_seek = true;
    s.areas.settings.deleted_hidden = true;
    s.areas.clock = &s.clock;
    s.screen.set_insert_mode(true);
    s.screen.show_cursor(false);
}

// Step 3. Returns what was wrong with an existing file, empty when nothing
// was. A damaged file is never written over: the settings it could not give
// keep their defaults. A file that cannot be created goes to the general
// error handler, where the operator tries again or ends the program.
std::string exchange_parameter_file(Session& s) {
    if (FILE_X("PARAMETR.MEM")) {
        MemFileResult r = restore_mem_file("PARAMETR.MEM", s.vars);
        return r.ok() ? std::string() : "PARAMETR.MEM: " + r.problem;
    }
    with_error_handler(s, [&] { return write_mem_file("parametr.mem", s.vars, "J_"); });
    return {};
}

// Step 4.
void prepare_screen(Session& s) {
    s.screen.clear_keys();
    s.screen.clear();
    s.screen.set_cursor(0, 0);
    s.screen.set_colour("");
    s.screen.show_cursor(true);
}

void shut_down_screen(Session& s) {
    s.screen.set_colour("");
    s.screen.show_cursor(true);
    s.screen.clear();
    s.screen.set_cursor(0, 0);
    s.screen.out("\r\n");
    s.screen.out(kClosingLine);
}

// Steps 6 to 10 and the shutdown; returns when the program ends.
void run_stages(Session& s, const StartupStages& stages) {
    // Step 6: sign-in. A refusal ends the program at once; its message stays.
    if (stages.IN_NET) {
        s.values.STACJA = stages.IN_NET(s);
        if (s.values.STACJA == 0) return;
    }
    // Step 7: the company tables. A failure signs out and ends the program.
    if (stages.INIT_DBF && !stages.INIT_DBF(s)) {
        if (stages.OUT_NET) stages.OUT_NET(s);
        return;
    }
    // Steps 8 and 9.
    set_station_files(s);
    finish_cut_short_bookings_at_start(s);
    // Step 10: the main menu, until the operator leaves it.
    if (stages.DURVA_) stages.DURVA_(s);

    // Shutdown.
    if (stages.OUT_NET) stages.OUT_NET(s);
    shut_down_screen(s);
}

}  // namespace

StartupStages program_stages() {
    StartupStages stages;
    stages.IN_NET = IN_NET;
    stages.OUT_NET = [](Session& s) { OUT_NET(s); };
    stages.INIT_DBF = INIT_DBF;
    stages.DURVA_ = [](Session& s) { DURVA_(s); };
    return stages;
}

std::string sales_document_type(std::string_view text) {
    // Line ends and tabs at the end are removed as well as blanks: a file
    // saved by an ordinary editor ends with a line end, which must not become
    // part of the type.
    size_t begin = 0, end = text.size();
    while (begin < end && is_blank_or_line_end(text[begin])) ++begin;
    while (end > begin && is_blank_or_line_end(text[end - 1])) --end;
    std::string type = std::string(text.substr(begin, end - begin)) + "   ";
    type.resize(3);
    if (type == "   " || (type[0] != 'S' && type[0] != 'R' && type[0] != 'F')) return "SD ";
    return type;
}

std::string read_sales_document_type() {
    if (!FILE_X("SD_DURVA.TXT")) return "SD ";
    platform::ReadHandle file("SD_DURVA.TXT");
    if (!file.is_open()) return "SD ";
    std::string text(kSalesTypeFileLimit, '\0');
    text.resize(file.read(text.data(), text.size()));
    return sales_document_type(text);
}

std::string start_program(Session& s) {
    apply_run_settings(s);
    // Step 2, with the cursor hidden.
    create_settings(s.vars);
    create_working_variables(s);
    return exchange_parameter_file(s);
}

void set_station_files(Session& s) {
    // Step 8: the station's print file.
    s.values.PLIK = "rob\\wydruk" + STR2(s.values.STACJA) + ".prn";
    // Step 9: the sales document type.
    s.values.M_SD = read_sales_document_type();
}

CutShortBookings finish_cut_short_bookings_at_start(Session& s) {
    CutShortBookings done = with_error_handler(s, [&] { return finish_cut_short_bookings(s); });
    std::vector<std::string> lines = done.unmatched;
    lines.insert(lines.end(), done.not_applied.begin(), done.not_applied.end());
    if (lines.empty()) return done;
    // The lines of the finished bookings' files that matched no goods, and
    // what they could not change, go on the station's print file, where the
    // operator reads them as after an import, and lead the list of the
    // next import, which is made afresh.
    if (std::FILE* list = platform::stream_on(platform::open_own(platform::resolve_path(s.values.PLIK)), "wb", true)) {
        for (const std::string& text : lines) {
            std::fwrite(text.data(), 1, text.size(), list);
            std::fwrite("\r\n", 1, 2, list);
        }
        std::fclose(list);
    }
    s.carried_lines.insert(s.carried_lines.end(), lines.begin(), lines.end());
    if (!s.unattended) {
        _OKNO_(s, kSeeListMessage);
        MEDIT(s, s.values.PLIK);
    }
    return done;
}

int MAIN(Session& s, [[maybe_unused]] std::string_view argument, const StartupStages& stages) {
    try {
        const std::string problem = start_program(s);

        prepare_screen(s);
        if (!problem.empty()) _OKNO_(s, problem, 0.0);

        _OKNO_(s, "PROSZE CZEKAC", "...");

        run_stages(s, stages);
    } catch (const ProgramEnd&) {
        // The operator ended the program from the general error handler, which
        // has closed the tables; what it showed stays on the screen.
        try {
            s.areas.close_all();
        } catch (const DbError&) {
            // Ending either way; every table was closed as far as it could be.
        }
    }
    return 0;
}

}  // namespace durva
