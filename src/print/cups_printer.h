#pragma once
// The office printer through the print server (CUPS): each port is a queue
// named in the setting file, the default queue when none is named. A port is
// ready when the print server answers, its queue exists, takes jobs, is not
// stopped and its printer is not reported off line or out of reach. The text goes in UTF-8 as plain text
// (the queue's own text filter lays it out), or, for a queue set to
// ISO-8859-2, as raw bytes for a printer that prints text itself. Nothing is
// ever asked on the terminal: a server that wants a user's password gets
// none, and the printout fails with a message saying so.
#include <string>
#include <string_view>

#include "common/editor_printer.h"
#include "print/print_settings.h"

namespace durva::print {

class CupsPrinter final : public Printer {
public:
    // The settings are read again at every question, so that a change of
    // the setting file counts at once.
    CupsPrinter() = default;

    std::string not_ready(std::string_view port) override;
    std::string print_text_file(const std::string& path, std::string_view port) override;
    std::string export_pdf(const std::string& text_path, const std::string& pdf_path) override;
};

// Why the queue of the port cannot print now; empty when it can.
std::string queue_problem(const PrintSettings& settings, std::string_view port);

// Prints the code-page text on the port's queue; empty on success, else the message.
std::string print_text(const PrintSettings& settings, std::string_view port, std::string_view title,
                       std::string_view mazovia_text);

}  // namespace durva::print
