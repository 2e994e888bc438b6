#pragma once
// Field values as the program handles them, and their bytes in a record as
// the office's other programs write them: C blank-padded text in the office
// code page, N as STR() text, D as YYYYMMDD (8 blanks when empty), L as T/F.
#include <string>
#include <string_view>
#include <variant>

#include "common/date.h"
#include "common/dbf/field.h"

namespace durva::dbf {

// Text for C (and M, whose bytes are kept as they are), a number for N, a
// date for D, a logical for L.
using FieldValue = std::variant<std::string, double, Date, bool>;

// The field's bytes inside a whole record (deletion flag at byte 0).
std::string_view field_bytes(std::string_view record, const FieldDesc& f);

FieldValue decode_field(const FieldDesc& f, std::string_view record);
double decode_number(std::string_view bytes);
Date decode_date(std::string_view bytes);
bool decode_logical(std::string_view bytes);

// Writes `value` into the field's bytes of `record` (which holds at least
// f.offset + f.length bytes). A value of the wrong kind for the field is a
// DbError naming the field; nothing is written then.
void encode_field(const FieldDesc& f, const FieldValue& value, char* record);
void encode_text(const FieldDesc& f, std::string_view text, char* record);
void encode_number(const FieldDesc& f, double value, char* record);
void encode_date(const FieldDesc& f, Date value, char* record);
void encode_logical(const FieldDesc& f, bool value, char* record);

// The value a blank field reads as: "" padded, 0, the empty date, false.
FieldValue blank_value(const FieldDesc& f);

}  // namespace durva::dbf
