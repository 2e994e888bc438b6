#include "send/plu_record.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "send/name_cleaning.h"

namespace durva {
namespace {

// A register of the usual short form with the rates of the sample offices.
PluSettings usual_settings() {
    PluSettings st;
    st.vat_rates = {std::string("23"), std::string(" 8"), std::string(" 5"), std::string(" 0"), std::nullopt,
                    std::nullopt};
    return st;
}

struct Good {
    std::string kod13 = "5901234123457";
    std::string indeks = "10001   ";
    std::string nazwa = "CUKIER BIALY KRYSZTAL 1KG     ";
    std::string podatek0 = "23";
    double cena2 = 3.49, cena2m = 0;
    std::optional<double> cena3;
    PluGood view() const { return {kod13, indeks, nazwa, podatek0, cena2, cena2m, cena3}; }
};

struct Case {
    const char* what;
    std::function<void(PluSettings&, Good&)> change;
    SendRoad road;
    std::string expected;  // the record line, or "-" followed by the rejection's number
    PluRejection rejection = PluRejection::None;
};

PluRecord build(const Case& c, std::string previous = std::string(kNoPreviousCode)) {
    PluSettings st = usual_settings();
    Good g;
    if (c.change) c.change(st, g);
    return build_plu_record(st, g.view(), c.road, previous);
}

TEST(PluRecord, RecordsOfTheThreeRoads) {
    const std::vector<Case> cases = {
        {"short form", {}, SendRoad::Main, "I;1;5901234123457;CUKIER BIALY KRYSZ;349;A;3;11100;01;00;;"},
        {"long form carries the whole padded name",
         [](PluSettings& st, Good&) { st.long_form = true; }, SendRoad::Main,
         "I#00;1;5901234123457;0;CUKIER BIALY KRYSZTAL 1KG     ;349;A;3;11100;01;00;;00;0;"},
        {"short name padded to 18", [](PluSettings&, Good& g) { g.nazwa = "SOL 1KG" + std::string(23, ' '); },
         SendRoad::Main, "I;1;5901234123457;SOL 1KG           ;349;A;3;11100;01;00;;"},
        {"document road cleans the name, not trimmed",
         [](PluSettings&, Good& g) { g.nazwa = std::string(" \x8F\x86 \x9C\x92 \x98\x9E \xA1\xA7\xA0\xA6 abc 1L  "); },
         SendRoad::Documents, "I;1;5901234123457; CC LL SS ZZZZ  1L;349;A;3;11100;01;00;;"},
        {"cleaned name shorter than the field is padded in the long form",
         [](PluSettings& st, Good& g) {
             st.long_form = true;
             g.nazwa = "Olej 1L" + std::string(23, ' ');
         },
         SendRoad::Leaflet, "I#00;1;5901234123457;0;O 1L" + std::string(26, ' ') + ";349;A;3;11100;01;00;;00;0;"},
        {"lower-case name goes blank on the document road",
         [](PluSettings&, Good& g) { g.nazwa = "maka zytnia" + std::string(19, ' '); }, SendRoad::Documents,
         "I;1;5901234123457;" + std::string(18, ' ') + ";349;A;3;11100;01;00;;"},
        {"DAJ.PL keeps national and lower-case letters",
         [](PluSettings& st, Good& g) {
             st.keep_national_letters = true;
             g.nazwa = "M\x86ka \xA7ytnia" + std::string(19, ' ');
         },
         SendRoad::Leaflet, "I;1;5901234123457;M\x86ka \xA7ytnia       ;349;A;3;11100;01;00;;"},
        {"a field separator in a name does not split the record",
         [](PluSettings&, Good& g) { g.nazwa = "SOK;JABLKO" + std::string(20, ' '); }, SendRoad::Main,
         "I;1;5901234123457;SOK,JABLKO        ;349;A;3;11100;01;00;;"},
        {"KWIR flags on the main send", [](PluSettings& st, Good&) { st.kwir_flags = true; }, SendRoad::Main,
         "I;1;5901234123457;CUKIER BIALY KRYSZ;349;A;3;01100;01;00;;"},
        {"KWIR flags never on documents", [](PluSettings& st, Good&) { st.kwir_flags = true; },
         SendRoad::Documents, "I;1;5901234123457;CUKIER BIALY KRYSZ;349;A;3;11100;01;00;;"},
        {"leading zero kept", [](PluSettings&, Good& g) { g.kod13 = "0590123412345"; }, SendRoad::Main,
         "I;1;0590123412345;CUKIER BIALY KRYSZ;349;A;3;11100;01;00;;"},
        {"leading zeros dropped with J_KOD13ZN N",
         [](PluSettings& st, Good& g) {
             st.drop_leading_zeros = true;
             g.kod13 = "0012345678905";
         },
         SendRoad::Main, "I;1;12345678905;CUKIER BIALY KRYSZ;349;A;3;11100;01;00;;"},
        {"short code ends at the blank", [](PluSettings&, Good& g) { g.kod13 = "12345        "; }, SendRoad::Main,
         "I;1;12345;CUKIER BIALY KRYSZ;349;A;3;11100;01;00;;"},
        {"letters end the code", [](PluSettings&, Good& g) { g.kod13 = "12A4567890123"; }, SendRoad::Main,
         "I;1;12;CUKIER BIALY KRYSZ;349;A;3;11100;01;00;;"},
        {"weighed good shortened", [](PluSettings& st, Good& g) { st.shorten_28_codes = true; g.kod13 = "2800017      "; },
         SendRoad::Main, "I;1;00017;CUKIER BIALY KRYSZ;349;A;3;11100;01;00;;"},
        {"only seven-digit 28 codes are shortened",
         [](PluSettings& st, Good& g) { st.shorten_28_codes = true; g.kod13 = "28000170     "; }, SendRoad::Main,
         "I;1;28000170;CUKIER BIALY KRYSZ;349;A;3;11100;01;00;;"},
        {"code from the index without bar codes",
         [](PluSettings& st, Good& g) { st.jest_kod13 = false; g.indeks = "00750660"; }, SendRoad::Main,
         "I;1;00750660;CUKIER BIALY KRYSZ;349;A;3;11100;01;00;;"},
        {"level 2 of 3", [](PluSettings& st, Good& g) { st.price_levels = 3; st.level = 2; g.cena2 = 10; g.cena2m = 7; },
         SendRoad::Main, "I;1;5901234123457;CUKIER BIALY KRYSZ;850;A;3;11100;01;00;;"},
        {"level 3 of 3", [](PluSettings& st, Good& g) { st.price_levels = 3; st.level = 3; g.cena2 = 10; g.cena2m = 7; },
         SendRoad::Main, "I;1;5901234123457;CUKIER BIALY KRYSZ;700;A;3;11100;01;00;;"},
        {"level 5 of 3 goes on below", [](PluSettings& st, Good& g) { st.price_levels = 3; st.level = 5; g.cena2 = 10; g.cena2m = 7; },
         SendRoad::Main, "I;1;5901234123457;CUKIER BIALY KRYSZ;400;A;3;11100;01;00;;"},
        {"level rounded", [](PluSettings& st, Good& g) { st.price_levels = 4; st.level = 2; g.cena2 = 10; g.cena2m = 9; },
         SendRoad::Main, "I;1;5901234123457;CUKIER BIALY KRYSZ;967;A;3;11100;01;00;;"},
        {"no lowest price: level 1", [](PluSettings& st, Good&) { st.price_levels = 3; st.level = 3; },
         SendRoad::Main, "I;1;5901234123457;CUKIER BIALY KRYSZ;349;A;3;11100;01;00;;"},
        {"level 0 takes CENA3", [](PluSettings&, Good& g) { g.cena3 = 2.99; }, SendRoad::Main,
         "I;1;5901234123457;CUKIER BIALY KRYSZ;299;A;3;11100;01;00;;"},
        {"level 1 ignores CENA3", [](PluSettings& st, Good& g) { st.level = 1; g.cena3 = 2.99; }, SendRoad::Main,
         "I;1;5901234123457;CUKIER BIALY KRYSZ;349;A;3;11100;01;00;;"},
        {"CENA3 zero gives CENA2", [](PluSettings&, Good& g) { g.cena3 = 0.0; }, SendRoad::Main,
         "I;1;5901234123457;CUKIER BIALY KRYSZ;349;A;3;11100;01;00;;"},
        {"document road sends a zero price", [](PluSettings&, Good& g) { g.cena2 = 0; }, SendRoad::Documents,
         "I;1;5901234123457;CUKIER BIALY KRYSZ;0;A;3;11100;01;00;;"},
        {"leaflet road: CENA3 over a zero price", [](PluSettings&, Good& g) { g.cena2 = 0; g.cena3 = 1.5; },
         SendRoad::Leaflet, "I;1;5901234123457;CUKIER BIALY KRYSZ;150;A;3;11100;01;00;;"},
        {"price under a zloty", [](PluSettings&, Good& g) { g.cena2 = 0.99; }, SendRoad::Main,
         "I;1;5901234123457;CUKIER BIALY KRYSZ;99;A;3;11100;01;00;;"},
        {"half a grosz rounds up", [](PluSettings&, Good& g) { g.cena2 = 0.285; }, SendRoad::Main,
         "I;1;5901234123457;CUKIER BIALY KRYSZ;29;A;3;11100;01;00;;"},
        {"largest price that fits", [](PluSettings&, Good& g) { g.cena2 = 99999999.99; }, SendRoad::Main,
         "I;1;5901234123457;CUKIER BIALY KRYSZ;9999999999;A;3;11100;01;00;;"},
        {"rate B", [](PluSettings&, Good& g) { g.podatek0 = " 8"; }, SendRoad::Main,
         "I;1;5901234123457;CUKIER BIALY KRYSZ;349;B;3;11100;02;00;;"},
        {"rate 0 to the first group holding it", [](PluSettings& st, Good& g) { st.vat_rates[4] = " 0"; g.podatek0 = " 0"; },
         SendRoad::Main, "I;1;5901234123457;CUKIER BIALY KRYSZ;349;D;3;11100;04;00;;"},
        {"group F", [](PluSettings& st, Good& g) { st.vat_rates[5] = "22"; g.podatek0 = "22"; }, SendRoad::Main,
         "I;1;5901234123457;CUKIER BIALY KRYSZ;349;F;3;11100;06;00;;"},
        {"exempt goods", [](PluSettings&, Good& g) { g.podatek0 = "ZW"; }, SendRoad::Main,
         "I;1;5901234123457;CUKIER BIALY KRYSZ;349;Z;3;11100;07;00;;"},
        {"an empty rate takes every good", [](PluSettings& st, Good& g) { st.vat_rates[0] = ""; g.podatek0 = "ZW"; },
         SendRoad::Main, "I;1;5901234123457;CUKIER BIALY KRYSZ;349;A;3;11100;01;00;;"},

        {"main send: no price", [](PluSettings&, Good& g) { g.cena2 = 0; }, SendRoad::Main, "",
         PluRejection::PriceNotPositive},
        {"negative price", [](PluSettings&, Good& g) { g.cena2 = -1; }, SendRoad::Documents, "",
         PluRejection::NegativePrice},
        {"a level below zero", [](PluSettings& st, Good& g) { st.price_levels = 3; st.level = 9; g.cena2 = 10; g.cena2m = 7; },
         SendRoad::Main, "", PluRejection::NegativePrice},
        {"rate above 23 even when a group holds it",
         [](PluSettings& st, Good& g) { st.vat_rates[5] = "30"; g.podatek0 = "30"; }, SendRoad::Main, "",
         PluRejection::VatAbove23},
        {"rate in no group", [](PluSettings&, Good& g) { g.podatek0 = " 7"; }, SendRoad::Main, "",
         PluRejection::NoVatGroup},
        {"blank rate in no group", [](PluSettings&, Good& g) { g.podatek0 = "  "; }, SendRoad::Main, "",
         PluRejection::NoVatGroup},
        {"bar code starting with a blank", [](PluSettings&, Good& g) { g.kod13 = " 590123412345"; }, SendRoad::Main,
         "", PluRejection::NoCode},
        {"bar code of letters", [](PluSettings&, Good& g) { g.kod13 = "ABCDEFGHIJKLM"; }, SendRoad::Leaflet, "",
         PluRejection::NoCode},
        {"only zeros", [](PluSettings&, Good& g) { g.kod13 = "0000000      "; }, SendRoad::Main, "",
         PluRejection::NoCode},
        {"weighed code of zeros", [](PluSettings& st, Good& g) { st.shorten_28_codes = true; g.kod13 = "2800000      "; },
         SendRoad::Main, "", PluRejection::NoCode},
        {"index of letters", [](PluSettings& st, Good& g) { st.jest_kod13 = false; g.indeks = "MAK-949 "; },
         SendRoad::Main, "", PluRejection::NoCode},
        {"twelve-digit price", [](PluSettings&, Good& g) { g.cena2 = 123456789012.0; }, SendRoad::Main, "",
         PluRejection::PriceTooLong},
        {"price just over ten positions", [](PluSettings&, Good& g) { g.cena2 = 100000000.0; }, SendRoad::Documents,
         "", PluRejection::PriceTooLong},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const PluRecord r = build(c);
        EXPECT_EQ(r.rejection, c.rejection);
        EXPECT_EQ(r.text, c.expected);
    }
}

TEST(PluRecord, PreviousCodeRejectsACodeTheLastOneBeginsWith) {
    PluSettings st = usual_settings();
    Good longer, shorter;
    longer.kod13 = "123          ";
    shorter.kod13 = "12           ";
    for (SendRoad road : {SendRoad::Main, SendRoad::Documents, SendRoad::Leaflet}) {
        std::string previous(kNoPreviousCode);
        EXPECT_TRUE(build_plu_record(st, longer.view(), road, previous).accepted());
        EXPECT_EQ(previous, "123");
        const PluRecord second = build_plu_record(st, shorter.view(), road, previous);
        // Each leaflet row is judged alone.
        EXPECT_EQ(second.accepted(), road == SendRoad::Leaflet);
        if (road != SendRoad::Leaflet) {
            EXPECT_EQ(second.rejection, PluRejection::RepeatsPrevious);
        }

        previous = kNoPreviousCode;
        EXPECT_TRUE(build_plu_record(st, shorter.view(), road, previous).accepted());
        EXPECT_TRUE(build_plu_record(st, longer.view(), road, previous).accepted());
    }
}

TEST(PluRecord, AGoodRejectedForItsRateStillCountsAsPrevious) {
    PluSettings st = usual_settings();
    Good no_group, same;
    no_group.podatek0 = " 7";
    std::string previous(kNoPreviousCode);
    EXPECT_EQ(build_plu_record(st, no_group.view(), SendRoad::Main, previous).rejection, PluRejection::NoVatGroup);
    EXPECT_EQ(previous, "5901234123457");
    EXPECT_EQ(build_plu_record(st, same.view(), SendRoad::Main, previous).rejection,
              PluRejection::RepeatsPrevious);
    // A code rejection leaves the previous code alone.
    Good blank_code;
    blank_code.kod13 = std::string(13, ' ');
    previous = "999";
    build_plu_record(st, blank_code.view(), SendRoad::Main, previous);
    EXPECT_EQ(previous, "999");
}

TEST(PluRecord, SentRecordKeyIsTheStoredCodeOrTheIndex) {
    PluSettings st = usual_settings();
    Good g;
    g.kod13 = "2812345      ";
    st.shorten_28_codes = true;
    std::string previous(kNoPreviousCode);
    PluRecord r = build_plu_record(st, g.view(), SendRoad::Main, previous);
    EXPECT_EQ(r.code, "12345");
    EXPECT_EQ(r.key, "2812345      ");

    st.jest_kod13 = false;
    g.indeks = "1234    ";
    previous = kNoPreviousCode;
    r = build_plu_record(st, g.view(), SendRoad::Main, previous);
    EXPECT_EQ(r.key, "1234" + std::string(9, ' '));
}

TEST(NameCleaning, NationalLettersOfBothCodePagesBecomePlainLetters) {
    struct Row {
        std::string bytes;
        char letter;
    };
    const std::vector<Row> rows = {
        {"\xA5\xA4", 'A'},         {"\x8F\x86\x95\x8D", 'C'}, {"\x90\x91\xA8\xA9", 'E'},
        {"\x9C\x92\x9D\x88", 'L'}, {"\xE3\xE4", 'N'},         {"\xA3\xA2\xE0", 'O'},
        {"\x98\x9E\x97", 'S'},     {"\xA1\xA7\xBD\xBE", 'Z'}, {"\xA0\xA6\xAB", 'Z'},
    };
    for (const Row& r : rows) EXPECT_EQ(clean_goods_name(r.bytes), std::string(r.bytes.size(), r.letter));
}

TEST(NameCleaning, KeepsWhatTheRegisterShowsAndDropsTheRest) {
    EXPECT_EQ(clean_goods_name("1234567890QWERTYUIOPASDFGHJKLZXCVBNM.,-+*();:/<>$%! "),
              "1234567890QWERTYUIOPASDFGHJKLZXCVBNM.,-+*();:/<>$%! ");
    EXPECT_EQ(clean_goods_name(" Cwik\x92" "a z chrzanem 300g  "), " CL   300  ");
    EXPECT_EQ(clean_goods_name("a\"#&'=?@[]_{}|~\x01\x7F\xFF\x80z"), "");
    EXPECT_EQ(clean_goods_name(""), "");
}

}  // namespace
}  // namespace durva
