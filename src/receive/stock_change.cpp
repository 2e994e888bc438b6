#include "receive/stock_change.h"

#include <cmath>

#include "common/dbf/field_codec.h"
#include "common/dbf/xbase_values.h"
#include "platform/errors.h"

namespace durva {

namespace {

using Place = StockLayout::Place;

Place place_of(const dbf::Table& t, std::string_view name) {
    const int pos = t.field_pos(name);
    return Place{pos, t.field_desc(name)};
}

double number_of(const Place& f, std::string_view record) {
    return f && f.desc->type == 'N' ? dbf::decode_number(dbf::field_bytes(record, *f.desc)) : 0.0;
}

Date date_of(const Place& f, std::string_view record) {
    return f && f.desc->type == 'D' ? dbf::decode_date(dbf::field_bytes(record, *f.desc)) : Date{};
}

bool number_fits(const Place& f, double value) {
    if (!f || f.desc->type != 'N') return true;
    // Far below what the field's whole digits hold (a sign and the point
    // kept aside), it fits; near it, as the number would be written.
    static constexpr double kPowers[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6, 1e7,
                                         1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14};
    const int whole = f.desc->length - (f.desc->decimals > 0 ? f.desc->decimals + 1 : 0) - 1;
    if (whole > 0 && whole <= 15 && std::fabs(value) < kPowers[whole - 1] - 1) return true;
    return dbf::str_number(value, f.desc->length, f.desc->decimals).front() != '*';
}

// Each field of the stock the table has, with its value in `s`.
template <class Put>
void each_stock_field(const StockLayout& l, const StockFields& s, Put put) {
    if (l.ILOSC) put(l.ILOSC, s.ILOSC);
    if (l.B_R_I) put(l.B_R_I, s.B_R_I);
    if (l.B_R_I_SD) put(l.B_R_I_SD, s.B_R_I_SD);
    if (l.ILOSC_SD) put(l.ILOSC_SD, s.ILOSC_SD);
    if (l.DATA_PZ) put(l.DATA_PZ, s.DATA_PZ);
    if (l.DATA_SD) put(l.DATA_SD, s.DATA_SD);
}

}  // namespace

StockLayout::StockLayout(dbf::Table& t)
    : ILOSC(place_of(t, "ILOSC")),
      B_R_I(place_of(t, "B_R_I")),
      B_R_I_SD(place_of(t, "B_R_I_SD")),
      ILOSC_PZ(place_of(t, "ILOSC_PZ")),
      ILOSC_SD(place_of(t, "ILOSC_SD")),
      DATA_PZ(place_of(t, "DATA_PZ")),
      DATA_SD(place_of(t, "DATA_SD")),
      path_(t.path()) {
    for (const Place* f : {&ILOSC, &B_R_I, &B_R_I_SD, &ILOSC_SD, &DATA_PZ, &DATA_SD})
        for (int i = 1; *f && i <= t.index_count(); ++i)
            if (t.index(i).key_reads(f->desc->offset, f->desc->length)) outside_keys = false;
}

StockFields read_stock(const StockLayout& l, std::string_view record) {
    StockFields s;
    s.ILOSC = number_of(l.ILOSC, record);
    s.B_R_I = number_of(l.B_R_I, record);
    s.B_R_I_SD = number_of(l.B_R_I_SD, record);
    s.ILOSC_PZ = number_of(l.ILOSC_PZ, record);
    s.ILOSC_SD = number_of(l.ILOSC_SD, record);
    s.DATA_PZ = date_of(l.DATA_PZ, record);
    s.DATA_SD = date_of(l.DATA_SD, record);
    return s;
}

StockFields sell(const StockLayout& l, StockFields s, double q, Date sales_date) {
    s.ILOSC = dbf::round_decimal(s.ILOSC - q, 3);
    s.B_R_I = dbf::round_decimal(s.B_R_I + q, 3);
    if (l.B_R_I_SD) s.B_R_I_SD = dbf::round_decimal(s.B_R_I_SD + q, 3);
    // Sales since the last receipt: counted from the receipt's date on; a
    // receipt dated after these sales keeps its own count.
    if (l.DATA_PZ && l.ILOSC_SD && l.ILOSC_PZ && (s.DATA_PZ.empty() || s.DATA_PZ <= sales_date)) {
        if (s.ILOSC_PZ <= 0 && s.DATA_PZ.empty()) {
            s.DATA_PZ = sales_date;
            s.ILOSC_SD = 0;
        }
        if (s.ILOSC_SD > 99999999) s.ILOSC_SD = 0;
        else s.ILOSC_SD = dbf::round_decimal(s.ILOSC_SD + q, 3);
        if (l.DATA_SD) s.DATA_SD = sales_date;
    }
    return s;
}

bool stock_fits(const StockLayout& l, const StockFields& s) {
    return number_fits(l.ILOSC, s.ILOSC) && number_fits(l.B_R_I, s.B_R_I) && number_fits(l.B_R_I_SD, s.B_R_I_SD) &&
           number_fits(l.ILOSC_SD, s.ILOSC_SD);
}

void put_stock(dbf::Table& t, const StockLayout& l, const StockFields& s) {
    if (!l.ILOSC || !l.B_R_I) throw DbError("Brak pola ILOSC lub B_R_I w tabeli", t.path());
    each_stock_field(l, s, [&](const Place& f, const dbf::FieldValue& v) { t.put(f.pos, v); });
}

std::string with_stock(const StockLayout& l, std::string_view record, const StockFields& s) {
    if (!l.ILOSC || !l.B_R_I) throw DbError("Brak pola ILOSC lub B_R_I w tabeli", l.table_path());
    std::string out(record);
    each_stock_field(l, s,
                     [&](const Place& f, const dbf::FieldValue& v) { dbf::encode_field(*f.desc, v, out.data()); });
    return out;
}

}  // namespace durva
