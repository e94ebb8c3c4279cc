#include <gtest/gtest.h>

#include <charconv>
#include <clocale>
#include <cstring>
#include <string>

#include "segments/SegmentProgram.h"
#include "text/Errors.h"

namespace tessaro {
namespace {

TEST(StrToFloatDotTest, ParsesOnlyDotNumbers) {
    EXPECT_EQ(StrToFloatDot("12.5"), 12.5);
    EXPECT_EQ(StrToFloatDot("-0.25"), -0.25);
    EXPECT_EQ(StrToFloatDot("+3"), 3);
    EXPECT_EQ(StrToFloatDot(".5"), 0.5);
    EXPECT_EQ(StrToFloatDot("1E3"), 1000);
    EXPECT_EQ(StrToFloatDot(" 7 "), 7);
    for (const char* bad : {"", "12,5", "1.2.3", "abc", "inf", "NaN", "-", "1e999", "12 5", "0x10", "+-5", "-+5", "--5",
                            "++5", "5a", "1e5x"})
        EXPECT_THROW(StrToFloatDot(bad), ConversionError) << bad;
}

TEST(StrToFloatDotTest, ShortDecimalsRoundExactlyLikeTheFullParser) {
    // short decimals take a quicker path; it must agree bit for bit with from_chars
    for (const char* text : {"0.1", "0.3", "12.5", "99.99", "123456789012.345", "0.000000000000001", "-7.123", "100",
                             "33.333333333333", "1.", "-0"}) {
        double expected = 0;
        std::from_chars(text, text + std::strlen(text), expected);
        EXPECT_EQ(StrToFloatDot(text), expected) << text;
    }
}

TEST(StrToFloatDotTest, IgnoresTheProcessLocale) {
    // A comma locale must not change the parse; where none is installed this still
    // checks the plain path.
    const std::string saved = std::setlocale(LC_NUMERIC, nullptr);
    for (const char* name : {"de_DE.UTF-8", "de_DE", "fr_FR.UTF-8"})
        if (std::setlocale(LC_NUMERIC, name)) break;
    EXPECT_EQ(StrToFloatDot("2.75"), 2.75);
    EXPECT_THROW(StrToFloatDot("2,75"), ConversionError);
    std::setlocale(LC_NUMERIC, saved.c_str());
}

TEST(StrToFloatAnySeparatorTest, TakesCommaOrDot) {
    EXPECT_EQ(StrToFloatAnySeparator("2,5"), 2.5);
    EXPECT_EQ(StrToFloatAnySeparator("2.5"), 2.5);
    EXPECT_THROW(StrToFloatAnySeparator("1,000.5"), ConversionError);
    EXPECT_THROW(StrToFloatAnySeparator("two"), ConversionError);
}

TEST(AlignmentTest, PadsCutsAndTurnsTheFirstComma) {
    EXPECT_EQ(LeftAligned("3,5", 6), "3.5   ");
    EXPECT_EQ(LeftAligned("3,5,7", 4), "3.5,");
    EXPECT_EQ(LeftAligned("Shortname", 5), "Short");
    EXPECT_EQ(RightAligned("abcdefgh", 5, false), "defgh");
    EXPECT_EQ(RightAligned("1,5", 5, false), "  1,5");
    EXPECT_EQ(RightAligned("1,5", 5, true), "  1.5");
    EXPECT_EQ(RightAligned("x", 0, false), "");
    // widths count characters, not bytes
    EXPECT_EQ(LeftAligned("µl", 3), "µl ");
    EXPECT_EQ(RightAligned("25ºC", 3, false), "5ºC");
}

TEST(FieldByIndexTest, CountsFromOneAndKeepsEmptyFields) {
    EXPECT_EQ(FieldByIndex("a|b||d", '|', 1), "a");
    EXPECT_EQ(FieldByIndex("a|b||d", '|', 3), "");
    EXPECT_EQ(FieldByIndex("a|b||d", '|', 4), "d");
    EXPECT_EQ(FieldByIndex("a|b||d", '|', 5), "");
    EXPECT_EQ(FieldByIndex("a|b||d", '|', 0), "");
    EXPECT_EQ(FieldByIndex("", '|', 1), "");
}

TEST(LogTimestampTest, TwoDigitFieldsAndMilliseconds) {
    EXPECT_EQ(LogTimestamp({2026, 12, 10, 7, 5, 3, 9}), "07:05:03:009 ");
    EXPECT_EQ(LogTimestamp({2026, 12, 10, 23, 59, 59, 999}), "23:59:59:999 ");
}

struct DurationCase {
    DurationStyle style;
    double minutes;
    const char* text;
};

class DurationToTextTest : public testing::TestWithParam<DurationCase> {};

TEST_P(DurationToTextTest, Formats) {
    EXPECT_EQ(DurationToText(GetParam().style, GetParam().minutes), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Styles, DurationToTextTest,
    testing::Values(DurationCase{DurationStyle::Long, 90, "0 days, 1 hour, 30 minutes"},
                    DurationCase{DurationStyle::Long, 12.5, "0 days, 0 hours, 12.5 minutes"},
                    DurationCase{DurationStyle::Long, 1440, "1 day, 0 hours, 0 minutes"},
                    DurationCase{DurationStyle::Long, 2941, "2 days, 1 hour, 1 minute"},
                    DurationCase{DurationStyle::Compact, 90, "1h 30m"},
                    DurationCase{DurationStyle::Compact, 12.5, "12m 30s"}, DurationCase{DurationStyle::Compact, 0, ""},
                    DurationCase{DurationStyle::Compact, 0.9999, "60s"},
                    DurationCase{DurationStyle::Compact, 1500, "1d 1h"},
                    DurationCase{DurationStyle::Compact, 1.0 / 120, ""},     // half a second rounds to even
                    DurationCase{DurationStyle::Compact, 1.0 / 40, "2s"}));  // 1.5 s rounds to even

TEST(DurationToTextTest, LongUsesTheGivenSeparator) {
    EXPECT_EQ(DurationToText(DurationStyle::Long, 12.5, ','), "0 days, 0 hours, 12,5 minutes");
}

TEST(SanitizeNoteTest, KeepsTheNoteAlphabetAndUnderscoresSpaces) {
    EXPECT_EQ(SanitizeNote("Flow 5% (check)"), "Flow_5%_check");
    EXPECT_EQ(SanitizeNote("a_b.c-d µ"), "abcd_");
    EXPECT_EQ(SanitizeNote("*/@"), "*/@");
}

}  // namespace
}  // namespace tessaro
