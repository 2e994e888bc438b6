#include "common/screen/colour.h"

#include <optional>

namespace durva::screen {

namespace {

bool is_blank(std::string_view s) {
    for (char c : s)
        if (c != ' ' && c != '\t') return false;
    return true;
}

// Parses one pair; nullopt when it holds nothing that means a colour.
std::optional<std::uint8_t> pair_attr(std::string_view pair) {
    int fore = 0, back = 0;
    bool bright = false, blink = false, any = false, in_back = false;
    for (char raw : pair) {
        int value = -1;
        switch (raw) {
            case 'N': case 'n': value = 0; break;
            case 'B': case 'b': value = 1; break;
            case 'G': case 'g': value = 2; break;
            case 'R': case 'r': value = 4; break;
            case 'W': case 'w': value = 7; break;
            case 'U': case 'u':
                // The underline attribute of a monochrome adapter is blue on black.
                if (!in_back) value = 1;
                break;
            case '+': bright = true; any = true; break;
            case '*': blink = true; any = true; break;
            case '/': in_back = true; break;
            default:
                if (raw >= '0' && raw <= '7') value = raw - '0';
                break;
        }
        if (value < 0) continue;
        any = true;
        (in_back ? back : fore) |= value;
    }
    if (!any) return std::nullopt;
    return static_cast<std::uint8_t>((fore & 7) | (bright ? 0x08 : 0) | ((back & 7) << 4) | (blink ? 0x80 : 0));
}

const char* colour_letters(int c) {
    static const char* const kNames[8] = {"N", "B", "G", "BG", "R", "RB", "GR", "W"};
    return kNames[c & 7];
}

}  // namespace

std::uint8_t parse_colour_pair(std::string_view pair) { return pair_attr(pair).value_or(kDefaultAttr); }

ColourSetting parse_colour(std::string_view colours_text, const ColourSetting& current) {
    if (is_blank(colours_text)) return ColourSetting{};
    ColourSetting out = current;
    std::uint8_t* slots[5] = {&out.standard, &out.enhanced, &out.border, &out.background, &out.unselected};
    std::size_t start = 0;
    for (int slot = 0; slot < 5 && start <= colours_text.size(); ++slot) {
        std::size_t comma = colours_text.find(',', start);
        std::string_view pair = colours_text.substr(start, comma == std::string_view::npos ? colours_text.npos : comma - start);
        if (auto attr = pair_attr(pair)) *slots[slot] = *attr;
        if (comma == std::string_view::npos) break;
        start = comma + 1;
    }
    return out;
}

std::string colour_pair_string(std::uint8_t attr) {
    std::string s = colour_letters(attr & 7);
    if (attr & 0x08) s += '+';
    if (attr & 0x80) s += '*';
    s += '/';
    s += colour_letters((attr >> 4) & 7);
    return s;
}

std::string colour_string(const ColourSetting& c) {
    return colour_pair_string(c.standard) + ',' + colour_pair_string(c.enhanced) + ',' +
           colour_pair_string(c.border) + ',' + colour_pair_string(c.background) + ',' +
           colour_pair_string(c.unselected);
}

}  // namespace durva::screen
