#include "send/name_cleaning.h"

#include <array>
#include <cstring>

namespace durva {
namespace {

// For every byte: 0 when the register cannot take it, else the byte it is
// sent as. National letters arrive in either of the two DOS code pages the
// office machines have used, so both sets of positions are translated.
constexpr std::array<unsigned char, 256> make_translation() {
    std::array<unsigned char, 256> t{};
    for (unsigned char c : std::string_view("1234567890QWERTYUIOPASDFGHJKLZXCVBNM.,-+*();:/<>$%! "))
        t[c] = c;
    struct Row {
        std::string_view bytes;
        unsigned char letter;
    };
    const Row rows[] = {
        {"\xA5\xA4", 'A'},         {"\x8F\x86\x95\x8D", 'C'}, {"\x90\x91\xA8\xA9", 'E'},
        {"\x9C\x92\x9D\x88", 'L'}, {"\xE3\xE4", 'N'},         {"\xA3\xA2\xE0", 'O'},
        {"\x98\x9E\x97", 'S'},     {"\xA1\xA7\xBD\xBE", 'Z'}, {"\xA0\xA6\xAB", 'Z'},
    };
    for (const Row& r : rows)
        for (char b : r.bytes) t[static_cast<unsigned char>(b)] = r.letter;
    return t;
}

constexpr std::array<unsigned char, 256> kTranslation = make_translation();

}  // namespace

std::string clean_goods_name(std::string_view text) {
    std::string out(text.size(), ' ');
    size_t n = 0;
    for (char c : text)
        if (const unsigned char sent = kTranslation[static_cast<unsigned char>(c)]) out[n++] = static_cast<char>(sent);
    out.resize(n);
    return out;
}

std::string USUN_PL_TRELOWA(std::string_view text, bool names_as_they_are) {
    return names_as_they_are ? std::string(text) : clean_goods_name(text);
}

void clean_name_field(char* field, size_t length, bool names_as_they_are) {
    if (names_as_they_are) {
        size_t blanks = 0;
        while (blanks < length && field[blanks] == ' ') ++blanks;
        std::memmove(field, field + blanks, length - blanks);
        std::memset(field + length - blanks, ' ', blanks);
        return;
    }
    // The blanks that pad the name stay blanks: only the name is gone through.
    size_t end = length;
    while (end > 0 && field[end - 1] == ' ') --end;
    // What the register would get as leading blanks, or not at all, goes.
    size_t i = 0;
    while (i < end && (kTranslation[static_cast<unsigned char>(field[i])] | 0x20) == 0x20) ++i;
    // Kept bytes move forward only, so the field is its own output; every
    // byte is written where the next kept one goes, and counted only when
    // kept, which spares a branch per byte.
    size_t n = 0;
    for (; i < end; ++i) {
        const unsigned char c = static_cast<unsigned char>(field[i]);
        field[n] = static_cast<char>(kTranslation[c]);
        n += kTranslation[c] != 0;
    }
    std::memset(field + n, ' ', length - n);
}

}  // namespace durva
