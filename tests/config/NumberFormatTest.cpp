#include "config/NumberFormat.h"

#include <gtest/gtest.h>

TEST(ParseInteger, AcceptsWhatTheOptionFieldsAccept) {
    EXPECT_EQ(ParseInteger("250"), 250);
    EXPECT_EQ(ParseInteger("  -17"), -17);
    EXPECT_EQ(ParseInteger("+5"), 5);
    EXPECT_EQ(ParseInteger("$FF"), 255);
    EXPECT_EQ(ParseInteger("0x1A"), 26);
    EXPECT_EQ(ParseInteger("0X1a"), 26);
    EXPECT_EQ(ParseInteger("2147483647"), 2147483647);
    EXPECT_EQ(ParseInteger("-2147483648"), -2147483647 - 1);
}

TEST(ParseInteger, RejectsTrailingTextAndOverflow) {
    for (const char* bad : {"", " ", "12a", "12 ", "1.5", "-", "$", "0x", "2147483648", "99999999999", "1e3"})
        EXPECT_FALSE(ParseInteger(bad).has_value()) << bad;
}

TEST(ParseFloat, UsesTheGivenDecimalSeparator) {
    EXPECT_EQ(ParseFloat("1,3", ','), 1.3);
    EXPECT_FALSE(ParseFloat("1.3", ',').has_value());
    EXPECT_EQ(ParseFloat("1.3", '.'), 1.3);
    EXPECT_FALSE(ParseFloat("1,3", '.').has_value());
    EXPECT_EQ(ParseFloat(" -2,5E2 ", ','), -250.0);
    EXPECT_EQ(ParseFloat("5", ','), 5.0);
    EXPECT_EQ(ParseFloat(",5", ','), 0.5);
    for (const char* bad : {"", "abc", "1,2,3", "1e", "1.000,5", "1e999"})
        EXPECT_FALSE(ParseFloat(bad, ',').has_value()) << bad;
}

TEST(FormatFloat, GeneralFormatWithFifteenDigits) {
    EXPECT_EQ(FormatFloat(1.28, ','), "1,28");
    EXPECT_EQ(FormatFloat(1.28, '.'), "1.28");
    EXPECT_EQ(FormatFloat(5, ','), "5");
    EXPECT_EQ(FormatFloat(-0.5, '.'), "-0.5");
    EXPECT_EQ(FormatFloat(1.0 / 3.0, '.'), "0.333333333333333");
    EXPECT_EQ(FormatFloat(1e20, '.'), "1E20");
    EXPECT_EQ(FormatFloat(0.00001, '.'), "1E-5");
    // Written values read back to the same double where 15 digits suffice.
    for (double v : {1.28, 1.38, 5.0, 0.1, 123.456, -7.25})
        EXPECT_EQ(ParseFloat(FormatFloat(v, ','), ','), v);
}
