#pragma once
// The simulator's command line: the driver's words (dp= if= af= cp= ct= cs=,
// in any order, names in any case) and its own (sell= seed= show, --help).
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace durvadrv {

enum class Mode { DriverRun, Sell, Show, Help, Version };

struct Arguments {
    Mode mode = Mode::DriverRun;
    std::string folder;        // dp
    std::string input_file;    // if
    std::string port;          // cp, leading zeros removed
    int wait_ms = 20000;       // ct: how long to wait for a register another run is using
    std::string speed;         // cs
    std::string sell;          // sell=
    std::optional<std::uint32_t> seed;
    std::string error;         // the first bad word, when parsing failed
};

// Reads the words after the program name. When `error` is set, `folder`
// still holds dp= if it was given and sound, so the fault can be reported in
// the folder's error file.
Arguments parse_arguments(const std::vector<std::string>& words);

extern const char* const kUsage;

}  // namespace durvadrv
