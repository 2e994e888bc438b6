#pragma once
// The terminal of a run nobody watches (the scheduled sales read-out): it
// shows nothing and has no keyboard. A timed wait passes its time on the
// clock, so pauses between lock attempts keep their length; a wait for a key
// without end would never end, so it throws NoOperator instead of hanging.
#include <stdexcept>
#include <string>

#include "platform/clock.h"
#include "platform/terminal.h"

namespace durva::platform {

// A wait for an operator in a run without one. what() names what was asked
// when the asker knew it, else it is empty.
class NoOperator : public std::runtime_error {
public:
    explicit NoOperator(const std::string& asked) : std::runtime_error(asked) {}
};

class UnattendedTerminal final : public Terminal {
public:
    explicit UnattendedTerminal(Clock& clock) : clock_(clock) {}

    int rows() const override { return 25; }
    int cols() const override { return 80; }
    bool has_colors() const override { return false; }
    void present(const TermCell*, int, int, int, int, bool) override {}
    std::optional<InputKey> read_key(int timeout_ms) override;
    void tone(int, int) override {}

private:
    Clock& clock_;
};

}  // namespace durva::platform
