#pragma once
// Writes a complete sample office folder: the company record, the month's
// period folder with goods, receipt documents, document counters and the
// small account table, every index the office's programs keep, the shared
// parameter file with the register's VAT rates, and an example printer
// setting file DRUKARKA.TXT whose settings are all remarks.
#include <cstddef>
#include <cstdint>
#include <string>

#include "common/date.h"

namespace durva::demo {

struct OfficeOptions {
    std::string folder = "sample";
    bool with_bar_codes = true;  // false: the older goods layout without KOD13
    std::size_t goods = 3000;
    std::uint64_t seed = 1;
    Date today;  // the period is the month of this day
    bool force = false;
};

struct OfficeSummary {
    std::string period_folder;  // "26/12"
    std::string bmr;            // "12/26"
    std::size_t goods = 0;
    std::size_t receipts = 0;
};

// Writes the folder next to its final place first and puts it there only
// when every file is complete, so a failure leaves no half-written office.
// Throws DbError (a file that cannot be written) or std::runtime_error with
// the message for the operator (a folder that is in the way).
OfficeSummary write_office(const OfficeOptions& options);

}  // namespace durva::demo
