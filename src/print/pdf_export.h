#pragma once
// A text file of the code page as a PDF file laid out like the office's
// printouts: A4 pages of 66 lines in DejaVu Sans Mono of 10 points, a new
// page after every 66 lines and at every form feed. A line wider than the
// page (the editor's lines reach 160 characters) goes on in the lines under
// it, each of which counts towards the 66.
#include <string>
#include <string_view>

namespace durva::print {

inline constexpr int kPdfLinesPerPage = 66;

// Empty on success, else the message for the operator.
std::string write_pdf(std::string_view mazovia_text, const std::string& pdf_path);

}  // namespace durva::print
