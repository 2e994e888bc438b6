#pragma once
// Colour strings: "fore/back" pairs separated by commas in the order
// standard, enhanced, border, background, unselected. A pair becomes a PC
// text attribute: bits 0-2 foreground, bit 3 bright ("+"), bits 4-6
// background, bit 7 blink ("*").
#include <cstdint>
#include <string>
#include <string_view>

namespace durva::screen {

inline constexpr std::uint8_t kDefaultAttr = 0x07;  // W/N

struct ColourSetting {
    std::uint8_t standard = 0x07;    // W/N
    std::uint8_t enhanced = 0x70;    // N/W
    std::uint8_t border = 0x00;      // N/N
    std::uint8_t background = 0x00;  // N/N
    std::uint8_t unselected = 0x70;  // N/W
    bool operator==(const ColourSetting&) const = default;
};

// Applies a colour string to `current`. Letters N B G R W combine (RG is
// yellow-brown, BG cyan), digits 0-7 stand for the same colours, "+" and "*"
// make the foreground bright or blinking wherever they stand in the pair, U is
// the underline foreground of monochrome screens, and every other character is
// ignored. A pair left empty keeps its colour; a pair without a background is
// on black. An empty string gives the defaults (W/N, N/W, N/N, N/N, N/W).
ColourSetting parse_colour(std::string_view colours_text, const ColourSetting& current);

// One pair as an attribute (an empty pair gives W/N).
std::uint8_t parse_colour_pair(std::string_view pair);

// The canonical string of a setting or an attribute ("W+/R", "N/W"); parsing
// it gives the same attributes back.
std::string colour_string(const ColourSetting& setting);
std::string colour_pair_string(std::uint8_t attr);

}  // namespace durva::screen
