#include "csv.h"

#include "common/dbf/field_codec.h"
#include "common/screen/codepage.h"

namespace durva::dbtool {

namespace {

std::string quoted(std::string_view s) {
    bool needs = s.find_first_of(",\"\r\n") != std::string_view::npos || (!s.empty() && s.front() == ' ');
    if (!needs) return std::string(s);
    std::string out = "\"";
    for (char c : s) {
        if (c == '"') out += '"';
        out += c;
    }
    out += '"';
    return out;
}

std::string trimmed(std::string_view s) {
    size_t end = s.find_last_not_of(' ');
    return end == std::string_view::npos ? std::string() : std::string(s.substr(0, end + 1));
}

std::string field_text(std::string_view record, const dbf::FieldDesc& f) {
    std::string_view bytes = dbf::field_bytes(record, f);
    switch (f.type) {
        case 'N': {
            size_t b = bytes.find_first_not_of(' ');
            return b == std::string_view::npos ? std::string() : trimmed(bytes.substr(b));
        }
        case 'D': {
            Date d = dbf::decode_date(bytes);
            if (d.empty()) return {};
            std::string s = d.dtos();
            return s.substr(0, 4) + "-" + s.substr(4, 2) + "-" + s.substr(6, 2);
        }
        case 'L':
            return dbf::decode_logical(bytes) ? "T" : "F";
        default:
            return screen::to_utf8(trimmed(bytes));
    }
}

}  // namespace

std::string csv_header(const dbf::FieldList& fields) {
    std::string line = "DELETED";
    for (const auto& f : fields) line += "," + f.name;
    return line;
}

std::string csv_record(std::string_view record, const dbf::FieldList& fields) {
    std::string line = !record.empty() && record[0] == '*' ? "*" : "";
    for (const auto& f : fields) {
        line += ',';
        line += quoted(field_text(record, f));
    }
    return line;
}

}  // namespace durva::dbtool
