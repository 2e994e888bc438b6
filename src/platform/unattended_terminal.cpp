#include "platform/unattended_terminal.h"

namespace durva::platform {

std::optional<InputKey> UnattendedTerminal::read_key(int timeout_ms) {
    if (timeout_ms < 0) throw NoOperator("");
    clock_.sleep_ms(timeout_ms);
    return std::nullopt;
}

}  // namespace durva::platform
