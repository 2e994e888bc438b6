#include "driver_runs.h"

#include <string_view>
#include <vector>

#include "platform/path_resolver.h"
#include "register_store.h"

namespace durvadrv {

namespace {

using Lines = std::vector<std::string_view>;

Report ok(std::string text) { return Report{Fault::None, 0, "OK, " + std::move(text)}; }

// Records after a control line that takes none.
Report no_records_expected(const Lines& lines) {
    if (lines.size() > 1) return Report{Fault::BadFormat, 1, "Zbedny rekord po wierszu sterujacym"};
    return {};
}

Report read_sales(const std::string& folder, const Lines& lines, RegisterState& state, RegisterStore& store) {
    if (Report r = no_records_expected(lines); r.fault != Fault::None) return r;
    std::string out;
    for (const Sale& s : state.journal) out += sales_line(s) + "\r\n";
    std::string error;
    // The journal is emptied only once the read-out is safely on the disk:
    // a run that dies between the two gives the same sales again next time
    // rather than losing them.
    if (!write_file_whole(durva::platform::resolve_path(folder + "/data_out.xxx"), out, error))
        return Report{Fault::StateFile, -1, error};
    size_t count = state.journal.size();
    state.journal.clear();
    if (!store.save(state, error)) return Report{Fault::StateFile, -1, error};
    return ok("sprzedaz: " + std::to_string(count) + " pozycji");
}

Report read_plu_list(const std::string& folder, const Lines& lines, const RegisterState& state) {
    if (Report r = no_records_expected(lines); r.fault != Fault::None) return r;
    std::string out;
    for (const auto& entry : state.plus) out += plu_list_line(entry.second) + "\r\n";
    std::string error;
    if (!write_file_whole(durva::platform::resolve_path(folder + "/data_out.txt"), out, error))
        return Report{Fault::StateFile, -1, error};
    return ok("PLU w kasie: " + std::to_string(state.plus.size()));
}

// Applies the records one by one and stops at the first bad one.
Report write_plus(const Lines& lines, RegisterState& state) {
    size_t written = 0, deleted = 0;
    for (size_t i = 1; i < lines.size(); ++i) {
        PluRecord r;
        Problem p = parse_plu_record(lines[i], r);
        if (p.fault == Fault::None && r.deletion && !state.plus.count(r.plu.code))
            p = Problem{Fault::UnknownPlu, "Brak PLU " + r.plu.code + " w kasie"};
        if (p.fault != Fault::None) return Report{p.fault, static_cast<int>(i), p.text};
        if (r.deletion) {
            state.plus.erase(r.plu.code);
            ++deleted;
        } else {
            state.plus[r.plu.code] = r.plu;
            ++written;
        }
    }
    return ok("zapisano PLU: " + std::to_string(written) + ", skasowano: " + std::to_string(deleted));
}

Report program_departments(const Lines& lines, const ControlLine& control, RegisterState& state) {
    size_t expected = static_cast<size_t>(control.last_department - control.first_department + 1);
    size_t records = lines.size() - 1;
    for (size_t i = 1; i < lines.size(); ++i) {
        int line = static_cast<int>(i);
        if (i > expected)
            return Report{Fault::RecordCount, line, "Za duzo rekordow dzialow, oczekiwano " + std::to_string(expected)};
        Department d;
        if (Problem p = parse_department(lines[i], d); p.fault != Fault::None) return Report{p.fault, line, p.text};
        if (d.number < control.first_department || d.number > control.last_department)
            return Report{Fault::BadDepartment, line, "Dzial " + std::to_string(d.number) + " poza zakresem"};
        state.departments[static_cast<size_t>(d.number - 1)] = d;
    }
    if (records < expected)
        return Report{Fault::RecordCount, static_cast<int>(records + 1),
                      "Za malo rekordow dzialow: " + std::to_string(records) + " z " + std::to_string(expected)};
    return ok("dzialy: " + std::to_string(expected));
}

}  // namespace

std::string error_file_text(const Report& report) {
    return std::to_string(static_cast<int>(report.fault)) + ";" +
           (report.line >= 0 ? std::to_string(report.line) : std::string()) + ";" + report.text + "\r\n";
}

Report perform_input_file(const std::string& folder, const Arguments& args) {
    std::string input;
    if (!read_file_whole(durva::platform::resolve_path(folder + "/" + args.input_file), input))
        return Report{Fault::NoInputFile, -1, "Brak pliku " + args.input_file.substr(0, 20)};
    Lines lines = split_input_lines(input);
    std::optional<ControlLine> control = lines.empty() ? std::nullopt : parse_control_line(lines[0]);
    if (!control) return Report{Fault::UnknownControl, 0, "Nieznany wiersz sterujacy"};

    RegisterStore store(folder, args.port);
    RegisterState state;
    std::string error;
    if (!store.take(args.wait_ms, error)) return Report{Fault::PortBusy, -1, error};
    if (!store.load(state, error)) return Report{Fault::StateFile, -1, error};

    switch (control->op) {
        case Operation::ReadSales:
            return read_sales(folder, lines, state, store);
        case Operation::ReadPluList:
            return read_plu_list(folder, lines, state);
        case Operation::WritePlus:
        case Operation::Departments: {
            Report r = control->op == Operation::WritePlus ? write_plus(lines, state)
                                                          : program_departments(lines, *control, state);
            if (!store.save(state, error)) return Report{Fault::StateFile, -1, error};
            return r;
        }
    }
    return Report{Fault::UnknownControl, 0, "Nieznany wiersz sterujacy"};
}

}  // namespace durvadrv
