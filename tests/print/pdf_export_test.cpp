// The PDF export read back with the PDF tools: the text, its pages and a first
// page that is not blank.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "common/screen/codepage.h"
#include "print/cups_printer.h"
#include "print/pdf_export.h"
#include "support/fixture_folder.h"

namespace durva::testing {

namespace {

std::string run(const std::string& command) {
    std::string out;
    if (FILE* p = ::popen(command.c_str(), "r")) {
        char buf[4096];
        std::size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
        ::pclose(p);
    }
    return out;
}

bool have_pdf_tools() { return !run("command -v pdftotext pdftoppm").empty(); }

// The text of page `page` (1-based) as pdftotext lays it out.
std::string page_text(const std::string& pdf, int page) {
    return run("pdftotext -layout -enc UTF-8 -f " + std::to_string(page) + " -l " + std::to_string(page) + " '" +
               pdf + "' -");
}

int page_count(const std::string& pdf) {
    const std::string info = run("pdfinfo '" + pdf + "'");
    const auto at = info.find("Pages:");
    return at == std::string::npos ? -1 : std::stoi(info.substr(at + 6));
}

// The words of page 1 as pdftotext finds them, with their boxes.
struct Word {
    std::string text;
    double x_min, y_min, x_max, y_max;
};

std::vector<Word> page_words(const std::string& pdf) {
    const std::string html = run("pdftotext -bbox -f 1 -l 1 '" + pdf + "' -");
    std::vector<Word> words;
    for (std::size_t at = html.find("<word "); at != std::string::npos; at = html.find("<word ", at + 1)) {
        Word w{};
        if (std::sscanf(html.c_str() + at, "<word xMin=\"%lf\" yMin=\"%lf\" xMax=\"%lf\" yMax=\"%lf\">", &w.x_min,
                        &w.y_min, &w.x_max, &w.y_max) != 4)
            continue;
        const std::size_t from = html.find('>', at) + 1;
        w.text = html.substr(from, html.find('<', from) - from);
        words.push_back(w);
    }
    return words;
}

}  // namespace

TEST(PdfExport, PolishTextPagesOf66LinesAndFormFeeds) {
    if (!have_pdf_tools()) GTEST_SKIP() << "poppler-utils (pdftotext, pdftoppm) not installed";
    test::TempFolder folder;
    const std::string pdf = folder.file("raport.pdf");
    std::string text = screen::from_utf8("Zażółć gęślą jaźń ŻÓŁW\r\n");
    for (int i = 2; i <= 70; ++i) text += "wiersz " + std::to_string(i) + "\r\n";
    text += "przed\fpo stronie\r\n\x1a";
    ASSERT_EQ(print::write_pdf(text, pdf), "");

    EXPECT_EQ(page_count(pdf), 3);  // 66 lines, then 5 and "przed", then the form feed's page
    const std::string first = page_text(pdf, 1);
    EXPECT_NE(first.find("Zażółć gęślą jaźń ŻÓŁW"), std::string::npos) << first;
    EXPECT_NE(first.find("wiersz 66"), std::string::npos);
    EXPECT_EQ(first.find("wiersz 67"), std::string::npos);
    const std::string second = page_text(pdf, 2);
    EXPECT_NE(second.find("wiersz 67"), std::string::npos);
    EXPECT_NE(second.find("przed"), std::string::npos);
    EXPECT_EQ(second.find("po stronie"), std::string::npos);
    EXPECT_NE(page_text(pdf, 3).find("po stronie"), std::string::npos);

    // A4 and DejaVu Sans Mono.
    const std::string info = run("pdfinfo '" + pdf + "'");
    EXPECT_NE(info.find("595.276 x 841.89"), std::string::npos) << info;
    EXPECT_NE(run("pdffonts '" + pdf + "'").find("DejaVuSansMono"), std::string::npos);

    // The first page rendered small in grey: some pixels are dark.
    const std::string pgm = folder.file("page");
    run("pdftoppm -gray -r 20 -f 1 -l 1 -singlefile '" + pdf + "' '" + pgm + "'");
    std::ifstream in(pgm + ".pgm", std::ios::binary);
    const std::string image((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_GT(image.size(), 1000u);
    std::size_t dark = 0;
    for (std::size_t i = image.size() - 10000; i < image.size(); ++i)
        if (static_cast<unsigned char>(image[i]) < 160) ++dark;
    EXPECT_GT(dark, 20u);
}

TEST(PdfExport, WideLinesGoOnTheNextLineInTheSameLettersAndAnUnwritablePathIsSaid) {
    if (!have_pdf_tools()) GTEST_SKIP() << "poppler-utils (pdftotext, pdftoppm) not installed";
    test::TempFolder folder;
    const std::string narrow = folder.file("narrow.pdf"), pdf = folder.file("wide.pdf");
    ASSERT_EQ(print::write_pdf("krotki\r\n", narrow), "");
    const std::vector<Word> alone = page_words(narrow);
    ASSERT_EQ(alone.size(), 1u);

    // The editor's widest line, beside a short one: the short one keeps its
    // letters, and the wide one is all on the page, within its margins.
    const std::string wide = std::string(154, 'x') + "KONIEC";
    ASSERT_EQ(print::write_pdf("krotki\r\n" + wide + "\r\nnastepny\r\n", pdf), "");
    const std::vector<Word> words = page_words(pdf);
    std::string shown;
    for (const Word& w : words) {
        EXPECT_NEAR(w.y_max - w.y_min, alone[0].y_max - alone[0].y_min, 0.01) << w.text;
        EXPECT_GE(w.x_min, 36 - 0.5) << w.text;
        EXPECT_LE(w.x_max, 595.276 - 36 + 0.5) << w.text;
        shown += w.text + "|";
    }
    EXPECT_NEAR(words.front().x_max - words.front().x_min, alone[0].x_max - alone[0].x_min, 0.01);
    EXPECT_EQ(shown.find("KONIEC|nastepny|"), shown.size() - 16) << shown;  // the rest comes before the next line
    std::string letters;
    for (const Word& w : words) letters += w.text;
    EXPECT_EQ(letters, "krotki" + wide + "nastepny");

    EXPECT_EQ(print::write_pdf("x", folder.file("no/such/folder/x.pdf")), "Nie mozna zapisac pliku PDF");
    print::CupsPrinter printer;
    EXPECT_EQ(printer.export_pdf(folder.file("missing.txt"), pdf), "Brak pliku do eksportu");
}

}  // namespace durva::testing
