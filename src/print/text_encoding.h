#pragma once
// The office's texts are in the Mazovia code page; printers are given UTF-8 or
// ISO-8859-2. Line ends, form feeds and tabs pass through; other control bytes
// are left out, since a printer would act on them.
#include <string>
#include <string_view>

namespace durva::print {

enum class Charset { Utf8, Latin2 };

std::string to_printer_text(std::string_view mazovia, Charset charset);

// "UTF-8", "ISO-8859-2" (also "LATIN2"), in any case; nullopt-like false when neither.
bool parse_charset(std::string_view name, Charset& out);

}  // namespace durva::print
