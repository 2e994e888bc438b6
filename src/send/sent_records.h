#pragma once
// The sent-record table durva\as2000.dbf: per register and per good, the
// first 80 characters of the last PLU record sent. The main send writes only
// goods that are new to the register or whose record changed; the document
// and leaflet sends write theirs in any case and only bring the table up to
// date. A send holds the table exclusively, which is what keeps a second
// station from sending while one is at it.
//
// The table says what the register holds, so it changes only once the
// driver reports that the register took the records: until then a send's
// changes wait beside it (send/sent_changes.h), and a send that did not
// reach the register leaves it as it was.
//
// A row's key is the register and the good's code, without its warehouse: a
// code held in two warehouses with different records takes turns in one row
// (the register holds one PLU per code), and is sent again at every send.
#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "common/session.h"
#include "send/plu_record.h"
#include "send/sent_changes.h"
#include "send/sent_lookup.h"

namespace durva {

inline constexpr int kSentRecordsArea = 102;
inline constexpr std::string_view kSentRecordsTable = "durva\\as2000";
inline constexpr std::string_view kSentRecordsFields =
    "durva\\AS2000,PKASA     ,C, 2,  0,KOD13     ,C,13,  0,TEKST     ,C,80,  0";
inline constexpr std::string_view kSentRecordsTrouble = "PROBLEMY Z durva\\as2000.dbf";
// The table with everything that belongs to it, deleted together.
inline constexpr std::array<std::string_view, 4> kSentRecordFiles = {"durva\\as2000.dbf", "durva\\as2000.ntx",
                                                                      kChangesUnderWay, kChangesToWriteIn};

// The sent-record table as one send sees it: the table, and the changes the
// send has made so far.
class SentRecords {
public:
    explicit SentRecords(Session& s) : s_(s) {}
    ~SentRecords();
    SentRecords(const SentRecords&) = delete;
    SentRecords& operator=(const SentRecords&) = delete;

    // Opens the table in work area 102 under alias as2000, held exclusively,
    // with its index as the controlling order, and builds the look-up of its
    // rows in memory; creates it when missing and replaces a table of an
    // earlier layout (no PKASA) by an empty one. Changes of an earlier send
    // that were being written in when its program was killed are written in
    // first; changes of a send that never got the driver's report are
    // dropped. The index file is kept up to date by every send that changes
    // the table, and built afresh only when it is missing or cannot be read,
    // or rows were written in again. One attempt: when another station holds
    // the table, or it cannot be read, shows "PROBLEMY Z durva\as2000.dbf"
    // for a second, selects the goods table (area 2) and returns false. The
    // current work area is otherwise kept.
    bool open();

    // Decides for one built record whether its line goes into the input file,
    // and notes the change: a new row when the register has none for the
    // code; on the main road an unchanged text is left out unless `resend` (a
    // date filter) says otherwise; the other roads always write it. The text
    // kept is cut to 80. A record met again in the same send is judged by
    // what the send noted for it before.
    bool record(std::string_view register_no, const PluRecord& record, SendRoad road, bool resend);
    // Whether the look-up is large enough for prefetch() to pay.
    bool worth_prefetching() const { return lookup_.worth_prefetching(); }
    // The good whose record comes next has this code (a PluRecord's key): its
    // look-up is started, to be ready by the time record() makes it.
    void prefetch(std::string_view register_no, std::string_view code) {
        lookup_.prefetch(SentLookup::tag_of(register_no, code));
    }
    // Room in the look-up for the rows of `goods` goods about to be recorded.
    void expect(std::uint32_t goods);

    // The send's changes are complete on the disk, waiting for the driver's
    // report; nothing more is noted, and the look-up is let go.
    void finish();

private:
    // The row a look-up names: the table's record, or a row of the changes.
    std::string_view row(dbf::DbfFile& table, std::uint32_t ref);

    Session& s_;
    std::optional<SentRowLayout> layout_;
    SentLookup lookup_;
    std::unique_ptr<SentChanges> changes_;
    std::uint32_t next_fresh_ = 0;  // the first record appended to the table, when the changes go in
    std::uint32_t fresh_ = 0;       // new rows so far
    std::uint32_t last_row_ = 0;    // the table's record met last
    std::vector<bool> moved_;       // the table's records whose text is in the changes now
    std::string key_, padded_;
};

// After the driver's run for a send that wrote its file. When the driver
// reported success the send's changes go into the table, held for that
// (when a leaflet send still holds it, through that hold); a table that
// cannot be had now takes them at the next send's opening. Otherwise
// drop_sent_changes() (send/sent_changes.h): the table stays as before.
void keep_sent_changes(Session& s);

}  // namespace durva
