#pragma once
// The backup copy of a sales file in DURVA_SD, under a name made of the date
// and time of the run. Copies are never overwritten: a second run within the
// same second gets "_2" before the extension, a third "_3", and so on.
#include <optional>
#include <string>
#include <string_view>

#include "platform/clock.h"
#include "receive/booking_journal.h"

namespace durva {

struct BackupResult {
    std::string name;  // DOS name of the copy, empty when it could not be made
};

// The name of the first copy made at `t`, e.g. DURVA_SD\DATA_OUT20160315_142507.OUT.
std::string backup_name(const platform::LocalTime& t, int attempt = 1);

// Copies `file` byte for byte to a new backup name and forces it to disk.
BackupResult make_backup(std::string_view file, const platform::LocalTime& t);

// The stamp of the file at `dos_path` as it is now: only a regular file
// has one (a symlink or anything else planted under the name has none).
std::optional<SourceStamp> sales_file_stamp(std::string_view dos_path);

// The first backup name at `t` that no file has yet.
std::string free_backup_name(const platform::LocalTime& t);

// Takes the driver's sales file away to its backup copy's place: renamed,
// never copied, so that at every moment it is either where the driver left
// it or under its new name, and forced to disk there. `wanted` is the name
// to take; when another copy came to have it meanwhile, the next free one
// ("_2", "_3" before the extension). Only the file `stamp` describes is
// taken. Returns the DOS name it now has; empty when it is not there as
// described (already taken) or could not be taken (then it stays).
std::string take_sales_file(std::string_view source, const SourceStamp& stamp, std::string_view wanted);

}  // namespace durva
