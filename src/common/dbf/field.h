#pragma once
// One field of a DBF table as its descriptor gives it, with its place in the
// record (the deletion flag is byte 0, field 1 starts at byte 1).
#include <string>
#include <vector>

namespace durva::dbf {

struct FieldDesc {
    std::string name;  // upper case, at most 10 characters
    char type = 'C';   // C, N, D, L (M is read but never written)
    int length = 0;
    int decimals = 0;
    int offset = 0;    // position of the field's first byte in the record
};

using FieldList = std::vector<FieldDesc>;

}  // namespace durva::dbf
