#include "app/scheduled_readout.h"

#include <unistd.h>

#include <algorithm>
#include <optional>
#include <string_view>

#include "app/durva.h"
#include "app/in_net.h"
#include "app/run_log.h"
#include "app/init_dbf.h"
#include "common/_fun3.h"
#include "common/dbf/dbf_file.h"
#include "common/dbf/field_codec.h"
#include "common/dbf/xbase_values.h"
#include "common/dirmake.h"
#include "common/error_handler.h"
#include "common/locks.h"
#include "common/screen/codepage.h"
#include "common/screen/screen.h"
#include "platform/clock.h"
#include "platform/file.h"
#include "platform/path_resolver.h"
#include "platform/unattended_terminal.h"
#include "receive/booking_journal.h"
#include "registers/register_table.h"

namespace durva {

namespace {

constexpr int kCompanyArea = 1;
// The company table is opened again for the sign-out after a failure that
// closed every table; a few seconds, then the position stays taken.
constexpr int kSignOutWait = 5;

std::string last_message(const Session& s) { return s.messages.empty() ? std::string() : s.messages.back(); }

bool is_lock_refusal(std::string_view note) {
    return note.starts_with(platform::kLockedByAnotherProgram) || note.starts_with(SharingError("").cause());
}

// Where the run was when it failed, for the status of a failure that has no
// status of its own (an error of the table layer, a question nobody answers).
enum class Phase { Tables, ReadOut, Send };

// Whether a booking of the station was cut short: its journal holds a whole
// plan not marked finished, which the next start of the program or the next
// import, at any station, finishes.
bool booking_cut_short(int station) {
    BookingJournal journal(station);
    BookingPlan plan;
    BookingProgress done;
    std::string fault;
    return journal.read(plan, done, fault) && fault.empty() && done.planned && !done.finished;
}

// A failure during the import says whether a booking was begun: then it is
// not lost, and not "nothing booked" either.
ReadOutResult import_failure(ReadOutStatus status, std::string_view why, int station) {
    if (!booking_cut_short(station)) return failure(status, why);
    return {status, std::string(why) + " - ksiegowanie przerwane (stacja " + STR2(station) +
                      "), dokonczy je nastepne uruchomienie programu"};
}

ReadOutResult ended_by_error(Phase phase, std::string_view note, int station) {
    if (phase == Phase::Tables)
        return failure(is_lock_refusal(note) ? ReadOutStatus::TableHeld : ReadOutStatus::NotAnOffice, note);
    if (phase == Phase::Send)
        return failure(is_lock_refusal(note) ? ReadOutStatus::TableHeld : ReadOutStatus::SendFailed, note);
    const ReadOutStatus status = is_lock_refusal(note) ? ReadOutStatus::TableHeld : ReadOutStatus::ImportFailed;
    return import_failure(status, note, station);
}

ReadOutResult sign_in_refused(const Session& s) {
    const std::string why = last_message(s);
    if (why == "Wszystkie stacje zajete") return failure(ReadOutStatus::StationsTaken, why);
    if (why.starts_with("Brak danych firmy")) return failure(ReadOutStatus::NotAnOffice, why);
    return failure(ReadOutStatus::TableHeld, why);
}

// The company tables could not all be opened: missing or meaningless ones
// make no office folder; refused ones are held by another program.
ReadOutResult tables_refused(const Session& s) {
    const std::string why = last_message(s);
    const bool goods_there = !s.values.HH.empty() && FILE_X(s.values.HH + "\\as.dbf");
    if (why == "Musisz zaczekac" || (goods_there && why.ends_with("niedostepny")))
        return failure(ReadOutStatus::TableHeld, why);
    return failure(ReadOutStatus::NotAnOffice, why);
}

// Makes the stand of that number the current record of the register table.
bool go_to_stand(Session& s, int stand) {
    return with_error_handler(s, [&] {
        dbf::Table& t = s.areas.table(kRegisterArea);
        for (t.go_top(); !t.eof(); t.skip(1))
            if (dbf::val_number(t.text("PKASA")) == stand) return true;
        return false;
    });
}

// Signs out whatever has happened: a failure may have closed every table,
// and then the company table is opened again for it.
void sign_out(Session& s) {
    if (s.values.STACJA == 0) return;
    try {
        s.areas.select(kCompanyArea);
        if (s.areas.used() || NET_USE(s, "firma", "firma", false, kSignOutWait)) OUT_NET(s);
    } catch (const ProgramEnd&) {
    } catch (const DbError&) {
    } catch (const platform::NoOperator&) {
        // Ending either way; the position stays taken until the next first
        // workstation frees it, as after a power cut.
    }
}

void close_tables(Session& s) {
    try {
        s.areas.close_all();
    } catch (const DbError&) {
        // Ending either way; every table was closed as far as it could be.
    }
}

// The register table held as the menu holds it and the stand made current;
// a failure when that cannot be.
std::optional<ReadOutResult> take_stand(Session& s, int stand, MenuValues& m) {
    if (!prepare_register_table(s)) {
        // Refused: a workstation is in the menu. Otherwise the table could
        // not be made (its scratch table held by another program).
        const std::string why = last_message(s);
        if (why == "Problem z plikiem durva\\durva.DBF")
            return failure(ReadOutStatus::MenuBusy, "stanowisko w menu kas (" + why + ")");
        return failure(ReadOutStatus::TableHeld, why);
    }
    if (!go_to_stand(s, stand))
        return failure(ReadOutStatus::UnknownStand, "brak kasy " + stand_label(stand) + " w durva\\durva.DBF");
    PS_READ(s, m);
    return std::nullopt;
}

// The job once the station is signed in and the tables are open.
ReadOutResult run_job(Session& s, int stand, ScheduledJob job, Phase& phase) {
    MenuValues m;
    if (std::optional<ReadOutResult> refused = take_stand(s, stand, m)) return *refused;
    ReadOutResult result;
    if (job == ScheduledJob::ReadOut) {
        phase = Phase::ReadOut;
        const SalesReadOut r = receive_sales(s, m);  // before its last message is asked for
        result = result_of(r, s.values.PLIK, last_message(s));
    } else {
        phase = Phase::Send;
        const GoodsSend g = send_unattended(s, m);
        result = result_of(g, last_message(s));
    }
    s.areas.select(kRegisterArea);
    with_error_handler(s, [&] { s.areas.close(); });
    return result;
}

// Every stand of the register table with a port, in the table's order; none,
// with `why`, when the table cannot be read (a workstation in the menu holds it).
std::vector<int> stands_with_port(ReadOutResult& why) {
    std::vector<int> stands;
    try {
        auto t = dbf::DbfFile::open(platform::resolve_path(kRegisterFile), platform::Share::Shared, true);
        const int number = t->field_index("PKASA"), port = t->field_index("PPORT");
        if (number < 0 || port < 0) throw DbError("Brak pola PKASA lub PPORT w tabeli", std::string(kRegisterFile));
        const std::uint32_t count = t->record_count();
        for (std::uint32_t r = 1; r <= count; ++r) {
            const std::string_view rec = t->record_view(r);
            if (rec.empty() || dbf::DbfFile::is_deleted(rec)) continue;
            const double n = dbf::val_number(dbf::field_bytes(rec, t->fields()[static_cast<size_t>(number)]));
            const double p = dbf::val_number(dbf::field_bytes(rec, t->fields()[static_cast<size_t>(port)]));
            if (n >= 1 && n <= 99 && p > 0) stands.push_back(static_cast<int>(n));
        }
        t->close();
    } catch (const SharingError&) {
        why = failure(ReadOutStatus::MenuBusy, "stanowisko w menu kas (durva\\durva.DBF zajety)");
    } catch (const DbError& e) {
        why = failure(FILE_X(kRegisterFile) ? ReadOutStatus::TableHeld : ReadOutStatus::UnknownStand,
                      std::string(e.what()));
    }
    if (stands.empty() && why.line.empty())
        why = failure(ReadOutStatus::UnknownStand, "zadna kasa w durva\\durva.DBF nie ma portu");
    return stands;
}

// A failure shared with the read-out, said of a send: nothing was sent.
void said_of_send(ReadOutResult& r) {
    if (r.line.ends_with(kNothingBooked))
        r.line = r.line.substr(0, r.line.size() - kNothingBooked.size()) + std::string(kNothingSent);
}

std::string value_after(const std::vector<std::string>& words, size_t& i, std::string_view option) {
    const std::string& w = words[i];
    if (w.size() > option.size() && w[option.size()] == '=') return w.substr(option.size() + 1);
    if (i + 1 < words.size()) return words[++i];
    return {};
}

}  // namespace

bool wants_scheduled_run(const std::vector<std::string>& words) {
    for (const std::string& w : words)
        for (const char* option : {"--odczyt", "--wyslij"})
            if (w == option || w.starts_with(std::string(option) + "=")) return true;
    return false;
}

ScheduledArgs parse_scheduled_args(const std::vector<std::string>& words) {
    ScheduledArgs a;
    std::string stand, option;
    bool stand_given = false;
    for (size_t i = 0; i < words.size(); ++i) {
        const std::string& w = words[i];
        bool job_word = false;
        for (const char* o : {"--odczyt", "--wyslij"}) {
            if (w != o && !w.starts_with(std::string(o) + "=")) continue;
            job_word = true;
            if (stand_given) {
                a.error = "tylko jedno z --odczyt i --wyslij, raz";
                return a;
            }
            option = o;
            a.job = option == "--wyslij" ? ScheduledJob::Send : ScheduledJob::ReadOut;
            stand = value_after(words, i, o);
            stand_given = true;
        }
        if (job_word) continue;
        if (w == "--folder" || w.starts_with("--folder=")) {
            a.folder = value_after(words, i, "--folder");
            if (a.folder.empty()) a.error = "brak nazwy folderu po --folder";
        } else {
            a.error = "nieznany argument " + w;
        }
        if (!a.error.empty()) return a;
    }
    const bool digits =
        !stand.empty() && stand.size() <= 2 && stand.find_first_not_of("0123456789") == std::string::npos;
    if (stand_given && stand == "wszystkie")
        a.all = true;
    else if (!stand_given || !digits || std::stoi(stand) < 1)
        a.error = "numer kasy (1 do 99) po " + (option.empty() ? std::string("--odczyt") : option) + ": \"" + stand + "\"";
    else
        a.stand = std::stoi(stand);
    return a;
}

std::string stand_label(int stand) { return stand_number(static_cast<std::uint32_t>(stand)); }

namespace {

ReadOutResult scheduled_job(Session& s, int stand, ScheduledJob job) {
    s.unattended = true;
    Phase phase = Phase::Tables;
    ReadOutResult result;
    try {
        const std::string problem = start_program(s);
        if (!problem.empty()) s.messages.push_back(problem);
        s.values.STACJA = IN_NET(s);
        if (s.values.STACJA == 0) {
            result = sign_in_refused(s);
        } else if (!INIT_DBF(s)) {
            result = tables_refused(s);
        } else {
            set_station_files(s);
            const CutShortBookings earlier = finish_cut_short_bookings_at_start(s);
            // A journal that cannot be read waits for the operator: the
            // register is not read out and nothing is booked meanwhile.
            if (!earlier.damaged.empty() && job == ScheduledJob::ReadOut)
                result = failure(ReadOutStatus::ImportFailed, earlier.damaged.front());
            else
                result = run_job(s, stand, job, phase);
            // The bookings finished before the read-out lead its line.
            std::string mended;
            for (const std::string& m : earlier.finished) mended += m + "; ";
            for (const std::string& m : earlier.not_applied) mended += m + "; ";
            result.line = mended + result.line;
        }
    } catch (const ProgramEnd&) {
        result = ended_by_error(phase, program_end_note(), s.values.STACJA);
    } catch (const platform::NoOperator& e) {
        // Nothing of the read-out asks; should anything, the run ends here
        // rather than waiting for a key nobody presses.
        const std::string asked = *e.what() ? std::string(e.what()) : last_message(s);
        result = job == ScheduledJob::Send ? failure(ReadOutStatus::SendFailed, "czeka na operatora: " + asked)
                                           : import_failure(ReadOutStatus::ImportFailed, "czeka na operatora: " + asked,
                                                            s.values.STACJA);
    } catch (const std::exception& e) {
        // A fault of the program itself: still signed out and reported.
        result =
            import_failure(ReadOutStatus::ProgramFault, std::string("blad programu: ") + e.what(), s.values.STACJA);
    }
    sign_out(s);
    close_tables(s);
    // A send books nothing: its failures say that nothing was sent.
    if (job == ScheduledJob::Send) said_of_send(result);
    return result;
}

}  // namespace

ReadOutResult scheduled_readout(Session& s, int stand) { return scheduled_job(s, stand, ScheduledJob::ReadOut); }
ReadOutResult scheduled_send(Session& s, int stand) { return scheduled_job(s, stand, ScheduledJob::Send); }

int run_scheduled(const std::vector<std::string>& words, std::FILE* out) {
    const ScheduledArgs a = parse_scheduled_args(words);
    const std::string option = a.job == ScheduledJob::Send ? "--wyslij" : "--odczyt";
    platform::RealClock clock;
    // Each line goes to the scheduler; once the office folder is known, to
    // its log as well.
    auto say = [&](const ReadOutResult& r, bool log) {
        const std::string line = screen::to_utf8(r.line);
        std::fprintf(out, "%s\n", line.c_str());
        std::fflush(out);
        // The scheduler keeps standard output to itself (often nowhere); a
        // failure is said on standard error too, which it mails or logs.
        if (r.code() != 0) std::fprintf(stderr, "durva: %s\n", line.c_str());
        if (log) log_run(clock.local_time(), line, r.code());
        return r.code();
    };
    if (!a.error.empty())
        return say({ReadOutStatus::BadArguments, "durva " + option + ": " + a.error + " (durva --help)"}, false);

    const std::string job = a.job == ScheduledJob::Send ? "wysylka, " : "";
    const std::string prefix = job + (a.all ? std::string("wszystkie kasy: ") : "kasa " + stand_label(a.stand) + ": ");
    const std::string_view nothing = a.job == ScheduledJob::Send ? kNothingSent : kNothingBooked;
    auto refused = [&](ReadOutStatus status, const std::string& why) {
        return ReadOutResult{status, prefix + why + std::string(nothing)};
    };
    if (!a.folder.empty() && ::chdir(a.folder.c_str()) != 0)
        return say(refused(ReadOutStatus::NotAnOffice, "brak folderu " + a.folder), false);
    if (!FILE_X("firma.dbf"))
        return say(refused(ReadOutStatus::NotAnOffice, "to nie jest folder danych biura (brak firma.dbf)"), false);

    // A second run of the folder without an operator is told apart from a
    // workstation in the menu by this file, held exclusively while a run lasts.
    DIRMAKE("DURVA");
    std::shared_ptr<platform::File> lock;
    try {
        lock = platform::File::create(platform::resolve_path(kReadOutLock));
        const std::string pid = std::to_string(::getpid()) + "\r\n";
        lock->write_at(pid.data(), pid.size(), 0);
    } catch (const SharingError&) {
        return say(refused(ReadOutStatus::AnotherRun, "poprzedni odczyt jeszcze trwa"), true);
    } catch (const DbError& e) {
        return say(refused(ReadOutStatus::ProgramFault, e.what()), true);
    }

    std::vector<int> stands{a.stand};
    if (a.all) {
        ReadOutResult why;
        stands = stands_with_port(why);
        if (stands.empty()) {
            why.line = prefix + why.line;
            if (a.job == ScheduledJob::Send) said_of_send(why);
            return say(why, true);
        }
    }
    // One stand after another: they share the driver's files.
    int worst = 0;
    for (int stand : stands) {
        platform::UnattendedTerminal terminal(clock);
        screen::Screen screen(terminal, clock);
        Session session(clock, screen);
        ReadOutResult r = a.job == ScheduledJob::Send ? scheduled_send(session, stand) : scheduled_readout(session, stand);
        r.line = job + "kasa " + stand_label(stand) + ": " + r.line;
        worst = std::max(worst, say(r, true));
    }
    return worst;
}

}  // namespace durva
