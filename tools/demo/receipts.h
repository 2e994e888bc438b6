#pragma once
// Receipt documents ("PZ "): deliveries from suppliers during the month,
// booked into the goods as the office's other programs book them (the
// quantity added to the receipts and the stock, and, where the goods table
// keeps them, the type, number and date of the good's last receipt).
#include <cstddef>
#include <string>
#include <vector>

#include "common/date.h"
#include "goods.h"
#include "random.h"

namespace durva::demo {

struct ReceiptRow {
    std::size_t good;  // position in the goods list
    double ilosc = 0;
    double wartosc = 0;  // ILOSC x CENA, 2 decimals
    double podatek = 0;  // the VAT in it, 4 decimals
};

struct Receipt {
    int number = 0;
    Date date;
    char mag = '1';
    std::string supplier;  // office code page
    std::string time;      // "HH:MM:SS" of booking
    std::vector<ReceiptRow> rows;

    double netto() const;
    double vat() const;  // the rows' VAT, 2 decimals
};

// Document numbers as the documents tables hold them: right-aligned in 8.
std::string document_number(int number);

// Makes the month's receipts (in date order, numbered from 1) and books them
// into `goods`; `last_receipt_fields` false for the older goods layout.
std::vector<Receipt> make_receipts(std::vector<Good>& goods, Random& rng, Date first_day, Date today,
                                   bool last_receipt_fields);

}  // namespace durva::demo
