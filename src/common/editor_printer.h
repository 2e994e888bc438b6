#pragma once
// What the editor needs of the office printer and of the PDF writer. The
// program's printing layer supplies it at start-up (Session::printer); without
// one the printer is never ready and there is no PDF export.
#include <string>
#include <string_view>

namespace durva {

class Printer {
public:
    virtual ~Printer() = default;
    // Why the printer behind the port ("LPT1" or "LPT2") cannot print now, in
    // a few words for the operator; empty when it can.
    virtual std::string not_ready(std::string_view port) = 0;
    // Prints a text file of the code page (path already resolved). Empty when
    // the printer took it, else the message to show the operator.
    virtual std::string print_text_file(const std::string& path, std::string_view port) = 0;
    // Writes the text file as a PDF file. Empty on success, else the message.
    virtual std::string export_pdf(const std::string& text_path, const std::string& pdf_path) = 0;
};

}  // namespace durva
