#pragma once
// The layouts and index keys of the office tables as the office's other
// programs create them, so that every program of the family opens the
// sample as it opens a real office folder.
#include <string>
#include <vector>

#include "common/dbf/field.h"

namespace durva::demo {

struct IndexFile {
    std::string name;        // file name without extension, in the period folder
    std::string expression;  // the key expression stored in the file
};

dbf::FieldList company_layout();
// The goods table; `with_bar_codes` false gives the older layout, which has
// no KOD13 and none of CENA3, CENAM and the last-receipt fields.
dbf::FieldList goods_layout(bool with_bar_codes);
dbf::FieldList document_rows_layout();
dbf::FieldList document_headers_layout();
dbf::FieldList counters_layout();
dbf::FieldList accounts_layout();

std::vector<IndexFile> goods_indexes(bool with_bar_codes);
std::vector<IndexFile> document_rows_indexes();
std::vector<IndexFile> document_headers_indexes();
std::vector<IndexFile> counters_indexes();
std::vector<IndexFile> accounts_indexes();

}  // namespace durva::demo
