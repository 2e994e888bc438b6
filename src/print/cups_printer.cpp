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

// A server that wants a user's password gets none: the library would
// otherwise ask for it on the operator's terminal, over the screen, and send
// whatever was typed to whichever server the setting file names.
const char* no_password(const char* /*prompt*/, http_t* /*http*/, const char* /*method*/, const char* /*resource*/,
                        void* /*data*/) {
    return nullptr;
}

void use_server(const PrintSettings& settings) {
    cupsSetPasswordCB2(no_password, nullptr);
    cupsSetServer(settings.server.empty() ? nullptr : settings.server.c_str());
}

constexpr const char* kPasswordWanted = "Serwer zada hasla - wydruk nie wyslany";

// True when the last request was refused for want of a user's password.
bool password_wanted() {
    switch (cupsLastError()) {
        case IPP_STATUS_ERROR_CUPS_AUTHENTICATION_CANCELED:
        case IPP_STATUS_ERROR_NOT_AUTHENTICATED:
        case IPP_STATUS_ERROR_NOT_AUTHORIZED:
            return true;
        default:
            return false;
    }
}

// Whether the print server takes a connection. The library says only that
// it found no queue when there is no server at all (none installed, none
// running, a wrong SERWER line), which would send the operator looking for
// a printer instead of the server.
bool server_answers() {
    http_t* http = httpConnect2(cupsServer(), ippPort(), nullptr, AF_UNSPEC, cupsEncryption(), 1, 5000, nullptr);
    if (http == nullptr) return false;
    httpClose(http);
    return true;
}

// Why there is no queue to print on.
std::string no_queue(const PortQueue& q) {
    if (password_wanted()) return kPasswordWanted;
    if (!server_answers()) return "Brak serwera wydruku";
    return q.queue.empty() ? "Brak domyslnej drukarki" : "Brak drukarki " + q.queue;
}

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
    if (!d.dest) return no_queue(q);
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
    if (!d.dest) return no_queue(q);
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
    // The server's reason whole, the message window makes room for it; taken
    // before the cancelling request puts its own in its place.
    const char* why = cupsLastErrorString();
    const std::string said =
        password_wanted() ? kPasswordWanted : "Wydruk odrzucony: " + screen::from_utf8(why ? why : "");
    if (job > 0) cupsCancelJob2(CUPS_HTTP_DEFAULT, d.dest->name, job, 0);
    return said;
}

std::string CupsPrinter::not_ready(std::string_view port) { return queue_problem(read_print_settings(), port); }

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
