#include "common/screen/codepage.h"

#include <array>
#include <unordered_map>

#include "platform/utf8.h"

namespace durva::screen {

namespace {

// Bytes 0 to 31 and 127 as the DOS screen draws them.
constexpr char32_t kLow[32] = {
    U' ',      U'\u263A', U'\u263B', U'\u2665', U'\u2666', U'\u2663', U'\u2660', U'\u2022',
    U'\u25D8', U'\u25CB', U'\u25D9', U'\u2642', U'\u2640', U'\u266A', U'\u266B', U'\u263C',
    U'\u25BA', U'\u25C4', U'\u2195', U'\u203C', U'\u00B6', U'\u00A7', U'\u25AC', U'\u21A8',
    U'\u2191', U'\u2193', U'\u2192', U'\u2190', U'\u221F', U'\u2194', U'\u25B2', U'\u25BC'};

// Bytes 128 to 255: the DOS code page, with the Polish letters where the
// office's code page puts them.
constexpr char32_t kHigh[128] = {
    // 80
    U'\u00C7', U'\u00FC', U'\u00E9', U'\u00E2', U'\u00E4', U'\u00E0', U'\u0105', U'\u00E7',
    U'\u00EA', U'\u00EB', U'\u00E8', U'\u00EF', U'\u00EE', U'\u0107', U'\u00C4', U'\u0104',
    // 90
    U'\u0118', U'\u0119', U'\u0142', U'\u00F4', U'\u00F6', U'\u0106', U'\u00FB', U'\u00F9',
    U'\u015A', U'\u00D6', U'\u00DC', U'\u00A2', U'\u0141', U'\u00A5', U'\u015B', U'\u0192',
    // A0
    U'\u0179', U'\u017B', U'\u00F3', U'\u00D3', U'\u0144', U'\u0143', U'\u017A', U'\u017C',
    U'\u00BF', U'\u2310', U'\u00AC', U'\u00BD', U'\u00BC', U'\u00A1', U'\u00AB', U'\u00BB',
    // B0
    U'\u2591', U'\u2592', U'\u2593', U'\u2502', U'\u2524', U'\u2561', U'\u2562', U'\u2556',
    U'\u2555', U'\u2563', U'\u2551', U'\u2557', U'\u255D', U'\u255C', U'\u255B', U'\u2510',
    // C0
    U'\u2514', U'\u2534', U'\u252C', U'\u251C', U'\u2500', U'\u253C', U'\u255E', U'\u255F',
    U'\u255A', U'\u2554', U'\u2569', U'\u2566', U'\u2560', U'\u2550', U'\u256C', U'\u2567',
    // D0
    U'\u2568', U'\u2564', U'\u2565', U'\u2559', U'\u2558', U'\u2552', U'\u2553', U'\u256B',
    U'\u256A', U'\u2518', U'\u250C', U'\u2588', U'\u2584', U'\u258C', U'\u2590', U'\u2580',
    // E0
    U'\u03B1', U'\u00DF', U'\u0393', U'\u03C0', U'\u03A3', U'\u03C3', U'\u00B5', U'\u03C4',
    U'\u03A6', U'\u0398', U'\u03A9', U'\u03B4', U'\u221E', U'\u03C6', U'\u03B5', U'\u2229',
    // F0
    U'\u2261', U'\u00B1', U'\u2265', U'\u2264', U'\u2320', U'\u2321', U'\u00F7', U'\u2248',
    U'\u00B0', U'\u2219', U'\u00B7', U'\u221A', U'\u207F', U'\u00B2', U'\u25A0', U'\u00A0'};

// Lower-case Polish letter byte -> upper-case byte.
constexpr std::array<std::pair<std::uint8_t, std::uint8_t>, 9> kPolishCase = {{
    {0x86, 0x8F},  // ą Ą
    {0x8D, 0x95},  // ć Ć
    {0x91, 0x90},  // ę Ę
    {0x92, 0x9C},  // ł Ł
    {0xA4, 0xA5},  // ń Ń
    {0xA2, 0xA3},  // ó Ó
    {0x9E, 0x98},  // ś Ś
    {0xA6, 0xA0},  // ź Ź
    {0xA7, 0xA1},  // ż Ż
}};

const std::unordered_map<char32_t, std::uint8_t>& reverse_high() {
    static const auto map = [] {
        std::unordered_map<char32_t, std::uint8_t> m;
        for (int i = 0; i < 128; ++i) m.emplace(kHigh[i], static_cast<std::uint8_t>(0x80 + i));
        return m;
    }();
    return map;
}

}  // namespace

char32_t to_unicode(std::uint8_t byte) {
    if (byte < 0x20) return kLow[byte];
    if (byte == 0x7F) return U'\u2302';
    if (byte < 0x80) return byte;
    return kHigh[byte - 0x80];
}

std::optional<std::uint8_t> from_unicode(char32_t ch) {
    if (ch < 0x80) return static_cast<std::uint8_t>(ch);
    const auto& map = reverse_high();
    auto it = map.find(ch);
    if (it == map.end()) return std::nullopt;
    return it->second;
}

std::string to_utf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (char c : bytes) platform::append_utf8(out, to_unicode(static_cast<std::uint8_t>(c)));
    return out;
}

std::string from_utf8(std::string_view utf8) {
    std::string out;
    for (char32_t ch : platform::decode_utf8(utf8)) {
        auto b = from_unicode(ch);
        out += static_cast<char>(b ? *b : '?');
    }
    return out;
}

std::uint8_t upper(std::uint8_t byte) {
    if (byte >= 'a' && byte <= 'z') return static_cast<std::uint8_t>(byte - 'a' + 'A');
    for (auto [lower, up] : kPolishCase)
        if (byte == lower) return up;
    return byte;
}

std::string upper(std::string_view bytes) {
    std::string out(bytes);
    for (char& c : out) c = static_cast<char>(upper(static_cast<std::uint8_t>(c)));
    return out;
}

}  // namespace durva::screen
