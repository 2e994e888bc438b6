#include "send/document_send.h"

#include "common/_fun1.h"
#include "common/dbf/xbase_values.h"
#include "send/goods_fields.h"
#include "send/input_file.h"
#include "send/sent_records.h"

namespace durva {
namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

std::vector<std::string> document_numbers(std::string_view list) {
    std::vector<std::string> numbers;
    list = list.substr(0, list.find_last_not_of(' ') + 1);
    while (!list.empty()) {
        std::string digits;
        size_t i = 0;
        for (; i < list.size(); ++i) {
            if (is_digit(list[i]))
                digits += list[i];
            else if (!digits.empty())
                break;
        }
        list = i < list.size() ? list.substr(i + 1) : std::string_view();
        if (digits.empty()) break;
        numbers.push_back(dbf::str_number(dbf::val_number(digits), 8, 0));
    }
    return numbers;
}

bool DURVA_PZ(SendRun& run, std::string_view list) {
    Session& s = run.s;
    s.screen.clear();
    // Document lines name their goods by warehouse and index.
    if (dbf::Table* g = s.areas.find(kGoodsArea)) g->set_order(1);
    {
        InputFileWriter out(s, kPluControlLine, true);
        for (const std::string& number : document_numbers(list)) DURVA_1_PZ(run, out, number);
        out.finish();
    }
    s.areas.close(kSentRecordsArea);
    s.areas.select(kGoodsArea);
    if (dbf::Table* g = s.areas.find(kGoodsArea)) {
        g->set_order(1);
        g->go_top();
    }
    return true;
}

bool DURVA_1_PZ(SendRun& run, InputFileWriter& out, std::string_view number) {
    Session& s = run.s;
    auto& areas = s.areas;
    const int remembered = areas.current();
    const std::uint32_t remembered_rec = areas.used() ? areas.table().recno() : 0;
    auto restore = [&] {
        areas.select(remembered);
        if (areas.used() && remembered_rec) areas.table().go_to(remembered_rec);
        return true;
    };

    const std::string document = run.o.M_RD + std::string(number);
    _OKNO_(s, document);
    dbf::Table* rows = areas.find(kDocumentRowsArea);
    dbf::Table* goods = areas.find(kGoodsArea);
    if (!rows || !goods) return restore();
    areas.select(kDocumentRowsArea);
    rows->go_top();
    if (!rows->seek(document, false)) return restore();

    std::string previous(kNoPreviousCode);
    const GoodsFields fields(*goods);
    const int rd = rows->field_pos("RD"), nrd = rows->field_pos("NRD");
    const int mag = rows->field_pos("MAG"), indeks = rows->field_pos("INDEKS");
    auto row_text = [&](int pos) { return pos > 0 ? rows->text(rows->field_name(pos)) : std::string(); };
    for (; !rows->eof() && (row_text(rd) + row_text(nrd)).starts_with(document); rows->skip(1)) {
        if (!goods->seek(row_text(mag) + row_text(indeks), false)) continue;
        const std::string_view rec = goods->record();
        const std::string_view nazwa = fields.nazwa(rec);
        if (run.filter.skips(fields.mag(rec), nazwa, fields.ilosc(rec))) continue;
        const PluRecord r = build_plu_record(run.plu, fields.good(rec, nazwa), SendRoad::Documents, previous);
        if (!r.accepted()) continue;
        if (run.sent.record(run.m.NR_KASY, r, SendRoad::Documents, false)) out.record(r.text);
    }
    return restore();
}

}  // namespace durva
