#include "receive/stock_change.h"

#include "common/dbf/field_codec.h"
#include "common/dbf/xbase_values.h"
#include "platform/errors.h"

namespace durva {

namespace {

bool has(const dbf::Table& t, std::string_view field) { return t.field_pos(field) != 0; }

const dbf::FieldDesc* field(const dbf::Table& t, std::string_view name) {
    int pos = t.field_pos(name);
    return pos == 0 ? nullptr : &t.fields()[static_cast<size_t>(pos - 1)];
}

double number_of(const dbf::Table& t, std::string_view record, std::string_view name) {
    const dbf::FieldDesc* f = field(t, name);
    return f && f->type == 'N' ? dbf::decode_number(dbf::field_bytes(record, *f)) : 0.0;
}

Date date_of(const dbf::Table& t, std::string_view record, std::string_view name) {
    const dbf::FieldDesc* f = field(t, name);
    return f && f->type == 'D' ? dbf::decode_date(dbf::field_bytes(record, *f)) : Date{};
}

bool number_fits(const dbf::Table& t, std::string_view name, double value) {
    const dbf::FieldDesc* f = field(t, name);
    return !f || f->type != 'N' || dbf::str_number(value, f->length, f->decimals).front() != '*';
}

}  // namespace

StockFields read_stock(const dbf::Table& t, std::string_view record) {
    StockFields s;
    s.ILOSC = number_of(t, record, "ILOSC");
    s.B_R_I = number_of(t, record, "B_R_I");
    s.B_R_I_SD = number_of(t, record, "B_R_I_SD");
    s.ILOSC_PZ = number_of(t, record, "ILOSC_PZ");
    s.ILOSC_SD = number_of(t, record, "ILOSC_SD");
    s.DATA_PZ = date_of(t, record, "DATA_PZ");
    s.DATA_SD = date_of(t, record, "DATA_SD");
    return s;
}

StockFields sell(const dbf::Table& t, StockFields s, double q, Date sales_date) {
    s.ILOSC = dbf::round_decimal(s.ILOSC - q, 3);
    s.B_R_I = dbf::round_decimal(s.B_R_I + q, 3);
    if (has(t, "B_R_I_SD")) s.B_R_I_SD = dbf::round_decimal(s.B_R_I_SD + q, 3);
    // Sales since the last receipt: counted from the receipt's date on; a
    // receipt dated after these sales keeps its own count.
    if (has(t, "DATA_PZ") && has(t, "ILOSC_SD") && has(t, "ILOSC_PZ") &&
        (s.DATA_PZ.empty() || s.DATA_PZ <= sales_date)) {
        if (s.ILOSC_PZ <= 0 && s.DATA_PZ.empty()) {
            s.DATA_PZ = sales_date;
            s.ILOSC_SD = 0;
        }
        if (s.ILOSC_SD > 99999999) s.ILOSC_SD = 0;
        else s.ILOSC_SD = dbf::round_decimal(s.ILOSC_SD + q, 3);
        if (has(t, "DATA_SD")) s.DATA_SD = sales_date;
    }
    return s;
}

bool stock_fits(const dbf::Table& t, const StockFields& s) {
    return number_fits(t, "ILOSC", s.ILOSC) && number_fits(t, "B_R_I", s.B_R_I) &&
           number_fits(t, "B_R_I_SD", s.B_R_I_SD) && number_fits(t, "ILOSC_SD", s.ILOSC_SD);
}

namespace {

// Each field of the stock the table has, with its value in `s`.
template <class Put>
void each_stock_field(const dbf::Table& t, const StockFields& s, Put put) {
    put("ILOSC", s.ILOSC);
    put("B_R_I", s.B_R_I);
    if (has(t, "B_R_I_SD")) put("B_R_I_SD", s.B_R_I_SD);
    if (has(t, "ILOSC_SD")) put("ILOSC_SD", s.ILOSC_SD);
    if (has(t, "DATA_PZ")) put("DATA_PZ", s.DATA_PZ);
    if (has(t, "DATA_SD")) put("DATA_SD", s.DATA_SD);
}

}  // namespace

void put_stock(dbf::Table& t, const StockFields& s) {
    each_stock_field(t, s, [&](std::string_view name, const dbf::FieldValue& v) { t.put(name, v); });
}

std::string with_stock(const dbf::Table& t, std::string_view record, const StockFields& s) {
    std::string out(record);
    each_stock_field(t, s, [&](std::string_view name, const dbf::FieldValue& v) {
        // As put() does: a field the table lacks is refused, not skipped.
        const dbf::FieldDesc* f = field(t, name);
        if (!f) throw DbError("Brak pola " + std::string(name) + " w tabeli", t.path());
        dbf::encode_field(*f, v, out.data());
    });
    return out;
}

}  // namespace durva
