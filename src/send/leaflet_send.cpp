#include "send/leaflet_send.h"

#include "common/_fun1.h"
#include "common/_fun3.h"
#include "common/error_handler.h"
#include "common/locks.h"
#include "send/goods_fields.h"
#include "send/input_file.h"
#include "send/sent_records.h"

namespace durva {

bool GAZETKA1(SendRun& run) {
    Session& s = run.s;
    auto& areas = s.areas;
    const int remembered = areas.current();
    std::string leaflet;
    if (FILE_X("rob0\\gazetka1.dbf"))
        leaflet = "rob0\\gazetka1";
    else if (FILE_X("rob0\\gazetka_.dbf"))
        leaflet = "rob0\\gazetka_";
    else {
        _OKNO_(s, "NIE ma plikow GAZETKA1, GAZETKA_");
        return false;
    }
    _OKNO_(s, "Wysylam " + leaflet, 3);

    s.screen.clear();
    InputFileWriter out(s, kPluControlLine, true);
    areas.select(kLeafletArea);
    areas.close();
    dbf::Table* goods = areas.find(kGoodsArea);
    if (goods && NET_USE(s, leaflet, "gazetka", true, 20)) {
        dbf::Table& rows = areas.table();
        const int mag = rows.field_pos("MAG"), indeks = rows.field_pos("INDEKS");
        if (mag == 0 || indeks == 0) {
            // A table of some other layout: nothing in it names a good.
            _OKNO_(s, "Plik " + leaflet + " bez pol MAG, INDEKS", 3);
        } else {
            goods->set_order(1);
            for (rows.go_top(); !rows.eof(); rows.skip(1)) {
                if (goods->seek(rows.text("MAG") + rows.text("INDEKS"), false)) DURVA_1POZ(run, out);
            }
        }
    }
    areas.select(kLeafletArea);
    areas.close();
    areas.select(remembered);
    out.finish();
    return true;
}

std::string DURVA_1POZ(SendRun& run, InputFileWriter& out) {
    Session& s = run.s;
    dbf::Table& goods = s.areas.table(kGoodsArea);
    const GoodsFields fields(goods);
    const std::string_view rec = goods.record();
    const std::string_view nazwa = fields.nazwa(rec);
    if (run.filter.skips(fields.mag(rec), nazwa, fields.ilosc(rec))) return {};
    // Each row is judged alone: no code before it can refuse it.
    std::string previous(kNoPreviousCode);
    const PluRecord r = build_plu_record(run.plu, fields.good(rec, nazwa), SendRoad::Leaflet, previous);
    if (!r.accepted()) return {};
    if (run.sent.record(run.m.NR_KASY, r, SendRoad::Leaflet, false)) out.record(r.text);
    return {};
}

}  // namespace durva
