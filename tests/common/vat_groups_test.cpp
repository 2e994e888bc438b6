#include "common/vat_groups.h"

#include <gtest/gtest.h>

namespace durva {
namespace {

using Rate = std::optional<std::string>;

TEST(VatGroups, AbsentSettingsTakeTheCountrysRatesAndEAndFNone) {
    const Memvars none;
    const std::vector<Rate> usual = {"23", " 8", " 5", " 0", std::nullopt, std::nullopt, "ZW"};
    for (int g = 0; g < kVatGroupCount; ++g) EXPECT_EQ(vat_group_rate(none, g), usual[static_cast<size_t>(g)]) << g;
    EXPECT_EQ(vat_group_rate(none, -1), std::nullopt);
    EXPECT_EQ(vat_group_rate(none, kVatGroupCount), std::nullopt);
}

TEST(VatGroups, StoredTextsAreTakenAsTheyAreOtherTypesAsAbsent) {
    Memvars v;
    v.set_text("J_PTUA", "22");
    v.set_text("J_PTUB", "");    // empty: every rate begins with it, kept as stored
    v.set_number("J_PTUC", 5);   // not a text: as if absent
    v.set_text("J_PTUE", " 7");
    v.set_text("J_PTUZ", " 0");
    EXPECT_EQ(vat_group_rate(v, 0), "22");
    EXPECT_EQ(vat_group_rate(v, 1), "");
    EXPECT_EQ(vat_group_rate(v, 2), " 5");
    EXPECT_EQ(vat_group_rate(v, 3), " 0");
    EXPECT_EQ(vat_group_rate(v, 4), " 7");
    EXPECT_EQ(vat_group_rate(v, 5), std::nullopt);
    EXPECT_EQ(vat_group_rate(v, 6), " 0");
}

TEST(VatGroups, Letters) {
    std::string letters;
    for (int g = -1; g <= kVatGroupCount; ++g) letters += vat_group_letter(g);
    EXPECT_EQ(letters, "?ABCDEFZ?");
}

}  // namespace
}  // namespace durva
