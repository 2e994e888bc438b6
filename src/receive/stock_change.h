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

// Where a goods table keeps the stock fields, found once for a booking's
// thousands of changes (a field the table lacks has no place).
class StockLayout {
public:
    explicit StockLayout(dbf::Table& goods);

    struct Place {
        int pos = 0;  // 1-based; 0 when the table lacks the field
        const dbf::FieldDesc* desc = nullptr;
        explicit operator bool() const { return pos != 0; }
    };
    Place ILOSC, B_R_I, B_R_I_SD, ILOSC_PZ, ILOSC_SD, DATA_PZ, DATA_SD;
    // No index open on the table has a stock field in its key: a stock
    // change leaves every key as it was.
    bool outside_keys = true;
    const std::string& table_path() const { return path_; }

private:
    std::string path_;
};

// The stock fields of a record's bytes (fields the table lacks read as blank).
StockFields read_stock(const StockLayout& goods, std::string_view record);

// The fields after selling `quantity` on `sales_date`.
StockFields sell(const StockLayout& goods, StockFields before, double quantity, Date sales_date);

// True when every changed field can hold its new value.
bool stock_fits(const StockLayout& goods, const StockFields& after);

// Writes the fields the table has into its current, locked record.
void put_stock(dbf::Table& goods, const StockLayout& layout, const StockFields& after);

// The bytes `record` has once put_stock() wrote `after` into it.
std::string with_stock(const StockLayout& goods, std::string_view record, const StockFields& after);

}  // namespace durva
