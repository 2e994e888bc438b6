#pragma once
// The sales import run: the driver's sales file copied aside, read line by
// line into the station's work table, booked as one sales document, and the
// lines that matched no goods record shown to the operator.
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "common/menu_values.h"
#include "common/session.h"
#include "receive/import_run.h"

namespace durva {

// What identifies one writing of a file: taken before a driver run, it tells
// afterwards whether the driver wrote the file anew.
struct FileStamp {
    unsigned long long inode = 0, size = 0;
    long long modified_ns = 0, changed_ns = 0;
    friend bool operator==(const FileStamp&, const FileStamp&) = default;
};
std::optional<FileStamp> file_stamp(std::string_view dos_path);

// Imports and books the sales file `file`. False when the file is missing or
// cannot be opened, when the document type has no counter record, or when
// the operator chose not to book again a file already booked. A booking that
// an earlier run left unfinished is finished first. With `summary` the caller
// learns what the run came to. In an unattended session nothing waits for a
// key, a file already booked is not booked again, and the unmatched lines
// stay in the list without the editor.
bool ZROB_SD_VOKA(Session& s, MenuValues& m, std::string_view file, ImportSummary* summary = nullptr);
// The same for a file the driver run may not have written: it is imported
// only when it differs from `before`, its stamp taken before the run;
// otherwise the operator is told that no sales came back.
bool ZROB_SD_VOKA(Session& s, MenuValues& m, std::string_view file, const std::optional<FileStamp>& before,
                  ImportSummary* summary = nullptr);

// The run proper, on the file open in r.HANDLE.
bool VOKA_SD(ImportRun& r);

// The gross total of the work table's rows; leaves it on its first row.
double JAKA_VOKA(Session& s);

// Calls `row` with the bytes of each work-table row not marked deleted, in
// record order, and leaves the table on its first row. The rows are read
// without moving the record pointer, which would move the goods table along
// the relation for every row.
void for_each_work_row(dbf::Table& dd, const std::function<void(std::string_view)>& row);

// The messages of the run.
inline constexpr std::string_view kNoCounterMessage = "Brak w parametrach dowodu ";
inline constexpr std::string_view kSeeListMessage = "ZOBACZ >> Edytor wydrukow << !!!";
inline constexpr std::string_view kNoSalesMessage = "Kasa nie oddala sprzedazy";

}  // namespace durva
