#pragma once
// The shop counter side of the simulator: ringing up sales on a register, as
// a cashier would, and looking at what a register holds.
#include <iosfwd>
#include <string>

#include "arguments.h"

namespace durvadrv {

// Rings up args.sell on the register of args.port. Every code must be one
// the register holds, or nothing is rung up. Returns the exit status: 0, or
// 1 with the reason on `err`.
int ring_up(const std::string& folder, const Arguments& args, std::ostream& out, std::ostream& err);

// Lists the departments, PLUs and unread sales of the register.
int show_register(const std::string& folder, const Arguments& args, std::ostream& out, std::ostream& err);

}  // namespace durvadrv
