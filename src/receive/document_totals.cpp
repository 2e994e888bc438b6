#include "receive/document_totals.h"

#include "common/dbf/xbase_values.h"
#include "common/newround.h"

namespace durva {

TotalsLayout TotalsLayout::of(dbf::Table* headers) {
    TotalsLayout l;
    if (!headers) return l;
    // The narrowest of the four fields decides.
    bool first = true;
    for (const char* name : {"WARTOSC0", "NETTO", "VAT", "KWOTA"}) {
        int pos = headers->field_pos(name);
        if (pos == 0) continue;
        const auto& f = headers->fields()[static_cast<size_t>(pos - 1)];
        if (first || f.length - f.decimals < l.width - l.decimals) {
            l.width = f.length;
            l.decimals = f.decimals;
            first = false;
        }
    }
    return l;
}

void DocumentTotals::add(const TotalsLayout& l, double quantity, double cena0, double value, double vat,
                         double brutto) {
    const int d = l.decimals;
    WARTOSC0 = dbf::round_decimal(WARTOSC0 + NEWROUND(quantity * cena0, 2), d);
    VAT = dbf::round_decimal(VAT + vat, d);
    NETTO = dbf::round_decimal(NETTO + (value - vat), d);
    KWOTA = dbf::round_decimal(KWOTA + brutto, 2);
}

bool DocumentTotals::fits(const TotalsLayout& l) const {
    for (double x : {WARTOSC0, NETTO, VAT, KWOTA, NETTO + VAT})
        if (dbf::str_number(x, l.width, l.decimals).front() == '*') return false;
    return true;
}

}  // namespace durva
