#pragma once
// The company record's station string, read and set directly in a test's
// copy of an office folder.
#include <string>

#include "common/dbf/table.h"

namespace durva::test {

inline std::string read_station_string(const std::string& firma) {
    dbf::TableSettings settings;
    auto t = dbf::Table::open(firma, platform::Share::Shared, settings, true);
    std::string st = t->text("ST");
    t->close();
    return st;
}

inline void write_company_field(const std::string& firma, const std::string& field, const std::string& value) {
    dbf::TableSettings settings;
    auto t = dbf::Table::open(firma, platform::Share::Exclusive, settings);
    t->put(field, dbf::FieldValue(value));
    t->close();
}

}  // namespace durva::test
