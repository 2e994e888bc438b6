#pragma once
// Small helpers every part of the program uses for file names and file tests.
#include <string>
#include <string_view>

namespace durva {

// The station number as two characters for per-station file names: 1 to 9
// give "01" to "09", 10 to 99 give themselves, 0 and anything above 99 give
// "00". A fraction is rounded to a whole number first.
std::string STR2(double n);

// True if the file exists under the upper-case or the lower-case form of
// `name` once every space is removed from it. The name may carry folders
// ("durva\DATA_OUT.TXT"); folders are found whatever their case, as on the
// DOS machines that share the data folder.
bool FILE_X(std::string_view name);

struct Session;

// Creates an empty table from a field-list text ("rob\d03,LP        ,C,  3,  0"):
// the path, then name, type, width and decimals for each field. An existing
// table of the path is deleted first; the new one is left closed and the
// current work area is kept. False when the station's scratch table cannot
// be had ("Plik strukt.dbf niedostepny" is shown); a list that makes no valid
// table goes to the general error handler. `flag` has no effect.
bool TWORZ(Session& s, std::string_view list, bool flag, int station);

}  // namespace durva
