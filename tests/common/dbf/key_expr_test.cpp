#include <gtest/gtest.h>

#include "common/dbf/key_expr.h"

namespace durva::dbf {
namespace {

// NAME C10, AMT N8.2, DAT D, OK L, MAG C1, INDEKS C8, KOD13 C13, ILE N5.
FieldList sample_fields() {
    FieldList f = {{"NAME", 'C', 10, 0, 0}, {"AMT", 'N', 8, 2, 0},   {"DAT", 'D', 8, 0, 0},
                   {"OK", 'L', 1, 0, 0},    {"MAG", 'C', 1, 0, 0},   {"INDEKS", 'C', 8, 0, 0},
                   {"KOD13", 'C', 13, 0, 0}, {"ILE", 'N', 5, 0, 0}};
    int off = 1;
    for (auto& d : f) {
        d.offset = off;
        off += d.length;
    }
    return f;
}

std::string record(const std::string& name, const std::string& amt, const std::string& dat, char ok,
                   const std::string& mag, const std::string& indeks, const std::string& kod, const std::string& ile) {
    auto pad = [](std::string s, size_t n) {
        s.resize(n, ' ');
        return s;
    };
    return " " + pad(name, 10) + pad(amt, 8) + pad(dat, 8) + std::string(1, ok) + pad(mag, 1) + pad(indeks, 8) +
           pad(kod, 13) + pad(ile, 5);
}

std::string text_of(const std::string& expr, const std::string& rec = "") {
    XValue v = KeyExpr::compile(expr, sample_fields()).eval(rec);
    EXPECT_EQ(v.type, XValue::Type::Char) << expr;
    return v.s;
}

double number_of(const std::string& expr, const std::string& rec = "") {
    XValue v = KeyExpr::compile(expr, sample_fields()).eval(rec);
    EXPECT_EQ(v.type, XValue::Type::Num) << expr;
    return v.n;
}

const std::string kRec = record("abc", "   12.50", "20240229", 'T', "1", "10001", "5901234123457", "   42");

TEST(KeyExpr, FieldsInAnyCaseWithAliasConcatenate) {
    EXPECT_EQ(text_of("MAG+INDEKS", kRec), "110001   ");
    EXPECT_EQ(text_of("mag + Indeks", kRec), "110001   ");
    EXPECT_EQ(text_of("AS->MAG+as->INDEKS", kRec), "110001   ");
    EXPECT_EQ(text_of("DTOS(DAT)+MAG", kRec), "202402291");
    // A record cut short reads as blanks, never past its end.
    EXPECT_EQ(text_of("INDEKS", kRec.substr(0, 24)), "        ");
    EXPECT_EQ(text_of("NAME", kRec.substr(0, 5)), "abc       ");
}

TEST(KeyExpr, TextFunctionsCutButNeverPad) {
    EXPECT_EQ(text_of("SUBSTR('ABCDEF    ',3,2)"), "CD");
    EXPECT_EQ(text_of("SUBSTR('ABC',2,10)"), "BC");
    EXPECT_EQ(text_of("SUBSTR('ABCDEF',-2)"), "EF");
    EXPECT_EQ(text_of("SUBSTR('ABCDEF',0,2)"), "AB");
    EXPECT_EQ(text_of("SUBSTR('ABC',4)"), "");
    EXPECT_EQ(text_of("SUBSTR('ABC',-10,2)"), "AB");
    EXPECT_EQ(text_of("SUBS(NAME,2,2)", kRec), "bc");  // four-letter abbreviation
    EXPECT_EQ(text_of("LEFT('AB',5)"), "AB");
    EXPECT_EQ(text_of("LEFT('ABC',0)"), "");
    EXPECT_EQ(text_of("LEFT('ABC',2)"), "AB");
    EXPECT_EQ(text_of("RIGHT('AB  ',3)"), "B  ");
    EXPECT_EQ(text_of("RIGHT('AB',-1)"), "");
    EXPECT_EQ(text_of("'AB  ' - 'CD '"), "ABCD   ");
    EXPECT_EQ(text_of("'    ' - 'CD'"), "CD    ");
}

TEST(KeyExpr, CaseAndTrimTouchOnlyAsciiAndBlanks) {
    // Mazovia letters (0x86 a-ogonek, 0xA7 z-dot) are left as they are.
    EXPECT_EQ(text_of("UPPER('m\x86ka \xA7ytnia')"), "M\x86KA \xA7YTNIA");
    EXPECT_EQ(text_of("LOWER('M\x8FKA Zz')"), "m\x8Fka zz");
    EXPECT_EQ(text_of("TRIM(' a \t  ')"), " a \t");
    EXPECT_EQ(text_of("RTRIM(NAME)+'|'", kRec), "abc|");
    EXPECT_EQ(text_of("LTRIM(' \t\r\nx ')"), "x ");
    EXPECT_EQ(text_of("ALLTRIM('  x  ')"), "x");
    EXPECT_EQ(text_of("PADL('AB',4)"), "  AB");
    EXPECT_EQ(text_of("PADL('ABC',2)"), "AB");
    EXPECT_EQ(text_of("PADR('AB',4,'*')"), "AB**");
    EXPECT_EQ(text_of("PADC('AB',5)"), " AB  ");
    EXPECT_EQ(text_of("PADC('ABCD',2)"), "AB");
    EXPECT_EQ(text_of("PADL(ILE,4)", kRec), "  42");
}

TEST(KeyExpr, StrStrzeroAndVal) {
    EXPECT_EQ(text_of("STR(AMT)", record("", "", "", ' ', "", "", "", "")), "    0.00");
    EXPECT_EQ(text_of("STR(AMT)", kRec), "   12.50");
    EXPECT_EQ(text_of("STR(42)"), "        42");
    EXPECT_EQ(text_of("STR(12.5,4)"), "  13");
    EXPECT_EQ(text_of("STR(-12.5,4)"), " -13");
    EXPECT_EQ(text_of("STR(12345,3)"), "***");
    EXPECT_EQ(text_of("STR(12.5,8,2)"), "   12.50");
    EXPECT_EQ(text_of("STR(-0.5,5,2)"), "-0.50");
    EXPECT_EQ(text_of("STR(-0.001,5,2)"), " 0.00");
    EXPECT_EQ(text_of("STR(-183.75,10,2)"), "   -183.75");
    EXPECT_EQ(text_of("STRZERO(12.5,8,2)"), "00012.50");
    EXPECT_EQ(text_of("STRZERO(-5,4)"), "-005");
    EXPECT_EQ(text_of("STRZERO(-183.75,8,2)"), "-0183.75");
    EXPECT_EQ(text_of("STRZERO(ILE,7)", kRec), "0000042");
    EXPECT_DOUBLE_EQ(number_of("VAL('  12.50')"), 12.5);
    EXPECT_DOUBLE_EQ(number_of("VAL('1 2')"), 1);
    EXPECT_DOUBLE_EQ(number_of("VAL('***')"), 0);
    EXPECT_DOUBLE_EQ(number_of("VAL(STR(AMT)) * 2", kRec), 25);
}

TEST(KeyExpr, DescendOfEachType) {
    EXPECT_EQ(text_of("DESCEND('09 A')"), "\xD0\xC7\xE0\xBF");
    EXPECT_EQ(text_of("DESCEND('')"), "");
    EXPECT_EQ(text_of("DESCEND(KOD13+MAG)", kRec),
              "\xCB\xC7\xD0\xCF\xCE\xCD\xCC\xCF\xCE\xCD\xCC\xCB\xC9\xCF");
    EXPECT_DOUBLE_EQ(number_of("DESCEND(AMT)", kRec), -12.5);
    // A date descends into a number.
    EXPECT_DOUBLE_EQ(number_of("DESCEND(DAT)", record("", "", "20000101", ' ', "", "", "", "")), 2780263);
    EXPECT_DOUBLE_EQ(number_of("DESCEND(DAT)", record("", "", "", ' ', "", "", "", "")), 5231808);
    XValue b = KeyExpr::compile("DESCEND(OK)", sample_fields()).eval(kRec);
    EXPECT_EQ(b.type, XValue::Type::Logical);
    EXPECT_FALSE(b.b);
}

TEST(KeyExpr, IndexKeyFormOfEachType) {
    FieldList f = sample_fields();
    EXPECT_EQ(KeyExpr::compile("NAME", f).eval_key(kRec, 12, 0), "abc         ");
    EXPECT_EQ(KeyExpr::compile("NAME", f).eval_key(kRec, 2, 0), "ab");
    EXPECT_EQ(KeyExpr::compile("DAT", f).eval_key(kRec, 8, 0), "20240229");
    EXPECT_EQ(KeyExpr::compile("DAT", f).eval_key(record("", "", "", ' ', "", "", "", ""), 8, 0), "        ");
    EXPECT_EQ(KeyExpr::compile("OK", f).eval_key(kRec, 1, 0), "T");
    EXPECT_EQ(KeyExpr::compile("DESCEND(DAT)", f).eval_key(record("", "", "", ' ', "", "", "", ""), 10, 0),
              "0005231808");
    // Numbers: leading blanks become zeros, negatives map each digit d to 44 - d.
    KeyExpr amt = KeyExpr::compile("AMT", f);
    auto key_for = [&](const std::string& field) { return amt.eval_key(record("", field, "", ' ', "", "", "", ""), 8, 2); };
    EXPECT_EQ(key_for("   12.50"), "00012.50");
    EXPECT_EQ(key_for("    0.00"), "00000.00");
    EXPECT_EQ(key_for("        "), "00000.00");  // blank and zero give one key
    EXPECT_EQ(key_for("   -0.50"), ",,,,,.',");
    EXPECT_EQ(key_for("  -12.50"), ",,,+*.',");
    EXPECT_EQ(key_for(" -186.25"), ",,+$&.*'");
    EXPECT_EQ(key_for("-9999.99"), ",####.##");
    EXPECT_EQ(number_key(-0.001, 8, 2), "00000.00");
    EXPECT_LT(number_key(-9999.99, 8, 2), number_key(-0.5, 8, 2));
    EXPECT_LT(number_key(-0.5, 8, 2), number_key(0, 8, 2));
    EXPECT_EQ(amt.type(), XValue::Type::Num);
}

TEST(KeyExpr, ConditionsComparisonsAndArithmetic) {
    EXPECT_EQ(text_of("IIF(AMT > 10, 'big', 'low')", kRec), "big");
    EXPECT_EQ(text_of("IF(OK .AND. MAG = '1', 'y', 'n')", kRec), "y");
    EXPECT_EQ(text_of("IIF(.NOT. OK .OR. ILE < 0, 'y', 'n')", kRec), "n");
    EXPECT_EQ(text_of("IIF(NAME = 'ab', 'y', 'n')", kRec), "y");    // non-exact: prefix
    EXPECT_EQ(text_of("IIF(NAME == 'ab', 'y', 'n')", kRec), "n");   // exact
    EXPECT_EQ(text_of("IIF('bc' $ NAME, 'y', 'n')", kRec), "y");
    EXPECT_EQ(text_of("IIF(DAT >= DAT + 1, 'y', 'n')", kRec), "n");
    EXPECT_DOUBLE_EQ(number_of("AMT * 2 + ILE", kRec), 67);
    EXPECT_DOUBLE_EQ(number_of("-(ILE - 2) / 4", kRec), -10);
    EXPECT_DOUBLE_EQ(number_of("ILE / 0", kRec), 0);
    EXPECT_DOUBLE_EQ(number_of("(DAT + 2) - DAT", kRec), 2);
    EXPECT_EQ(text_of("DTOS(DAT + 1)", kRec), "20240301");
}

TEST(KeyExpr, WhatCannotBeCompiledIsAClearError) {
    FieldList f = sample_fields();
    auto message = [&](const std::string& text) -> std::string {
        try {
            KeyExpr::compile(text, f);
        } catch (const KeyExprError& e) {
            return e.what();
        }
        return "compiled";
    };
    EXPECT_NE(message("NAZWA+MAG").find("NAZWA"), std::string::npos);
    EXPECT_NE(message("NAZWA+MAG").find("\"NAZWA+MAG\""), std::string::npos);
    EXPECT_NE(message("FOO(MAG)").find("FOO"), std::string::npos);
    for (const char* bad : {"", "MAG+", "(MAG", "MAG)", "'abc", "MAG INDEKS", "SUBSTR(NAME,", "MAG @ 1",
                            "NAME+AMT", "UPPER(AMT)", "DTOS(NAME)", "IIF(OK,NAME,AMT)", "SUBSTR(NAME)",
                            "LEFT(NAME,1,2)", "-NAME", ".NOT. NAME", "OK .AND. NAME", "NAME < AMT", ".X.",
                            "DESCEND()", "X->", "SUBSTR(,1)"}) {
        EXPECT_NE(message(bad), "compiled") << bad;
    }
    // Nesting beyond any real expression is refused, not a stack overflow.
    EXPECT_NE(message(std::string(5000, '(') + "MAG" + std::string(5000, ')')), "compiled");
    EXPECT_NE(message(std::string(5000, '-') + "ILE"), "compiled");
}

}  // namespace
}  // namespace durva::dbf
