#include "send/goods_fields.h"

#include "common/dbf/field_codec.h"

namespace durva {

GoodsFields::GoodsFields(const dbf::Table& t)
    : fields_(t.fields()),
      mag_(t.field_pos("MAG")),
      indeks_(t.field_pos("INDEKS")),
      nazwa_(t.field_pos("NAZWA")),
      kod13_(t.field_pos("KOD13")),
      ilosc_(t.field_pos("ILOSC")),
      cena2_(t.field_pos("CENA2")),
      cena2m_(t.field_pos("CENA2M")),
      cena3_(t.field_pos("CENA3")),
      podatek0_(t.field_pos("PODATEK0")),
      rd_pz_(t.field_pos("RD_PZ")),
      nrd_pz_(t.field_pos("NRD_PZ")),
      data_pz_(t.field_pos("DATA_PZ")) {}

std::string_view GoodsFields::text(std::string_view record, int field) const {
    if (field <= 0) return {};
    return dbf::field_bytes(record, fields_[static_cast<size_t>(field - 1)]);
}

double GoodsFields::number(std::string_view record, int field) const {
    if (field <= 0) return 0;
    return dbf::decode_number(text(record, field));
}

Date GoodsFields::data_pz(std::string_view r) const {
    if (data_pz_ <= 0) return {};
    return dbf::decode_date(text(r, data_pz_));
}

PluGood GoodsFields::good(std::string_view record, std::string_view nazwa) const {
    PluGood g;
    g.kod13 = text(record, kod13_);
    g.indeks = text(record, indeks_);
    g.nazwa = nazwa;
    g.podatek0 = text(record, podatek0_);
    g.cena2 = number(record, cena2_);
    g.cena2m = number(record, cena2m_);
    if (cena3_ > 0) g.cena3 = number(record, cena3_);
    return g;
}

PluGood GoodsFields::good(std::string_view record, std::string_view nazwa, double cena2,
                          const PluSettings& settings) const {
    PluGood g;
    g.kod13 = text(record, kod13_);
    g.indeks = text(record, indeks_);
    g.nazwa = nazwa;
    g.podatek0 = text(record, podatek0_);
    g.cena2 = cena2;
    if (settings.reads_lowest_price()) g.cena2m = number(record, cena2m_);
    if (cena3_ > 0 && settings.reads_third_price()) g.cena3 = number(record, cena3_);
    return g;
}

}  // namespace durva
