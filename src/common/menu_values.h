#pragma once
// The main menu's variables: the current stand (number, description, port,
// speed, warehouse) and the values the menu items share while the menu runs.
// The main menu owns one and passes it to every routine it calls, which read
// and change the same values; they go when the menu returns.
#include <string>

namespace durva {

struct MenuValues {
    std::string NR_KASY = "01";            // number of the current stand
    std::string OPIS = std::string(28, ' ');  // its description
    double PORT = 1;                       // its serial port
    double PREDKOSC = 9600;                // its transmission speed
    std::string PS_MAG = " ";              // its warehouse, or blank
    std::string PS_MAG_NO = " ";           // warehouse skipped when booking sales, or blank
    bool ZNALAZL = false;                  // sales matching: a record was taken by the walk
    std::string M_MAGAZYN = std::string(10, ' ');  // warehouses chosen on the send options screen
    int WYBOR = 1;                         // the menu item highlighted
    std::string AAA;                       // the driver command line being run
};

}  // namespace durva
