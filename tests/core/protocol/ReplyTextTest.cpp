#include "protocol/ReplyText.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace tessaro {
namespace {

TEST(AnsiBytesToText, KeepsAsciiAndMapsTheUpperHalfThroughTheCodePage) {
    EXPECT_EQ(AnsiBytesToText("/0`255"), "/0`255");
    EXPECT_EQ(AnsiBytesToText("/0\x91"), "/0\u2018");  // the pump's alternative ready character
    EXPECT_EQ(AnsiBytesToText("\x80\xB5\xFF"), "\u20AC\u00B5\u00FF");
    EXPECT_EQ(AnsiBytesToText(std::string("\x00\x81", 2)), std::string("\x00\xC2\x81", 3));
}

TEST(TextToAnsiBytes, InvertsTheCodePageAndMarksWhatItLacks) {
    EXPECT_EQ(TextToAnsiBytes("A\u00B5\u2018\r"), "A\xB5\x91\r");
    EXPECT_EQ(TextToAnsiBytes("\u4E2D"), "?");
    EXPECT_EQ(TextToAnsiBytes("\xE2\x82"), "??");  // a cut sequence, byte by byte
}

TEST(ByteOrdinals, WritesEveryByteInDecimalFollowedByABlank) {
    EXPECT_EQ(ByteOrdinals("A\r"), "65 13 ");
    EXPECT_EQ(ByteOrdinals("\xFF"), "255 ");
}

TEST(FormatSecondsMillis, WritesSecondsAndMilliseconds) {
    EXPECT_EQ(FormatSecondsMillis(353), "00:353");
    EXPECT_EQ(FormatSecondsMillis(2664), "02:664");
    EXPECT_EQ(FormatSecondsMillis(75001), "75:001");
}

TEST(ParseDotNumber, ReadsDecimalNumbersWithDotOnly) {
    struct Case {
        const char* Text;
        std::optional<double> Expected;
    };
    const Case cases[] = {
        {"+14.70", 14.7},      {"-3", -3.0},
        {"32000", 32000.0},    {".5", 0.5},
        {"1e3", 1000.0},       {"1,5", std::nullopt},
        {"", std::nullopt},    {"+", std::nullopt},
        {"+-1", std::nullopt}, {"1.5x", std::nullopt},
        {" 1", std::nullopt},  {"nan", std::nullopt},
        {"inf", std::nullopt}, {"1e400", std::nullopt},
    };
    for (const Case& c : cases) EXPECT_EQ(ParseDotNumber(c.Text), c.Expected) << c.Text;
}

TEST(ParseDecimalInteger, ReadsWholeNumbersOnly) {
    EXPECT_EQ(ParseDecimalInteger("12345678"), 12345678);
    EXPECT_EQ(ParseDecimalInteger("-1"), -1);
    EXPECT_EQ(ParseDecimalInteger("+7"), 7);
    EXPECT_EQ(ParseDecimalInteger("1.0"), std::nullopt);
    EXPECT_EQ(ParseDecimalInteger(""), std::nullopt);
    EXPECT_EQ(ParseDecimalInteger("99999999999999999999"), std::nullopt);
}

}  // namespace
}  // namespace tessaro
