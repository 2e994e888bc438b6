#pragma once
// The backup copy of a sales file in DURVA_SD, under a name made of the date
// and time of the run. Copies are never overwritten: a second run within the
// same second gets "_2" before the extension, a third "_3", and so on.
#include <string>
#include <string_view>

#include "platform/clock.h"

namespace durva {

struct BackupResult {
    std::string name;         // DOS name of the copy, empty when it could not be made
    std::string fingerprint;  // size and checksum of the file's bytes, empty when unread
};

// The name of the first copy made at `t`, e.g. DURVA_SD\DATA_OUT20160315_142507.OUT.
std::string backup_name(const platform::LocalTime& t, int attempt = 1);

// Copies `file` byte for byte to a new backup name and forces it to disk.
BackupResult make_backup(std::string_view file, const platform::LocalTime& t);

// Size and checksum of a file's bytes; empty when it cannot be read.
std::string file_fingerprint(std::string_view file);

}  // namespace durva
