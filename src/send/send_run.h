#pragma once
// What one send carries from its options screen down to every road: the
// program, the main menu's values, the options typed, the record rules'
// settings, the goods filters and the sent-record table as the send sees it.
#include "common/menu_values.h"
#include "common/session.h"
#include "send/plu_record.h"
#include "send/plu_settings.h"
#include "send/send_options.h"
#include "send/sent_records.h"

namespace durva {

struct SendRun {
    SendRun(Session& session, MenuValues& menu, SendOptions& options, SentRecords& sent_records)
        : s(session), m(menu), o(options), sent(sent_records), plu(plu_settings(session, menu, options.M_POZIOM)),
          filter(session, menu, options) {}

    Session& s;
    MenuValues& m;
    SendOptions& o;
    SentRecords& sent;
    PluSettings plu;
    GoodsFilter filter;
};

// The work areas of the goods table and of the send's own tables.
inline constexpr int kGoodsArea = 2;
inline constexpr int kDocumentRowsArea = 5;
inline constexpr int kLeafletArea = 44;

}  // namespace durva
