#include "print/text_encoding.h"

#include <algorithm>
#include <cctype>
#include <utility>

#include "common/screen/codepage.h"

namespace durva::print {

namespace {

void append_utf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

// The characters of the code page's upper half that ISO-8859-2 has too.
char latin2(char32_t cp) {
    static constexpr std::pair<char32_t, unsigned char> table[] = {
        {U'Ą', 0xA1}, {U'ą', 0xB1}, {U'Ć', 0xC6}, {U'ć', 0xE6}, {U'Ę', 0xCA}, {U'ę', 0xEA},
        {U'Ł', 0xA3}, {U'ł', 0xB3}, {U'Ń', 0xD1}, {U'ń', 0xF1}, {U'Ó', 0xD3}, {U'ó', 0xF3},
        {U'Ś', 0xA6}, {U'ś', 0xB6}, {U'Ź', 0xAC}, {U'ź', 0xBC}, {U'Ż', 0xAF}, {U'ż', 0xBF},
        {U'Ä', 0xC4}, {U'ä', 0xE4}, {U'Ö', 0xD6}, {U'ö', 0xF6}, {U'Ü', 0xDC}, {U'ü', 0xFC},
        {U'é', 0xE9}, {U'É', 0xC9}, {U'á', 0xE1}, {U'Á', 0xC1}, {U'í', 0xED}, {U'ú', 0xFA},
        {U'ß', 0xDF}, {U'§', 0xA7}, {U'°', 0xB0}, {U'×', 0xD7}, {U'÷', 0xF7}, {U'\u00A0', 0xA0},
    };
    for (const auto& [c, b] : table)
        if (c == cp) return static_cast<char>(b);
    // Frames of the screen-like printouts as plain lines.
    if (cp >= 0x2500 && cp <= 0x257F) {
        if (cp == 0x2500 || cp == 0x2550) return '-';
        if (cp == 0x2502 || cp == 0x2551) return '|';
        return '+';
    }
    return '?';
}

}  // namespace

std::string to_printer_text(std::string_view mazovia, Charset charset) {
    std::string out;
    out.reserve(mazovia.size() + mazovia.size() / 8);
    for (const char c : mazovia) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x80) {
            if (b >= 0x20 && b != 0x7F)
                out.push_back(c);
            else if (c == '\r' || c == '\n' || c == '\f' || c == '\t')
                out.push_back(c);
            continue;
        }
        const char32_t cp = screen::to_unicode(b);
        if (charset == Charset::Utf8)
            append_utf8(out, cp);
        else
            out.push_back(latin2(cp));
    }
    return out;
}

bool parse_charset(std::string_view name, Charset& out) {
    std::string up(name);
    std::transform(up.begin(), up.end(), up.begin(), [](unsigned char c) { return std::toupper(c); });
    if (up == "UTF-8" || up == "UTF8") {
        out = Charset::Utf8;
        return true;
    }
    if (up == "ISO-8859-2" || up == "ISO8859-2" || up == "LATIN2") {
        out = Charset::Latin2;
        return true;
    }
    return false;
}

}  // namespace durva::print
