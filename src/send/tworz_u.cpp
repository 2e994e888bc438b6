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
    if (!open_sent_records(s)) return false;

    SendRun run(s, m, o);
    if (o.M_RD.starts_with("GZ ")) return GAZETKA1(run);
    if (!is_blank(o.M_NRD)) return DURVA_PZ(run, o.M_NRD);
    return main_send(run);
}

}  // namespace durva
