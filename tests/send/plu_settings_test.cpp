#include "send/plu_settings.h"

#include <gtest/gtest.h>

#include <fstream>

#include "common/vat_groups.h"
#include "support/current_folder.h"
#include "support/fixture_folder.h"
#include "support/headless_session.h"

namespace durva {
namespace {

struct Office {
    Office() : folder("kod13"), here(folder.path()) {
        h.session.areas.select(1);
        h.session.areas.use("firma", "firma", platform::Share::Exclusive);
    }
    void company(const std::string& nodb, const std::string& nodb1) {
        dbf::Table& firma = h.session.areas.table("firma");
        firma.put("NODB", nodb);
        firma.put("NODB1", nodb1);
    }
    void marker(const char* name) { std::ofstream(folder.file(name)) << ""; }
    PluSettings settings(int level = 0) { return plu_settings(h.session, menu, level); }

    test::TempFolder folder;
    test::CurrentFolder here;
    testing::HeadlessSession h;
    MenuValues menu;
};

TEST(PluSettings, WeighedCodesShortenedForWolixButNeverForZelmont) {
    Office o;
    EXPECT_FALSE(o.settings().shorten_28_codes);
    o.company("Sklep wolix", "");  // the name is compared in upper case
    EXPECT_TRUE(o.settings().shorten_28_codes);
    o.company("HURTOWNIA", "Wolix sp. j.");  // either name line
    EXPECT_TRUE(o.settings().shorten_28_codes);
    o.company("WOLIX", "Zelmont");
    EXPECT_FALSE(o.settings().shorten_28_codes);
    o.company("HURTOWNIA", "");
    o.marker("wolix.txt");
    EXPECT_TRUE(o.settings().shorten_28_codes);
    o.h.session.values.JEST_KOD13 = false;  // index codes are never shortened
    EXPECT_FALSE(o.settings().shorten_28_codes);
}

TEST(PluSettings, MarkerFilesAndTheRegisterDescription) {
    Office o;
    PluSettings st = o.settings();
    EXPECT_FALSE(st.kwir_flags || st.keep_national_letters || st.long_form);
    o.marker("KWIR.TXT");
    o.marker("daj.pl");
    o.menu.OPIS = "DURVA 3000 sklep";
    st = o.settings(4);
    EXPECT_TRUE(st.kwir_flags);
    EXPECT_TRUE(st.keep_national_letters);
    EXPECT_TRUE(st.long_form);
    EXPECT_EQ(st.level, 4);
}

TEST(PluSettings, NumbersFromTheParameterFile) {
    Office o;
    Memvars& v = o.h.session.vars;
    v.set_text("J_KOD13ZN", "N");
    v.set_number("J_POZIOM", 3);
    PluSettings st = o.settings();
    EXPECT_TRUE(st.drop_leading_zeros);
    EXPECT_EQ(st.price_levels, 3);
}

// The send files goods by the office's one rule for the groups' rates, the
// rule the stand browser's legend shows: absent settings, stored ones, empty
// and non-text ones alike.
TEST(PluSettings, RatesAreTheOfficesRatesOfTheGroups) {
    Office o;
    Memvars& v = o.h.session.vars;
    auto expect_same = [&](const char* when) {
        const PluSettings st = o.settings();
        for (int g = 0; g < 6; ++g) EXPECT_EQ(st.vat_rates[static_cast<size_t>(g)], vat_group_rate(v, g)) << when << g;
    };
    expect_same("nothing stored ");
    EXPECT_EQ(o.settings().vat_rates[0], "23");  // so the good of rate 23 still goes to A
    EXPECT_FALSE(o.settings().vat_rates[4]);     // and E takes nothing
    v.set_text("J_PTUA", "22");
    v.set_text("J_PTUE", "");
    v.set_number("J_PTUB", 8);
    v.set_text("J_PTUF", " 7");
    expect_same("some stored ");
    EXPECT_EQ(o.settings().vat_rates[4], "");
}

}  // namespace
}  // namespace durva
