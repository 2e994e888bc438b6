#pragma once
// The register table durva\durva.DBF: one record per register stand, held
// exclusively in work area 99 under alias durva while the main menu runs,
// and the two routines that copy a stand between its record and the menu's
// current-stand values (NR_KASY, OPIS, PORT, PREDKOSC, PS_MAG).
#include <string>
#include <string_view>

#include "common/menu_values.h"
#include "common/session.h"

namespace durva {

inline constexpr int kRegisterArea = 99;
inline constexpr std::string_view kRegisterAlias = "durva";
inline constexpr std::string_view kRegisterTable = "durva\\durva";
inline constexpr std::string_view kRegisterFile = "durva\\durva.DBF";

// The field list TWORZ makes the table from, path first.
inline constexpr std::string_view kRegisterFields =
    "durva\\durva,"
    "PKASA,C,2,0,POPIS,C,26,0,PPREDKOSC,N,5,0,PPORT,N,2,0,PSKOK,C,1,0,PMASTER,C,2,0,PSLAVE,C,2,0,"
    "POD,C,13,0,PDO,C,13,0,PMAG,C,1,0,PIL_PROB,N,1,0,PPOL_ZN,N,1,0,PTYP_KASY,C,1,0";

inline constexpr int kStandCount = 17;

// Makes the register table ready for the main menu, in work area 99 (left
// selected): created with its folder when missing, opened exclusively with
// one second of retries, rebuilt through rob\durva when it lacks a field of
// today's list (records kept, PTYP_KASY "S" in every one), and filled to
// seventeen stands "01" to "17" on port 1 at 9600, stand 1 "Stoisko 1".
// False, after "Problem z plikiem durva\durva.DBF" for a second, when it
// cannot be opened. Other failures go to the general error handler.
bool prepare_register_table(Session& s);

// The stand number a record carries: its record number in two digits.
std::string stand_number(std::uint32_t recno);

// Loads the current stand from the register table's current record. A table
// without PMAG gives the warehouse " ".
void PS_READ(Session& s, MenuValues& m);

// Writes the current stand into the register table's current record: PKASA
// from the record number (whatever NR_KASY says), POPIS from the first 26
// characters of OPIS, PPORT, PPREDKOSC, and PMAG when the table has it.
// Nothing is written when the record cannot be locked within 30 seconds.
void PS_REP(Session& s, const MenuValues& m);

}  // namespace durva
