#pragma once
// The sent-record table durva\as2000.dbf: per register and per good, the
// first 80 characters of the last PLU record sent. The main send writes only
// goods that are new to the register or whose record changed; the document
// and leaflet sends write theirs in any case and only bring the table up to
// date. A send holds the table exclusively, which is what keeps a second
// station from sending while one is at it.
//
// A row's key is the register and the good's code, without its warehouse: a
// code held in two warehouses with different records takes turns in one row
// (the register holds one PLU per code), and is sent again at every send.
#include <string>
#include <string_view>

#include "common/session.h"
#include "send/plu_record.h"

namespace durva {

inline constexpr int kSentRecordsArea = 102;
inline constexpr std::string_view kSentRecordsTable = "durva\\as2000";
inline constexpr std::string_view kSentRecordsFields =
    "durva\\AS2000,PKASA     ,C, 2,  0,KOD13     ,C,13,  0,TEKST     ,C,80,  0";
inline constexpr std::string_view kSentRecordsTrouble = "PROBLEMY Z durva\\as2000.dbf";

// Opens the table in work area 102 under alias as2000, held exclusively, with
// its index built afresh; creates it when missing and replaces a table of an
// earlier layout (no PKASA) by an empty one. One attempt: when another
// station holds it, or it cannot be read, shows "PROBLEMY Z durva\as2000.dbf"
// for a second, selects the goods table (area 2) and returns false. The
// current work area is otherwise kept.
bool open_sent_records(Session& s);

// The index key of a row: the register, then the code with every byte
// inverted, so that a register's codes run from the highest down.
std::string sent_record_key(std::string_view register_no, std::string_view code);

// Positions the table on the row of (register, code); true when there is one.
bool seek_sent_record(Session& s, std::string_view register_no, std::string_view code);

// Decides for one built record whether its line goes into the input file, and
// records it: a new row when the register has none for the code; on the main
// road an unchanged text is left out unless `resend` (a date filter) says
// otherwise; the other roads always write it. The stored text is cut to 80.
bool record_sent(Session& s, std::string_view register_no, const PluRecord& record, SendRoad road, bool resend);

}  // namespace durva
