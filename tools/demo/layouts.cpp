#include "layouts.h"

namespace durva::demo {

namespace {

dbf::FieldDesc c(const char* name, int length) { return {name, 'C', length, 0, 0}; }
dbf::FieldDesc n(const char* name, int length, int decimals) { return {name, 'N', length, decimals, 0}; }
dbf::FieldDesc d(const char* name) { return {name, 'D', 8, 0, 0}; }

}  // namespace

dbf::FieldList company_layout() { return {c("ST", 10), c("BMR", 5), c("NODB", 40), c("NODB1", 40), c("NODB2", 40)}; }

dbf::FieldList goods_layout(bool with_bar_codes) {
    if (!with_bar_codes)
        return {c("MAG", 1),        c("INDEKS", 8),     c("NAZWA", 30), c("JM", 3),
                n("CENA0", 14, 4),  n("CENA2", 14, 2),  n("CENA2M", 14, 2), c("PODATEK0", 2),
                c("SWW", 8),        c("PKWIU", 10),     n("ILOSC", 15, 3),  n("B_R_I", 15, 3),
                n("B_R_I_SD", 15, 3), n("ILOSC_PZ", 15, 3), n("ILOSC_SD", 15, 3)};
    return {c("MAG", 1),          c("INDEKS", 8),       c("NAZWA", 30),       c("JM", 3),
            n("CENA0", 14, 4),    n("CENA2", 14, 2),    n("CENA2M", 14, 2),   n("CENA3", 14, 2),
            n("CENAM", 14, 2),    c("PODATEK0", 2),     c("SWW", 8),          c("PKWIU", 10),
            c("KOD13", 13),       n("ILOSC", 15, 3),    n("B_R_I", 15, 3),    n("B_R_I_SD", 15, 3),
            n("ILOSC_PZ", 15, 3), n("ILOSC_SD", 15, 3), d("DATA_PZ"),         d("DATA_SD"),
            c("RD_PZ", 3),        c("NRD_PZ", 8)};
}

dbf::FieldList document_rows_layout() {
    return {c("R_P", 1),      c("S_Z", 1),    c("RD", 3),          c("NRD", 8),     d("DATA"),
            c("MAG", 1),      c("LP", 3),     c("KTO", 1),         c("INDEKS", 8),  c("NAZWA", 30),
            c("JM", 3),       n("CENA0", 14, 4), n("CENA", 14, 4), c("NB", 1),      n("ILOSC", 15, 3),
            n("WARTOSC", 14, 2), c("PODATEK0", 2), n("PODATEK", 14, 4), c("SWW", 8), c("PKWIU", 10)};
}

dbf::FieldList document_headers_layout() {
    return {c("R_P", 1),         c("S_Z", 1),      c("RD", 3),       c("NRD", 8),
            d("DATA"),           c("MAG", 1),      c("KTO", 1),      n("WARTOSC0", 14, 2),
            n("NETTO", 14, 2),   n("VAT", 14, 2),  c("SPZ", 1),      n("KWOTA", 14, 2),
            c("OPERATOR", 1),    c("NODB", 35),    d("R_DATA"),      c("R_CZAS", 8)};
}

dbf::FieldList counters_layout() { return {c("RD", 3), n("NRD", 8, 0), c("NAZWA", 20)}; }

dbf::FieldList accounts_layout() { return {c("KONTO", 10), c("NAZWA", 30), n("KWOTA", 14, 2)}; }

std::vector<IndexFile> goods_indexes(bool with_bar_codes) {
    if (!with_bar_codes) return {{"as", "MAG+INDEKS"}, {"as2", "UPPER(NAZWA)"}};
    return {{"as", "MAG+INDEKS"}, {"as2", "DESCEND(KOD13+MAG)"}, {"as3", "UPPER(NAZWA)+MAG"}};
}

std::vector<IndexFile> document_rows_indexes() {
    return {{"dow1", "RD+NRD"}, {"dow2", "MAG+INDEKS+DTOS(DATA)"}, {"dow3", "DTOS(DATA)+RD+NRD"}};
}

std::vector<IndexFile> document_headers_indexes() { return {{"dowod1", "RD+NRD"}, {"dowod2", "DTOS(DATA)+RD+NRD"}}; }

std::vector<IndexFile> counters_indexes() { return {{"slow", "RD"}}; }

std::vector<IndexFile> accounts_indexes() { return {{"pk", "KONTO"}}; }

}  // namespace durva::demo
