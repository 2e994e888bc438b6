#include "print/cups_printer.h"

#include <cups/cups.h>

#include <cerrno>
#include <optional>
#include <string>

#include "common/screen/codepage.h"
#include "platform/folder_file.h"
#include "print/pdf_export.h"

namespace durva::print {

namespace {

// The largest file printed: as much as the editor takes.
constexpr std::size_t kPrintLimit = 16u << 20;

// Why a file to print could not be read: `missing` when it is not there.
std::string unreadable(const char* missing, int error) {
    if (error == EFBIG) return "Plik za duzy do wydruku";
    if (platform::not_a_regular_file(error)) return platform::kNotARegularFile;
    return missing;
}

// Messages fit the message window (41 characters).
std::string fitted(std::string text) {
    if (text.size() > 41) text.resize(41);
    return text;
}

void use_server(const PrintSettings& settings) { cupsSetServer(settings.server.empty() ? nullptr : settings.server.c_str()); }

struct Dest {
    cups_dest_t* dest = nullptr;
    explicit Dest(const PortQueue& q) {
        dest = cupsGetNamedDest(CUPS_HTTP_DEFAULT, q.queue.empty() ? nullptr : q.queue.c_str(), nullptr);
    }
    ~Dest() {
        if (dest) cupsFreeDests(1, dest);
    }
    Dest(const Dest&) = delete;
    Dest& operator=(const Dest&) = delete;
    std::string option(const char* name) const {
        const char* v = cupsGetOption(name, dest->num_options, dest->options);
        return v ? v : "";
    }
};

}  // namespace

std::string queue_problem(const PrintSettings& settings, std::string_view port) {
    use_server(settings);
    const PortQueue& q = settings.queue_for(port);
    Dest d(q);
    if (!d.dest) return q.queue.empty() ? "Brak domyslnej drukarki" : fitted("Brak drukarki " + q.queue);
    if (d.option("printer-state") == "5") return "Drukarka zatrzymana";
    if (d.option("printer-is-accepting-jobs") == "false") return "Drukarka nie przyjmuje wydrukow";
    const std::string reasons = d.option("printer-state-reasons");
    for (const char* off : {"offline", "connecting-to-device", "paused", "shutdown", "timed-out"})
        if (reasons.find(off) != std::string::npos) return "Drukarka niedostepna";
    return {};
}

std::string print_text(const PrintSettings& settings, std::string_view port, std::string_view title,
                       std::string_view mazovia_text) {
    use_server(settings);
    const PortQueue& q = settings.queue_for(port);
    Dest d(q);
    if (!d.dest) return q.queue.empty() ? "Brak domyslnej drukarki" : fitted("Brak drukarki " + q.queue);
    const std::string data = to_printer_text(mazovia_text, q.charset);
    const char* format = q.charset == Charset::Utf8 ? CUPS_FORMAT_TEXT : CUPS_FORMAT_RAW;
    const std::string job_title(title);
    const int job = cupsCreateJob(CUPS_HTTP_DEFAULT, d.dest->name, job_title.c_str(), 0, nullptr);
    bool ok = job > 0;
    if (ok) ok = cupsStartDocument(CUPS_HTTP_DEFAULT, d.dest->name, job, job_title.c_str(), format, 1) ==
                 HTTP_STATUS_CONTINUE;
    if (ok) ok = cupsWriteRequestData(CUPS_HTTP_DEFAULT, data.data(), data.size()) == HTTP_STATUS_CONTINUE;
    if (job > 0 && cupsFinishDocument(CUPS_HTTP_DEFAULT, d.dest->name) != IPP_STATUS_OK) ok = false;
    if (ok) return {};
    if (job > 0) cupsCancelJob2(CUPS_HTTP_DEFAULT, d.dest->name, job, 0);
    const char* why = cupsLastErrorString();
    return fitted("Wydruk odrzucony: " + screen::from_utf8(why ? why : ""));
}

bool CupsPrinter::ready(std::string_view port) { return queue_problem(read_print_settings(), port).empty(); }

std::string CupsPrinter::print_text_file(const std::string& path, std::string_view port) {
    int error = 0;
    const std::optional<std::string> text = platform::read_regular(path, kPrintLimit, &error);
    if (!text) return unreadable("Brak pliku do wydruku", error);
    const auto slash = path.find_last_of('/');
    return print_text(read_print_settings(), port, slash == std::string::npos ? path : path.substr(slash + 1), *text);
}

std::string CupsPrinter::export_pdf(const std::string& text_path, const std::string& pdf_path) {
    int error = 0;
    const std::optional<std::string> text = platform::read_regular(text_path, kPrintLimit, &error);
    if (!text) return unreadable("Brak pliku do eksportu", error);
    return write_pdf(*text, pdf_path);
}

}  // namespace durva::print
