#pragma once
// The fields of a goods record that a send reads, found once per table and
// then read straight from the record's bytes: a send reads every good of a
// large table, and looking fields up by name for each would cost more than
// the send itself.
#include <string_view>

#include "common/date.h"
#include "common/dbf/table.h"
#include "send/plu_record.h"

namespace durva {

class GoodsFields {
public:
    // `t` is the goods table or a copy of it; fields it lacks read as blank
    // (text), 0 (numbers) or the empty date.
    explicit GoodsFields(const dbf::Table& t);

    // Views into `record` (the current record's bytes), valid while it is.
    std::string_view text(std::string_view record, int field) const;
    double number(std::string_view record, int field) const;

    std::string_view mag(std::string_view r) const { return text(r, mag_); }
    std::string_view nazwa(std::string_view r) const { return text(r, nazwa_); }
    std::string_view kod13(std::string_view r) const { return text(r, kod13_); }
    std::string_view indeks(std::string_view r) const { return text(r, indeks_); }
    double ilosc(std::string_view r) const { return number(r, ilosc_); }
    double cena2(std::string_view r) const { return number(r, cena2_); }

    // The receipt fields of the date filter, when the table has all three.
    bool has_receipt_fields() const { return rd_pz_ && nrd_pz_ && data_pz_; }
    std::string_view rd_pz(std::string_view r) const { return text(r, rd_pz_); }
    Date data_pz(std::string_view r) const;

    // The good as the record rules read it; `nazwa` is the name to use.
    PluGood good(std::string_view record, std::string_view nazwa) const;
    // The same with CENA2 read already, and only the prices the rules read
    // with `settings` (the others 0 or none): a send decodes them for every good.
    PluGood good(std::string_view record, std::string_view nazwa, double cena2, const PluSettings& settings) const;

private:
    const dbf::FieldList& fields_;
    int mag_, indeks_, nazwa_, kod13_, ilosc_, cena2_, cena2m_, cena3_, podatek0_, rd_pz_, nrd_pz_, data_pz_;
};

}  // namespace durva
