#pragma once
// The stand browser: every register stand in a browse list, where the
// operator picks the stand to work with (Enter) and edits a stand's
// description, port, speed and warehouse (F4). The highlighted stand is the
// current stand at once; Esc goes back to the stand current on entry.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/menu_values.h"
#include "common/screen/entry.h"
#include "common/session.h"

namespace durva {

// The browser's own values, which its routines share while it runs.
struct StandBrowser {
    Session& s;
    MenuValues& m;
    std::uint32_t REK = 0;  // the record current on entry, for Esc
    int ROW = 0, COL = 0;   // the highlighted cell while a key is handled
    bool ZERO = true;       // the bar is still to be drawn for the first time
};

// The browser over rows 2 to 21 with its key line, the department legend
// and the receipt type; returns true with the register table (selected in
// work area 99) on the current stand.
bool PAR_DURVA(Session& s, MenuValues& m);

// The browse's user function: mode as the browse gives it, returns 0 to
// leave, 1 to go on, 2 to go on with the rows read again.
int FUN_PS(StandBrowser& b, int mode, int column);

// Draws the bar on the row (the cursor's when not given), waits for a key
// and puts it back for the browse as one byte: F4 comes back as 253; Alt-K
// is not put back, the wait repeats. At the end of the table Enter is put
// back instead.
void VIEW_PS(StandBrowser& b);
void VIEW_PS(StandBrowser& b, int row, int col);

// Draws the current record as the bar and makes it the current stand.
void LINIA_PS(StandBrowser& b, int row, int col);

// The entry fields of one row, in the colours given, on row b.ROW.
void PS_EDYCJA(StandBrowser& b, screen::Entry& entry, std::string_view colours);

// Edits the highlighted stand; stored unless the entry ends with Esc.
void EDIT_PS(StandBrowser& b);

// The department legend: which departments are listed, in order, for the
// rates of groups A to F and Z. Rate A always; from B on a rate of " 0" only
// the first time; a group without a rate never.
std::vector<int> listed_departments(const std::vector<std::optional<std::string>>& rates);

}  // namespace durva
