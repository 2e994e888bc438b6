#include "common/dbf/field_codec.h"

#include <cstring>

#include "common/dbf/xbase_values.h"
#include "platform/errors.h"

namespace durva::dbf {

std::string_view field_bytes(std::string_view record, const FieldDesc& f) {
    if (f.offset < 0 || static_cast<size_t>(f.offset) >= record.size()) return {};
    return record.substr(static_cast<size_t>(f.offset), static_cast<size_t>(f.length));
}

double decode_number(std::string_view bytes) { return val_number(bytes); }

Date decode_date(std::string_view bytes) { return Date::from_dtos(bytes); }

bool decode_logical(std::string_view bytes) {
    if (bytes.empty()) return false;
    char c = bytes[0];
    return c == 'T' || c == 't' || c == 'Y' || c == 'y';
}

FieldValue decode_field(const FieldDesc& f, std::string_view record) {
    std::string_view b = field_bytes(record, f);
    switch (f.type) {
        case 'N': return decode_number(b);
        case 'D': return decode_date(b);
        case 'L': return decode_logical(b);
        default: return std::string(b);
    }
}

void encode_text(const FieldDesc& f, std::string_view text, char* record) {
    char* dst = record + f.offset;
    size_t len = static_cast<size_t>(f.length);
    size_t n = text.size() < len ? text.size() : len;
    std::memcpy(dst, text.data(), n);
    std::memset(dst + n, ' ', len - n);
}

void encode_number(const FieldDesc& f, double value, char* record) {
    str_number_to(value, f.length, f.decimals, record + f.offset);
}

void encode_date(const FieldDesc& f, Date value, char* record) {
    std::string s = value.dtos();
    // A date field is 8 bytes; a foreign shorter one keeps what fits.
    size_t len = static_cast<size_t>(f.length);
    for (size_t i = 0; i < len; ++i) record[f.offset + static_cast<int>(i)] = i < s.size() ? s[i] : ' ';
}

void encode_logical(const FieldDesc& f, bool value, char* record) {
    record[f.offset] = value ? 'T' : 'F';
    if (f.length > 1) std::memset(record + f.offset + 1, ' ', static_cast<size_t>(f.length - 1));
}

void encode_field(const FieldDesc& f, const FieldValue& value, char* record) {
    bool ok = false;
    switch (f.type) {
        case 'C':
        case 'M':
            if (auto* s = std::get_if<std::string>(&value)) { encode_text(f, *s, record); ok = true; }
            break;
        case 'N':
            if (auto* d = std::get_if<double>(&value)) { encode_number(f, *d, record); ok = true; }
            break;
        case 'D':
            if (auto* d = std::get_if<Date>(&value)) { encode_date(f, *d, record); ok = true; }
            break;
        case 'L':
            if (auto* b = std::get_if<bool>(&value)) { encode_logical(f, *b, record); ok = true; }
            break;
        default: break;
    }
    if (!ok) throw DbError("Niezgodny typ danych pola", f.name);
}

FieldValue blank_value(const FieldDesc& f) {
    switch (f.type) {
        case 'N': return 0.0;
        case 'D': return Date{};
        case 'L': return false;
        default: return std::string(static_cast<size_t>(f.length), ' ');
    }
}

}  // namespace durva::dbf
