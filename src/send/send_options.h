#pragma once
// The options of one send, typed on the options screen over the main menu,
// and the routines that read them. They live while the send runs; every road
// of the send reads them.
#include <string>
#include <string_view>

#include "common/date.h"
#include "common/menu_values.h"
#include "common/screen/entry.h"
#include "common/session.h"

namespace durva {

struct SendOptions {
    std::string M_RD = "PZ ";                    // receipt document type; "GZ " sends the leaflet
    std::string M_NRD = std::string(37, ' ');    // document numbers, or a date dd.mm.yyyy
    std::string M_ZN = " ";                      // only names whose first character is not below it
    std::string JEST_ILOSC = "N";                // "T": only goods in stock
    int M_POZIOM = 0;                            // selling-price level
    double D_CENA = 0;                           // step between price levels
    Date M_DATA;                                 // date filter taken from M_NRD
};

// The check of the document-type field: a blank type is refused; "GZ " ends
// the whole entry at once (the leaflet needs nothing more); anything else goes.
bool FUN_RD(std::string_view type, screen::Entry* entry = nullptr);

// Shows the options over the main menu and lets the operator change them,
// then asks for the warehouses' confirmation where the goods have bar codes.
// False on Esc or a "no". Sets the warehouse default of m.M_MAGAZYN first.
bool ask_send_options(Session& s, MenuValues& m, SendOptions& o);

// Reads the Nrd entry: a text of ten characters with points at positions 3
// and 6 is a date (an impossible one gives the empty date) and the number list
// becomes blank; any other entry becomes "," + the entry + "," with blanks and
// the separators . ; / \ : | turned into commas.
void read_date_or_numbers(SendOptions& o);

// The goods filters every road applies, in the program's terms: stock,
// chosen warehouses, warehouses never sent, blank names and the start sign.
struct GoodsFilter {
    explicit GoodsFilter(const Session& s, const MenuValues& m, const SendOptions& o);
    // True when the good stays out of the send.
    bool skips(std::string_view mag, std::string_view nazwa, double ilosc) const;

    bool in_stock_only;
    std::string warehouses;  // trimmed M_MAGAZYN, empty for all
    std::string never_k;     // J_MAG_K: a warehouse that begins with it is never sent
    std::string never_u;     // J_MAG_U: a warehouse contained in it is never sent
    std::string start_sign;  // M_ZN, empty when blank
};

std::string trim(std::string_view text);
bool is_blank(std::string_view text);

}  // namespace durva
