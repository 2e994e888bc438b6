#include <gtest/gtest.h>

#include "common/screen/colour.h"

namespace durva::screen {

TEST(ColourString, PairsOfTheDialogs) {
    EXPECT_EQ(parse_colour_pair("W/N"), 0x07);
    EXPECT_EQ(parse_colour_pair("N/W"), 0x70);
    EXPECT_EQ(parse_colour_pair("0/7"), 0x70);
    EXPECT_EQ(parse_colour_pair("7+/0"), 0x0F);
    EXPECT_EQ(parse_colour_pair("W+/N"), 0x0F);
    EXPECT_EQ(parse_colour_pair("W+/R"), 0x4F);
    EXPECT_EQ(parse_colour_pair("W+/B"), 0x1F);
    EXPECT_EQ(parse_colour_pair("RG+/N"), 0x0E);
    EXPECT_EQ(parse_colour_pair("GR+/N"), 0x0E);
    EXPECT_EQ(parse_colour_pair("R+/N"), 0x0C);
    EXPECT_EQ(parse_colour_pair("BG/N"), 0x03);
    EXPECT_EQ(parse_colour_pair("R+*/N"), 0x8C);
    EXPECT_EQ(parse_colour_pair("R*+/N"), 0x8C);
    EXPECT_EQ(parse_colour_pair("W/N*"), 0x87);  // "*" blinks the foreground wherever it stands
    EXPECT_EQ(parse_colour_pair("W+"), 0x0F);   // no background: black
    EXPECT_EQ(parse_colour_pair("U"), 0x01);    // underline on a monochrome screen
    EXPECT_EQ(parse_colour_pair("U+"), 0x09);
    EXPECT_EQ(parse_colour_pair("\"W+/R\""), 0x4F);  // quotation marks ignored
    EXPECT_EQ(parse_colour_pair(" w+ / b "), 0x1F);
}

TEST(ColourString, FiveColoursInOrderAndEmptyPairsKeepTheirs) {
    ColourSetting c = parse_colour("W/N,N/W,,,W+/N", ColourSetting{});
    EXPECT_EQ(c.standard, 0x07);
    EXPECT_EQ(c.enhanced, 0x70);
    EXPECT_EQ(c.border, 0x00);
    EXPECT_EQ(c.unselected, 0x0F);

    ColourSetting m = parse_colour("W,W+", c);
    EXPECT_EQ(m.standard, 0x07);
    EXPECT_EQ(m.enhanced, 0x0F);
    EXPECT_EQ(m.unselected, 0x0F);  // untouched

    ColourSetting b = parse_colour("R/B,G/R,B/G,W/B,N/G", ColourSetting{});
    EXPECT_EQ(b.standard, 0x14);
    EXPECT_EQ(b.enhanced, 0x42);
    EXPECT_EQ(b.border, 0x21);
    EXPECT_EQ(b.background, 0x17);
    EXPECT_EQ(b.unselected, 0x20);
}

TEST(ColourString, EmptyStringRestoresTheDefaults) {
    ColourSetting odd = parse_colour("R/B,G/R,B/G,W/B,N/G", ColourSetting{});
    ColourSetting d = parse_colour("", odd);
    EXPECT_EQ(d, ColourSetting{});
    EXPECT_EQ(d.standard, 0x07);
    EXPECT_EQ(d.enhanced, 0x70);
    EXPECT_EQ(colour_string(d), "W/N,N/W,N/N,N/N,N/W");
}

TEST(ColourString, CanonicalFormRestoresEverything) {
    ColourSetting c = parse_colour("R+*/B,RG+/N,,,U+", ColourSetting{});
    const std::string s = colour_string(c);
    EXPECT_EQ(s, "R+*/B,GR+/N,N/N,N/N,B+/N");
    EXPECT_EQ(parse_colour(s, parse_colour("W/R,W/R,W/R,W/R,W/R", ColourSetting{})), c);
    EXPECT_EQ(colour_pair_string(0x4F), "W+/R");
}

}  // namespace durva::screen
