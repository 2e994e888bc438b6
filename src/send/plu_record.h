#pragma once
// One PLU record of the driver input file, built from one good by the rules
// every road of the send shares: the PLU code from the bar code (or the
// index), the checks that keep a good out of the register, the price of the
// chosen level, the VAT group and department, the flags and the two record
// forms. A good the register would refuse is rejected here, so the register
// never sees a record that spoils the whole transfer.
#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace durva {

// The road a send takes: all goods, the goods of receipt documents, or the
// goods of a promotion leaflet.
enum class SendRoad { Main, Documents, Leaflet };

// What the record rules read besides the good; gathered once per send.
struct PluSettings {
    bool jest_kod13 = true;           // the goods have bar codes (KOD13)
    bool drop_leading_zeros = false;  // J_KOD13ZN is "N"
    int price_levels = 1;             // J_POZIOM
    int level = 0;                    // M_POZIOM, the level chosen for this send
    // The rates of the register's tax groups A to F (J_PTUA..J_PTUF); a group
    // without a rate takes no goods.
    std::array<std::optional<std::string>, 6> vat_rates;
    bool shorten_28_codes = false;       // weighed goods "28xxxxx" go as their five digits
    bool kwir_flags = false;             // KWIR.TXT: the main send's flags are "01100"
    bool keep_national_letters = false;  // DAJ.PL: names go as they are
    bool long_form = false;              // the register's description contains "3000"

    // Whether the record of a good reads its lowest price (CENA2M) and its
    // third price (CENA3) at this send's level.
    bool reads_lowest_price() const { return price_levels > 1 && level > 1; }
    bool reads_third_price() const { return level == 0; }
};

// The fields of one good the rules read. For the main send the name is the
// already cleaned one of the sorted copy; the other roads pass the goods
// table's own name and it is cleaned here.
struct PluGood {
    std::string_view kod13;  // ignored when the goods have no bar codes
    std::string_view indeks;
    std::string_view nazwa;  // the whole field; the long form carries it at its full width
    std::string_view podatek0;
    double cena2 = 0;
    double cena2m = 0;
    std::optional<double> cena3;  // only when the goods table has the field
};

enum class PluRejection {
    None,
    PriceNotPositive,  // main send: no selling price
    NegativePrice,     // a selling price below zero, or a level that falls below zero
    VatAbove23,        // a VAT rate above 23
    NoCode,            // no digits, or only zeros
    RepeatsPrevious,   // the code just accepted begins with this code
    PriceTooLong,      // the price does not fit the register's ten positions
    NoVatGroup,        // the VAT rate belongs to no tax group
};

struct PluRecord {
    PluRejection rejection = PluRejection::None;
    std::string code;  // the PLU code
    std::string text;  // the whole record line, without its line break
    std::string key;   // the good's code in the sent-record table: KOD13, or INDEKS and five blanks
    bool accepted() const { return rejection == PluRejection::None; }
};

// The previous code a road starts from, so that no first code is refused.
inline constexpr std::string_view kNoPreviousCode = "xxxxxxxxxxx";

// Builds the record of `good` for `road`. `previous_code` is the code of the
// good accepted just before on the same road; it becomes this good's code once
// the code checks pass (even when a later rule rejects the good).
PluRecord build_plu_record(const PluSettings& settings, const PluGood& good, SendRoad road,
                           std::string& previous_code);
// The same into `record`, whose texts keep their room from one good to the
// next: the main send builds one for every good of the table.
void build_plu_record(const PluSettings& settings, const PluGood& good, SendRoad road, std::string& previous_code,
                      PluRecord& record);

// A good's code in the sent-record table (a PluRecord's key) into `key`.
void plu_sent_key(const PluSettings& settings, std::string_view kod13, std::string_view indeks, std::string& key);

// The PLU code alone (bar code or index digits, then the shortening of
// weighed goods' codes).
std::string plu_code(const PluSettings& settings, const PluGood& good);

// The price text: the price in grosze, without leading blanks; empty when it
// does not fit ten positions.
std::string plu_price_text(double price);

}  // namespace durva
