#pragma once
// The memory of one simulated register: the PLUs it holds, its seven
// departments and the journal of sales not yet read out. It lives in a text
// file beside the exchange files, one per port, and is read and written
// whole on every run.
#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "records.h"

namespace durvadrv {

struct Sale {
    std::string code;
    std::string name;          // as the register held it when it was sold
    std::int64_t value = 0;     // hundredths
    std::int64_t quantity = 0;  // thousandths
};

struct RegisterState {
    std::map<std::string, Plu> plus;  // by code
    std::array<Department, 7> departments = default_departments();
    std::vector<Sale> journal;

    // The departments a new register comes with: "Dzial 1" to "Dzial 7" with
    // the letters A to F and Z, the same the program programs.
    static std::array<Department, 7> default_departments();
};

// The state file's text. Names are written as they are: the records they came
// from cannot hold ";" or control bytes.
std::string encode_state(const RegisterState& state);

// Reads a state file's text. False, with the line and what is wrong in
// `error`, when it is damaged; `state` is then unspecified.
bool decode_state(std::string_view text, RegisterState& state, std::string& error);

// The sales line of the read-out: kind and separator, code, name, value in
// hundredths and quantity in thousandths, each ended by ";".
std::string sales_line(const Sale& sale);

}  // namespace durvadrv
