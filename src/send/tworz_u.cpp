#include "send/tworz_u.h"

#include "send/document_send.h"
#include "send/leaflet_send.h"
#include "send/main_send.h"
#include "send/send_options.h"
#include "send/send_run.h"
#include "send/sent_records.h"

namespace durva {

bool TWORZ_U(Session& s, MenuValues& m) {
    SendOptions o;
    if (!ask_send_options(s, m, o)) return false;
    read_date_or_numbers(o);
    SentRecords sent(s);
    if (!sent.open()) return false;

    SendRun run(s, m, o, sent);
    bool written;
    if (o.M_RD.starts_with("GZ "))
        written = GAZETKA1(run);
    else if (!is_blank(o.M_NRD))
        written = DURVA_PZ(run, o.M_NRD);
    else
        written = main_send(run);
    sent.finish();
    // Without a file the driver is not run, and the table stays as it was.
    if (!written) drop_sent_changes();
    return written;
}

}  // namespace durva
