#include "receipts.h"

#include <algorithm>
#include <cstdio>
#include <set>

#include "common/dbf/xbase_values.h"
#include "common/screen/codepage.h"

namespace durva::demo {

namespace {

const char* const kSuppliers[] = {
    "HURTOWNIA SPOŻYWCZA ŁAN SP. Z O.O.", "P.H. GÓRSKI I SYNOWIE",  "ZAKŁADY MIĘSNE POD DĘBEM",
    "SPÓŁDZIELNIA MLECZARSKA ŁĄKA",       "PIEKARNIA ZŁOTY KŁOS",   "CHEMIA DOMOWA ŚWIT S.C.",
    "OGRODNICTWO ZIELEŃ",                 "HURT-POL DYSTRYBUCJA",
};

}  // namespace

std::string document_number(int number) { return dbf::str_number(number, 8, 0); }

double Receipt::netto() const {
    double sum = 0;
    for (const ReceiptRow& r : rows) sum += r.wartosc;
    return dbf::round_decimal(sum, 2);
}

double Receipt::vat() const {
    double sum = 0;
    for (const ReceiptRow& r : rows) sum += r.podatek;
    return dbf::round_decimal(sum, 2);
}

std::vector<Receipt> make_receipts(std::vector<Good>& goods, Random& rng, Date first_day, Date today,
                                   bool last_receipt_fields) {
    // The goods each warehouse that takes deliveries holds.
    const char kWarehouses[] = {'1', '2', '3'};
    std::vector<std::size_t> stocked[3];
    for (std::size_t i = 0; i < goods.size(); ++i) {
        const Good& g = goods[i];
        const char* w = std::find(std::begin(kWarehouses), std::end(kWarehouses), g.mag);
        if (!g.deleted && w != std::end(kWarehouses)) stocked[w - kWarehouses].push_back(i);
    }

    std::size_t count = std::clamp<std::size_t>(goods.size() / 200, 3, 40);
    std::vector<int> days;
    for (std::size_t i = 0; i < count; ++i)
        days.push_back(first_day.julian + static_cast<int>(rng.below(today.julian - first_day.julian + 1)));
    std::sort(days.begin(), days.end());

    std::vector<Receipt> receipts;
    for (std::size_t n = 0; n < count; ++n) {
        Receipt doc;
        doc.number = static_cast<int>(n) + 1;
        doc.date = Date{days[n]};
        int w = rng.chance(600) ? 0 : static_cast<int>(1 + rng.below(2));
        if (stocked[w].empty()) w = 0;
        if (stocked[w].empty()) break;
        doc.mag = kWarehouses[w];
        doc.supplier = screen::from_utf8(rng.pick(kSuppliers));
        char time[16];
        std::snprintf(time, sizeof time, "%02d:%02d:%02d", rng.between(7, 16), rng.between(0, 59), rng.between(0, 59));
        doc.time = time;

        std::set<std::size_t> taken;
        int lines = rng.between(3, 15);
        for (int l = 0; l < lines; ++l) {
            std::size_t gi = stocked[w][rng.below(stocked[w].size())];
            if (!taken.insert(gi).second) continue;
            Good& g = goods[gi];
            ReceiptRow row;
            row.good = gi;
            row.ilosc = g.weighed() ? rng.between(1000, 60'000) / 1000.0 : rng.between(5, 120);
            row.wartosc = dbf::round_decimal(row.ilosc * g.cena0, 2);
            row.podatek = dbf::round_decimal(row.wartosc * vat_rate(g.podatek0) / 100, 4);
            doc.rows.push_back(row);

            g.ilosc_pz += row.ilosc;
            if (last_receipt_fields) {
                g.rd_pz = "PZ ";
                g.nrd_pz = document_number(doc.number);
                g.data_pz = doc.date;
            }
        }
        receipts.push_back(std::move(doc));
    }
    return receipts;
}

}  // namespace durva::demo
