#include "app/readout_result.h"

#include <cmath>
#include <cstdio>

#include "receive/zrob_sd_voka.h"

namespace durva {

namespace {

std::string trimmed(std::string_view t) {
    const size_t b = t.find_first_not_of(' ');
    if (b == std::string_view::npos) return {};
    return std::string(t.substr(b, t.find_last_not_of(' ') - b + 1));
}

// What the import booked, or that it booked nothing, with the unmatched lines.
std::string import_text(const ImportSummary& i, std::string_view list) {
    std::string text;
    if (!i.finished.empty()) text += i.finished + "; ";
    if (i.booked) {
        text += "zaksiegowano " + trimmed(i.rd) + " " + trimmed(i.nrd) + " na kwote " + amount_text(i.amount) +
                ", wierszy " + std::to_string(i.rows);
    } else {
        text += "brak sprzedazy do zaksiegowania";
    }
    text += ", bez towaru " + std::to_string(i.listed);
    if (i.listed > 0) text += " (lista " + std::string(list) + ")";
    return text;
}

}  // namespace

std::string amount_text(double amount) {
    char buf[48];
    std::snprintf(buf, sizeof buf, "%.2f", std::isfinite(amount) ? amount : 0.0);
    return buf;
}

ReadOutResult failure(ReadOutStatus status, std::string_view why) {
    return {status, std::string(why) + std::string(kNothingBooked)};
}

ReadOutResult result_of(const GoodsSend& g, std::string_view last_message) {
    using End = GoodsSend::End;
    auto not_sent = [](ReadOutStatus status, std::string_view why) {
        return ReadOutResult{status, std::string(why) + std::string(kNothingSent)};
    };
    if (g.end == End::StandUnusable) return not_sent(ReadOutStatus::StandWithoutPort, last_message);
    if (g.end == End::NotWritten)
        return not_sent(ReadOutStatus::SendFailed,
                        last_message.empty() ? std::string_view("plik dla sterownika nie powstal") : last_message);
    const std::string records = std::to_string(g.records) + " rekordow";
    if (!g.driver_ran)
        return not_sent(ReadOutStatus::DriverFailed,
                        records + "; " + (last_message.empty() ? std::string("sterownik nie uruchomiony")
                                                               : std::string(last_message)));
    if (!g.driver.good())
        return {ReadOutStatus::DriverFailed, records + "; sterownik: " + g.driver.text +
                                                 " - wyslane towary pojda ponownie przy nastepnej wysylce"};
    return {ReadOutStatus::Done, "wyslano " + records + "; sterownik: " + g.driver.text};
}

ReadOutResult result_of(const SalesReadOut& r, std::string_view list, std::string_view last_message) {
    using End = SalesReadOut::End;
    if (r.end == End::StandUnusable) return failure(ReadOutStatus::StandWithoutPort, last_message);
    if (r.end == End::DriverBusy)
        return failure(ReadOutStatus::DriverFailed, "poprzedni odczyt kasy jeszcze trwa, sprzedaz zaksieguje nastepny");
    if (r.end == End::Abandoned || r.end == End::DateRefused)
        return failure(ReadOutStatus::ImportFailed, "odczyt przerwany");

    const std::string prefix = r.end == End::Leftover ? "wczytano plik pozostawiony w durva: " : "";
    std::string driver;
    if (r.end == End::ReadOut) {
        if (!r.driver_ran) driver = last_message.empty() ? "sterownik nie uruchomiony" : std::string(last_message);
        else if (!r.driver.good()) driver = "sterownik: " + r.driver.text;
    }

    if (!r.imported && !r.import.not_booked.empty()) {
        // The file stays for a run that may book it: a journal to be looked
        // at, or a booking of it under way elsewhere.
        std::string line = r.import.finished.empty() ? std::string() : r.import.finished + "; ";
        return failure(ReadOutStatus::ImportFailed, line + prefix + r.import.not_booked);
    }
    if (!r.imported && r.import.finished.empty()) {
        // The driver's own word comes first: without it the register gave nothing.
        if (!driver.empty()) return failure(ReadOutStatus::DriverFailed, driver);
        if (last_message == kNoSalesMessage)
            return failure(ReadOutStatus::DriverFailed, "sterownik nie zostawil pliku sprzedazy");
        return failure(ReadOutStatus::ImportFailed,
                       prefix + (last_message.empty() ? std::string("import nieudany") : std::string(last_message)));
    }
    std::string line = prefix + import_text(r.import, list);
    if (!driver.empty()) {
        // Booked what came back, but the register's report says something went wrong.
        line += "; " + driver;
        return {ReadOutStatus::DriverFailed, line};
    }
    return {ReadOutStatus::Done, line};
}

}  // namespace durva
