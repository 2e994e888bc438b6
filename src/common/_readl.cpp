#include "common/_readl.h"

#include <cstdint>

namespace durva {

std::string FREADLINE(platform::ReadHandle& handle) {
    constexpr size_t kWindow = 750;
    std::string buffer(kWindow, ' ');
    const auto n = static_cast<std::int64_t>(handle.read(buffer.data(), kWindow));
    size_t crlf = buffer.find("\r\n");
    const std::int64_t k = crlf == std::string::npos ? 0 : static_cast<std::int64_t>(crlf) + 1;
    handle.seek_relative(k + 1 - n);
    if (k == 0) return {};
    return buffer.substr(0, static_cast<size_t>(k - 1));
}

}  // namespace durva
