#pragma once
// The leaflet send: the goods of the promotion leaflet table prepared
// elsewhere in the office, all of them, changed or not.
#include <string_view>

#include "send/send_run.h"

namespace durva {

class InputFileWriter;

// Finds rob0\gazetka1.dbf (or else rob0\gazetka_.dbf) and writes
// durva\data_in.txt with a record for every row whose good passes, each line
// also shown on the screen. False, after a message, when neither table is
// there. The sent-record table stays open (and held) afterwards.
bool GAZETKA1(SendRun& run);

// Writes the record of the good current in the goods table, for the current
// leaflet row, unless a filter or the record rules keep it out. Leaves the
// leaflet table selected on the same row; returns an empty text.
std::string DURVA_1POZ(SendRun& run, InputFileWriter& out);

}  // namespace durva
