#pragma once
// The values of one sales import run, which the run, the line matcher and the
// booking read and write while it lasts (named as the office knows them), and
// the run's own bookkeeping: the unmatched-lines list being written, which
// goods record each work-table row was matched to, what could not be applied.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "common/menu_values.h"
#include "common/session.h"
#include "platform/read_handle.h"
#include "receive/booking_journal.h"
#include "receive/document_totals.h"

namespace durva {

class BookingJournal;

// What one import run came to, for a caller that reports it elsewhere than on
// the screen (the scheduled read-out).
struct ImportSummary {
    bool booked = false;         // a document was booked
    std::string rd, nrd;         // its type and number, as booked
    double amount = 0;           // its amount, as its message shows it
    int rows = 0;                // its rows
    int listed = 0;              // lines on the unmatched-lines list
    std::string finished;        // a booking cut short earlier and finished by this run: its message
    std::string not_booked;      // why the run booked nothing of the file though it was there
};

struct ImportRun {
    ImportRun(Session& session, MenuValues& menu) : s(session), m(menu) {}
    ImportRun(const ImportRun&) = delete;
    ImportRun& operator=(const ImportRun&) = delete;
    ~ImportRun();

    Session& s;
    MenuValues& m;

    std::string M_RD;                     // document type of the booking, a copy of M_SD
    std::string M_NRD;                    // provisional, then final number, 8 characters
    std::string M_MAG = "1";              // warehouse of the last matched line
    std::string M_INDEKS = std::string(8, ' ');
    std::string P1 = "0";                 // running row number, 3 characters
    bool BYL_PPLIK = false;               // a line went to the unmatched-lines list
    double M_WPLATA = 0;                  // gross total of the rows
    platform::ReadHandle HANDLE;          // the open sales file
    std::int64_t TEXT_EOF = 0;            // its size when opened

    // Company tests of the matcher, worked out once a run.
    bool bar_codes = false;        // the goods table has KOD13
    bool bar_code_modes = false;   // J_NAZWA names KOD13: the warehouse modes apply
    bool short_code_prefix = false;

    int rows = 0;                               // rows appended so far
    std::vector<std::uint32_t> goods_recnos;    // the goods record of each row, in row order
    TotalsLayout layout;                        // the header's total fields
    DocumentTotals totals;                      // what the rows so far add to the header
    int refused = 0;                            // lines refused for their form or their amounts
    std::FILE* list = nullptr;                  // the unmatched-lines list while lines are read
    std::string list_path;                      // its DOS name (PLIK)
    std::string backup;                         // the backup copy of the sales file
    // The driver's sales file as it was read, when the run takes it away
    // under the backup's name (its booking does, or the run at its end).
    std::string source;
    SourceStamp stamp;
    bool reading = false;                       // the lines of the file are being read
    std::vector<std::string> unmatched;         // the lines of the file listed while it was read
    std::vector<std::string> not_applied;       // stock changes the booking could not make
    std::vector<std::string> carried;           // the same from a booking finished at the start of the run
    ImportSummary done;                         // what the run came to

    // Puts a text on the unmatched-lines list: the bytes as given, then CR LF.
    void list_line(std::string_view text);
};

}  // namespace durva
