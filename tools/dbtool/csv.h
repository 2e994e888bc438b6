#pragma once
// Records as CSV lines in UTF-8 for dbtool dump.
#include <string>
#include <string_view>

#include "common/dbf/field.h"

namespace durva::dbtool {

// "DELETED" and the field names.
std::string csv_header(const dbf::FieldList& fields);
// The deleted flag ("*" or empty), then every field: texts without their
// padding and converted from the code page, numbers as stored without
// blanks, dates as YYYY-MM-DD, logicals as T or F.
std::string csv_record(std::string_view record, const dbf::FieldList& fields);

}  // namespace durva::dbtool
