#pragma once
// The stock fields of a goods record that a sales row changes, and the change
// itself: stock on hand down by the quantity, sales up by it, and the sales
// since the last receipt where the goods table keeps them.
#include <string>
#include <string_view>

#include "common/date.h"
#include "common/dbf/table.h"

namespace durva {

struct StockFields {
    double ILOSC = 0, B_R_I = 0, B_R_I_SD = 0, ILOSC_PZ = 0, ILOSC_SD = 0;
    Date DATA_PZ, DATA_SD;
    friend bool operator==(const StockFields&, const StockFields&) = default;
};

// The stock fields of a record's bytes (fields the table lacks read as blank).
StockFields read_stock(const dbf::Table& goods, std::string_view record);

// The fields after selling `quantity` on `sales_date`.
StockFields sell(const dbf::Table& goods, StockFields before, double quantity, Date sales_date);

// True when every changed field can hold its new value.
bool stock_fits(const dbf::Table& goods, const StockFields& after);

// Writes the fields the table has into its current, locked record.
void put_stock(dbf::Table& goods, const StockFields& after);

// The bytes `record` has once put_stock() wrote `after` into it.
std::string with_stock(const dbf::Table& goods, std::string_view record, const StockFields& after);

}  // namespace durva
