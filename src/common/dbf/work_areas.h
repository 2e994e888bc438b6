#pragma once
// Numbered work areas holding the open tables under their aliases, with one
// current area.

namespace durva::dbf {

class WorkAreas {
public:
};

}  // namespace durva::dbf
