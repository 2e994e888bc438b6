#pragma once
// The totals a sales document header collects from its rows, each sum kept
// at the header field's own decimals after every row, as the header holds it
// between rows. Worked out the same way by the line matcher (to refuse a line
// whose amounts the header could no longer hold), by the booking and by its
// recovery after a crash, so all three agree to the last digit.
#include "common/dbf/table.h"

namespace durva {

struct TotalsLayout {
    int width = 14, decimals = 2;  // WARTOSC0, NETTO, VAT and KWOTA of the header table
    static TotalsLayout of(dbf::Table* headers);
};

struct DocumentTotals {
    double WARTOSC0 = 0, NETTO = 0, VAT = 0, KWOTA = 0;

    // Adds one row: its quantity times the goods price, rounded to 2
    // decimals; its value less its VAT; its VAT; its gross value.
    void add(const TotalsLayout& layout, double quantity, double cena0, double value, double vat, double brutto);
    // True when every total still fits its header field.
    bool fits(const TotalsLayout& layout) const;
};

}  // namespace durva
