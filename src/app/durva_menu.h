#pragma once
// The main menu: the register table made ready, the first stand current,
// then one screen of six items until the operator leaves it with Esc. Each
// item runs to its end and the screen is drawn afresh.
#include <string>
#include <string_view>

#include "common/date.h"
#include "common/menu_values.h"
#include "common/session.h"
#include "driver/error_durva.h"
#include "receive/import_run.h"

namespace durva {

// What one sales read-out of item 2 came to.
struct SalesReadOut {
    enum class End {
        Abandoned,      // Esc at the warehouse prompt: the menu run ends
        DateRefused,    // N to the sales date: nothing sent to the register
        StandUnusable,  // the stand's port or speed no register can have
        Leftover,       // a sales file left by an earlier run imported, the register not asked
        DriverBusy,     // an earlier driver run still goes on: nothing done
        ReadOut,        // the register read out and what it gave imported
    };
    End end = End::ReadOut;
    bool driver_ran = false;  // the driver was started and waited for
    DriverReport driver;      // its report, when it ran
    bool imported = false;    // the import run reached its end
    ImportSummary import;     // what the import run came to
};

// Item 2: the sales read out of the current stand's register and booked.
// The main menu runs it for the operator; the scheduled read-out runs it in
// an unattended session, where no question is asked: the sales date is taken
// as the item's rules give it and the warehouse is the stand's own.
SalesReadOut receive_sales(Session& s, MenuValues& m);

// What one send of item 1 came to, unattended.
struct GoodsSend {
    enum class End {
        StandUnusable,  // the stand's port or speed no register can have
        NotWritten,     // no driver file: nothing to send, or the send failed (the last message says why)
        Sent,           // the driver was run (whether it ran and what it said is below)
    };
    End end = End::NotWritten;
    std::size_t records = 0;  // records in the driver's file
    bool driver_ran = false;
    DriverReport driver;
};

// Item 1 without an operator: the main send of the current stand with the
// options as the options screen offers them, then the driver; the
// sent-record table keeps the send only when the driver reports success.
GoodsSend send_unattended(Session& s, MenuValues& m);

// Runs the menu with fresh menu variables. False when the operator abandons
// the warehouse prompt of the sales read-out; true on every other end,
// including a register table that cannot be opened. The caller ends the run
// in every case.
bool DURVA_(Session& s);
// The same with the caller's menu variables, which it leaves as the run left them.
bool DURVA_(Session& s, MenuValues& m);

// The sales date of a read-out made `today` in period `HH`: today inside the
// period, the period's last day after it, its first day before it.
Date sales_date(const platform::LocalTime& today, std::string_view HH);

// The texts of the six menu items, in their order.
inline constexpr std::string_view kMenuItems[] = {
    " 0. Wybor kasy, parametry",       "*1. Przes\x9C" "anie danych do kasy",
    "*2. Odebranie sprzedazy z kasy",  " 3. Programowanie dzialow",
    " 4. Kasowanie pliku durva\\as2000.dbf", "*5. Kasowanie PLU",
};

// The two lines of rows 0 and 1: the program and where its help is.
inline constexpr std::string_view kBannerLines[] = {
    " DURVA - towary do kas fiskalnych DURVA, sprzedaz z kas do dokumentow",
    " Pomoc: plik README.md w katalogu programu",
};

}  // namespace durva
