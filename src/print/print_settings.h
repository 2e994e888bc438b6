#pragma once
// Which print queue stands for each printer port, from the setting file
// "DRUKARKA.TXT" of the office folder. Lines, blanks around ignored:
//   LPT1=queue [UTF-8|ISO-8859-2]
//   LPT2=queue [UTF-8|ISO-8859-2]
//   SERWER=host[:port] or the path of the print server's socket
// A port without a line (or without the file) prints on the default queue in
// UTF-8. Lines starting with ';' or '#' are remarks; anything else is ignored.
#include <string>
#include <string_view>

#include "print/text_encoding.h"

namespace durva::print {

inline constexpr const char* kPrintSettingsFile = "DRUKARKA.TXT";

struct PortQueue {
    std::string queue;  // empty: the default queue
    Charset charset = Charset::Utf8;
};

struct PrintSettings {
    PortQueue lpt1, lpt2;
    std::string server;  // empty: the system's own choice

    const PortQueue& queue_for(std::string_view port) const { return port == "LPT2" ? lpt2 : lpt1; }
};

PrintSettings parse_print_settings(std::string_view text);
// Reads the file of the working folder (found whatever its case).
PrintSettings read_print_settings();

}  // namespace durva::print
