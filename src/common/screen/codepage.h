#pragma once
// The office data's code page (Mazovia): the DOS code page with the eighteen
// Polish letters in place of some accented Latin ones. Screen cells, table
// texts and program texts are bytes of it; only the terminal's edge sees
// Unicode.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace durva::screen {

// How a byte looks on the screen; control bytes show their DOS glyphs and
// byte 0 shows as a blank.
char32_t to_unicode(std::uint8_t byte);

// The byte of a typed character; nullopt for characters the code page lacks.
std::optional<std::uint8_t> from_unicode(char32_t ch);

std::string to_utf8(std::string_view bytes);
// Characters the code page lacks become '?'.
std::string from_utf8(std::string_view utf8);

// Upper case of ASCII letters and of the Polish letters; other bytes unchanged.
std::uint8_t upper(std::uint8_t byte);
std::string upper(std::string_view bytes);

// Line-drawing and block bytes used by the dialogs and browses.
namespace glyph {
inline constexpr char kSingleTopLeft = '\xDA', kSingleHorizontal = '\xC4', kSingleTopRight = '\xBF',
                      kSingleVertical = '\xB3', kSingleBottomRight = '\xD9', kSingleBottomLeft = '\xC0';
inline constexpr char kDoubleTopLeft = '\xC9', kDoubleHorizontal = '\xCD', kDoubleTopRight = '\xBB',
                      kDoubleVertical = '\xBA', kDoubleBottomRight = '\xBC', kDoubleBottomLeft = '\xC8';
inline constexpr char kTeeDown = '\xC2', kTeeUp = '\xC1';
inline constexpr char kUpperHalf = '\xDF', kLowerHalf = '\xDC', kFullBlock = '\xDB';
inline constexpr char kLightShade = '\xB0', kMediumShade = '\xB1', kDarkShade = '\xB2';
inline constexpr char kCapitalLStroke = '\x9C';  // Ł
}  // namespace glyph

}  // namespace durva::screen
