#pragma once
// The program-wide variables every run starts with: the 75 persisted `J_`
// settings with their defaults (what a newly created PARAMETR.MEM holds) and
// the working values read by the rest of the program.
#include <array>
#include <string_view>

#include "common/session.h"

namespace durva {

inline constexpr int kSettingsCount = 75;

// Creates the `J_` settings with their defaults, in the order the shared
// parameter file lists them when this program has to create it.
void create_settings(Memvars& vars);

// The working variables created without a value (logical false) for the
// routines that assign them before reading them.
inline constexpr std::array<std::string_view, 23> kUnassignedWorkingVariables = {
    "DBF",     "KLUCZ",  "M_ODB",      "M_RESZTA", "M_RD",     "M_NRD",  "M_MAG",  "M_INDEKS",
    "M_NAZWA", "M_ILOSC", "M_WARTOSC", "M_PP",     "M_PODATEK", "M_NB",  "M_NODB", "M_ODBIORCA",
    "M_REGON", "M_SPZ",  "M_TEZ",      "M_WPLATA", "P1",       "P4",     "P5"};

// Sets the program-wide working values to their start values (M_DATA is
// today on the session's clock) and creates the unassigned ones.
void create_working_variables(Session& s);

}  // namespace durva
