#include "print/pdf_export.h"

#include <cairo-pdf.h>
#include <cairo.h>

#include <fcntl.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/folder_file.h"
#include "print/text_encoding.h"

namespace durva::print {

namespace {

constexpr double kPageWidth = 595.276, kPageHeight = 841.89;  // A4 in points
constexpr double kMarginX = 36, kMarginY = 30;
constexpr double kFontSize = 10;

// Lines of the text, a form feed standing as a line of its own.
struct Piece {
    std::string text;
    bool form_feed = false;
};

std::vector<Piece> pieces(std::string_view text) {
    if (!text.empty() && text.back() == '\x1a') text.remove_suffix(1);
    std::vector<Piece> out;
    std::string line;
    bool open = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
        if (c == '\n') {
            out.push_back({std::move(line), false});
            line.clear();
            open = false;
        } else if (c == '\f') {
            if (open) out.push_back({std::move(line), false});
            line.clear();
            open = false;
            out.push_back({{}, true});
        } else if (c == '\t') {
            line.append(4 - line.size() % 4, ' ');
            open = true;
        } else {
            line.push_back(static_cast<unsigned char>(c) < 0x20 ? ' ' : c);
            open = true;
        }
    }
    if (open) out.push_back({std::move(line), false});
    return out;
}

// The PDF goes only into a regular file at that very name, never through a
// symlink planted there; a write that fails is remembered for the end.
struct PdfOutput {
    std::FILE* file = nullptr;
    bool failed = false;
};

cairo_status_t write_out(void* closure, const unsigned char* data, unsigned int length) {
    auto* out = static_cast<PdfOutput*>(closure);
    if (std::fwrite(data, 1, length, out->file) != length) out->failed = true;
    return out->failed ? CAIRO_STATUS_WRITE_ERROR : CAIRO_STATUS_SUCCESS;
}

// Each line in rows of at most `columns` characters: a wider line goes on in
// the rows under it, as the printout's text filter breaks it.
std::vector<Piece> page_rows(std::vector<Piece> lines, std::size_t columns) {
    std::vector<Piece> rows;
    for (Piece& p : lines) {
        if (p.form_feed || p.text.size() <= columns) {
            rows.push_back(std::move(p));
            continue;
        }
        for (std::size_t at = 0; at < p.text.size(); at += columns) rows.push_back({p.text.substr(at, columns), false});
    }
    return rows;
}

}  // namespace

std::string write_pdf(std::string_view mazovia_text, const std::string& pdf_path) {
    PdfOutput out;
    out.file = platform::stream_on(platform::open_regular(pdf_path, O_WRONLY | O_CREAT), "wb", true);
    if (!out.file)
        return platform::not_a_regular_file(errno) ? "PDF: " + std::string(platform::kNotARegularFile)
                                                   : std::string("Nie mozna zapisac pliku PDF");
    cairo_surface_t* surface = cairo_pdf_surface_create_for_stream(write_out, &out, kPageWidth, kPageHeight);
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(surface);
        std::fclose(out.file);
        return "Nie mozna zapisac pliku PDF";
    }
    cairo_t* cr = cairo_create(surface);
    cairo_select_font_face(cr, "DejaVu Sans Mono", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, kFontSize);
    cairo_font_extents_t fe;
    cairo_font_extents(cr, &fe);
    // The letters keep their size whatever the widest line: the page holds
    // as many columns as fit between its margins.
    const double usable = kPageWidth - 2 * kMarginX;
    const double advance = fe.max_x_advance > 0 ? fe.max_x_advance : kFontSize * 0.6;  // a monospaced letter's width
    const auto columns = static_cast<std::size_t>(std::max(1.0, std::floor(usable / advance)));
    const std::vector<Piece> lines = page_rows(pieces(mazovia_text), columns);
    const double line_height = (kPageHeight - 2 * kMarginY) / kPdfLinesPerPage;
    cairo_set_source_rgb(cr, 0, 0, 0);

    int on_page = 0;
    bool page_open = false;
    for (const auto& p : lines) {
        if (p.form_feed) {
            if (page_open) cairo_show_page(cr);
            page_open = false;
            continue;
        }
        if (page_open && on_page == kPdfLinesPerPage) {
            cairo_show_page(cr);
            page_open = false;
        }
        if (!page_open) {
            page_open = true;
            on_page = 0;
        }
        ++on_page;
        if (p.text.find_first_not_of(' ') == std::string::npos) continue;
        const std::string utf8 = to_printer_text(p.text, Charset::Utf8);
        cairo_move_to(cr, kMarginX, kMarginY + line_height * on_page - line_height * 0.25);
        cairo_show_text(cr, utf8.c_str());
    }
    if (page_open || lines.empty()) cairo_show_page(cr);
    cairo_destroy(cr);
    cairo_surface_finish(surface);
    bool ok = cairo_surface_status(surface) == CAIRO_STATUS_SUCCESS && !out.failed;
    cairo_surface_destroy(surface);
    ok = std::fclose(out.file) == 0 && ok;
    return ok ? std::string() : "Nie mozna zapisac pliku PDF";
}

}  // namespace durva::print
