#pragma once
// The sample's goods: a catalogue of everyday shop goods turned into goods
// records the way an office keeps them, with bar codes, several warehouses,
// price levels, stock and the quirks real goods tables have (names written
// in lower case, goods without a price, a few deleted records).
#include <cstddef>
#include <string>
#include <vector>

#include "common/date.h"
#include "random.h"

namespace durva::demo {

struct Good {
    char mag = '1';
    std::string indeks;  // up to 8 characters
    std::string nazwa;   // office code page, up to 30 bytes
    std::string jm;      // 3 characters
    double cena0 = 0, cena2 = 0, cena2m = 0, cena3 = 0, cenam = 0;
    std::string podatek0;  // "23", " 8", " 5", " 0", "ZW"
    std::string sww, pkwiu, kod13;
    double b_r_i = 0, ilosc_pz = 0, ilosc_sd = 0;
    Date data_pz, data_sd;
    std::string rd_pz, nrd_pz;
    bool deleted = false;

    // Stock on hand: the opening balance plus receipts minus sales.
    double ilosc() const { return b_r_i + ilosc_pz - ilosc_sd; }
    // Whole units are counted in pieces, the rest to three decimals.
    bool weighed() const;
};

// The VAT rate of a rate code as a number ("ZW" and blanks are 0).
double vat_rate(const std::string& podatek0);

// `count` goods: a few fixed ones first (the same in every sample, so that a
// walk-through can name them), then goods drawn from the catalogue. Sales
// dates fall between `first_day` and `today`.
std::vector<Good> make_goods(std::size_t count, Random& rng, Date first_day, Date today);

}  // namespace durva::demo
