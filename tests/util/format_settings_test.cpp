#include "util/format_settings.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using namespace format_settings;

TEST(FormatSettings, FloatToStrUsesFifteenDigitsAndTheDecimalComma) {
    const struct {
        double value;
        const char* text;
    } cases[] = {
        {12.5, "12,5"},          {3.0, "3"},           {0.0, "0"},
        {-0.5, "-0,5"},          {0.1 + 0.2, "0,3"},   {1.0 / 3, "0,333333333333333"},
        {2.0 / 3, "0,666666666666667"}, {123456789012345.0, "123456789012345"},
        {1e15, "1E15"},          {1e20, "1E20"},       {0.0001, "0,0001"},
        {0.00001, "1E-5"},       {-1.5e-7, "-1,5E-7"}, {1234.5678, "1234,5678"},
    };
    for (const auto& c : cases) EXPECT_EQ(FloatToStr(c.value), c.text) << c.text;
}

TEST(FormatSettings, TryStrToFloatAcceptsOnlyTheDecimalSeparator) {
    const struct {
        const char* text;
        double value;
    } accepted[] = {
        {"12,5", 12.5}, {" -3 ", -3}, {",5", 0.5}, {"+7", 7}, {"1E3", 1000}, {"1,5e-2", 0.015},
    };
    for (const auto& c : accepted) {
        double value = 0;
        EXPECT_TRUE(TryStrToFloat(c.text, value)) << c.text;
        EXPECT_DOUBLE_EQ(value, c.value) << c.text;
    }
    for (const char* text : {"12.5", "", " ", "abc", "1,2,3", "1E", "1e400", "-", ",", "1.000,5", "NAN"}) {
        double value = 42;
        EXPECT_FALSE(TryStrToFloat(text, value)) << text;
        EXPECT_EQ(value, 42) << text;
    }
}

TEST(FormatSettings, TryStrToIntegerReadsDecimalAndHexadecimal) {
    const struct {
        const char* text;
        int bits;
        qint64 value;
    } accepted[] = {
        {"12", 32, 12},           {"  -7", 32, -7},          {"+5", 32, 5},
        {"$FF", 32, 255},         {"0x10", 32, 16},          {"x1F", 32, 31},
        {"-$1", 32, -1},          {"$FFFFFFFF", 32, -1},     {"$FFFFFFFF", 64, 4294967295},
        {"2147483647", 32, 2147483647}, {"-2147483648", 32, -2147483648LL},
        {"9223372036854775807", 64, 9223372036854775807LL},
    };
    for (const auto& c : accepted) {
        qint64 value = 0;
        EXPECT_TRUE(TryStrToInteger(c.text, c.bits, value)) << c.text;
        EXPECT_EQ(value, c.value) << c.text;
    }
    for (const char* text : {"12a", "12 ", "", "$", "0x", "1,5", "2147483648", "$1FFFFFFFF", "--1"}) {
        qint64 value = 0;
        EXPECT_FALSE(TryStrToInteger(text, 32, value)) << text;
    }
}

TEST(FormatSettings, FormatFloatPlacesDigitsAsObjectPascal) {
    const struct {
        const char* format;
        double value;
        const char* text;
    } cases[] = {
        {"0.00", 2.5, "2,50"},
        {"#,##0.00", 1234567.891, "1.234.567,89"},
        {"0.0", 0.05, "0,1"},
        {"0.##", 1.5, "1,5"},
        {"#.##", 0.5, ",5"},
        {"000", 7, "007"},
        {"0", -0.4, "0"},
        {"0", -2.5, "-3"},
        {"0.00;(0.00)", -1.5, "(1,50)"},
        {"0.00;(0.00);'zero'", 0, "zero"},
        {"0.00E+00", 12345, "1,23E+04"},
        {"0.0E-0", 0.00012, "1,2E-4"},
        {"'R$ '0.00", -3, "-R$ 3,00"},
        {"0.0 'mm'", 12.34, "12,3 mm"},
        {"", 12.5, "12,5"},
    };
    for (const auto& c : cases) EXPECT_EQ(FormatFloat(c.format, c.value), c.text) << c.format;
}

TEST(FormatSettings, SeparatorsCanBeChangedForTheWholeProcess) {
    SetDecimalSeparator(u'.');
    SetThousandSeparator(u',');
    double value = 0;
    const bool parsed = TryStrToFloat("12.5", value);
    const QString text = FloatToStr(12.5);
    const QString grouped = FormatFloat("#,##0.0", 1234.5);
    SetDecimalSeparator(u',');
    SetThousandSeparator(u'.');
    EXPECT_TRUE(parsed);
    EXPECT_EQ(value, 12.5);
    EXPECT_EQ(text, "12.5");
    EXPECT_EQ(grouped, "1,234.5");
    EXPECT_EQ(FloatToStr(12.5), "12,5");
}

}  // namespace
