#include "text/TextScan.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tessaro {
namespace {

using namespace std::string_view_literals;
using Fields = std::vector<std::string_view>;

TEST(TrimBlanksAndControls, RemovesSpacesAndAsciiControlsIncludingDelAtBothEnds) {
    struct Case {
        std::string_view Text;
        std::string_view Trimmed;
    };
    const Case cases[] = {
        {" A\x03\r\n", "A"},
        {"\x00\x1F x y\t"sv, "x y"},
        {"\r\n", ""},
        {"", ""},
        {"\x7F COM3\x7F", "COM3"},           // DEL counts like every other control character
        {"a \x7F b", "a \x7F b"},            // inside the text nothing is touched
        {"\u00A0A\u0085", "\u00A0A\u0085"},  // non-ASCII characters, C1 controls included, stay
    };
    for (const Case& c : cases) EXPECT_EQ(TrimBlanksAndControls(c.Text), c.Trimmed) << c.Text;
}

Fields FieldsOneAtATime(std::string_view text) {
    Fields fields;
    std::size_t pos = 0;
    for (std::string_view field = NextBlankRunField(text, pos); !field.empty(); field = NextBlankRunField(text, pos))
        fields.push_back(field);
    return fields;
}

TEST(SplitAtBlankRuns, SeparatesAtRunsOfBlanksAndNeverGivesAnEmptyField) {
    struct Case {
        std::string_view Text;
        Fields Expected;
    };
    const Case cases[] = {
        {"", {}},
        {" \t\r\n", {}},
        {"10 50 Step", {"10", "50", "Step"}},
        {"  A +14.70\t+25.00\r\n\x03N2 ", {"A", "+14.70", "+25.00", "N2"}},
        {"x\x7Fy", {"x", "y"}},
        {"\u00B5l \u2018", {"\u00B5l", "\u2018"}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(SplitAtBlankRuns(c.Text), c.Expected) << c.Text;
        EXPECT_EQ(FieldsOneAtATime(c.Text), c.Expected) << c.Text;
    }
}

TEST(SplitAtEach, KeepsEveryEmptyFieldBetweenSeparators) {
    struct Case {
        std::string_view Text;
        char Separator;
        Fields Expected;
    };
    const Case cases[] = {
        {"", ' ', {""}},
        {"A 4.0000 67 g/m", ' ', {"A", "4.0000", "67", "g/m"}},
        {"10  50", ' ', {"10", "", "50"}},
        {" a ", ' ', {"", "a", ""}},
        {"a\tb", ' ', {"a\tb"}},  // only the separator itself separates
        {"8:1:", ':', {"8", "1", ""}},
    };
    for (const Case& c : cases) EXPECT_EQ(SplitAtEach(c.Text, c.Separator), c.Expected) << c.Text;
}

TEST(RoundHalfToEven, TakesHalvesToTheEvenNeighbourAndOthersToTheNearest) {
    struct Case {
        double X;
        double Rounded;
    };
    const Case cases[] = {
        {0.5, 0},
        {1.5, 2},
        {2.5, 2},
        {3.5, 4},
        {15000.5, 15000},
        {-0.5, 0},
        {-2.5, -2},
        {-3.5, -4},
        {7.4, 7},
        {7.6, 8},
        {-7.6, -8},
        {0.49999999999999994, 0},  // just below a half: adding 0.5 first would give 1
        {4503599627370497.0, 4503599627370497.0},
        {1e300, 1e300},
    };
    for (const Case& c : cases) EXPECT_EQ(RoundHalfToEven(c.X), c.Rounded) << c.X;

    const double infinity = std::numeric_limits<double>::infinity();
    EXPECT_EQ(RoundHalfToEven(infinity), infinity);
    EXPECT_EQ(RoundHalfToEven(-infinity), -infinity);
    EXPECT_TRUE(std::isnan(RoundHalfToEven(std::nan(""))));
}

TEST(DecodeUtf8, AcceptsOnlyShortestFormsOfScalarValues) {
    struct Case {
        std::string_view Bytes;
        char32_t CodePoint;  // read when valid
        std::size_t Length;  // 0: invalid
    };
    const Case cases[] = {
        {"A", U'A', 1},
        {"\xC2\xB5", U'\u00B5', 2},
        {"\xE2\x80\x98", U'\u2018', 3},
        {"\xED\x9F\xBF", U'\uD7FF', 3},  // the last code point before the surrogates
        {"\xF0\x9F\x98\x80", U'\U0001F600', 4},
        {"\xF4\x8F\xBF\xBF", U'\U0010FFFF', 4},
        // overlong forms
        {"\xC0\x80", 0, 0},
        {"\xC1\xBF", 0, 0},
        {"\xE0\x80\x80", 0, 0},
        {"\xE0\x9F\xBF", 0, 0},
        {"\xF0\x8F\xBF\xBF", 0, 0},
        // surrogates
        {"\xED\xA0\x80", 0, 0},
        {"\xED\xBF\xBF", 0, 0},
        // beyond U+10FFFF
        {"\xF4\x90\x80\x80", 0, 0},
        {"\xF5\x80\x80\x80", 0, 0},
        {"\xFF", 0, 0},
        // cut, broken and stray
        {"\xE2\x82", 0, 0},
        {"\xC3", 0, 0},
        {"\xC3"
         "A",
         0, 0},
        {"\x80", 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(std::string(c.Bytes)));
        const Utf8Char decoded = DecodeUtf8(c.Bytes, 0);
        if (c.Length == 0) {
            EXPECT_FALSE(decoded.Valid);
            EXPECT_EQ(decoded.Length, 1u);
            EXPECT_EQ(decoded.CodePoint, kReplacementCharacter);
        } else {
            EXPECT_TRUE(decoded.Valid);
            EXPECT_EQ(decoded.Length, c.Length);
            EXPECT_EQ(decoded.CodePoint, c.CodePoint);
        }
    }
}

TEST(Utf8Text, CountsAndCutsByCharacterWithEveryInvalidByteOnItsOwn) {
    EXPECT_EQ(Utf8Length("/0\u2018"), 3u);
    EXPECT_EQ(Utf8Length("\xC0\x80"), 2u);
    EXPECT_EQ(Utf8CharAt("/0\u2018", 2), U'\u2018');
    EXPECT_EQ(Utf8CharAt("/0", 2), std::nullopt);
    EXPECT_EQ(Utf8Substr("/0`1234\u00B5x", 3, 5), "1234\u00B5");
    EXPECT_EQ(Utf8Substr("ab", 5, 2), "");
    EXPECT_EQ(SplitUtf8Chars("a\xC0\x80\u00E9"), (Fields{"a", "\xC0", "\x80", "\u00E9"}));
    EXPECT_EQ(SplitUtf8Chars(""), Fields{});
}

// Only ASCII letters change case: the bytes of "µ" and "É" stay whole, so a UTF-8 name is
// never broken, whatever the process locale.
TEST(AsciiCase, ChangesAsciiLettersOnlyAndComparesWithoutCase) {
    EXPECT_EQ(AsciiLowerCase("COM3 MFC-A \u00C9\u00B5.TXT"), "com3 mfc-a \u00C9\u00B5.txt");
    EXPECT_EQ(AsciiUpperCase("10 50 ramp \u00E9@z"), "10 50 RAMP \u00E9@Z");
    EXPECT_EQ(AsciiLowerCase("@[`{"), "@[`{");  // the neighbours of the letter ranges
    EXPECT_TRUE(EqualIgnoringAsciiCase("Serial", "sERIAL"));
    EXPECT_FALSE(EqualIgnoringAsciiCase("Serial", "Serial "));
    EXPECT_FALSE(EqualIgnoringAsciiCase("\u00C9", "\u00E9"));
    EXPECT_TRUE(LessIgnoringAsciiCase("anode", "Cathode"));
    EXPECT_FALSE(LessIgnoringAsciiCase("Anode", "anode"));
    EXPECT_FALSE(LessIgnoringAsciiCase("anode", "ANODE"));
    EXPECT_TRUE(LessIgnoringAsciiCase("_", "A"));  // letters compare as lower case, after '_'
    // Bytes above 0x7F compare as the unsigned character codes they are: UTF-8 text sorts by
    // code point, after every ASCII character.
    EXPECT_TRUE(LessIgnoringAsciiCase("Anode", "\u00C9mile"));
    EXPECT_FALSE(LessIgnoringAsciiCase("\u00C9mile", "anode"));
    EXPECT_TRUE(LessIgnoringAsciiCase("\u00C9mile", "\u00E9mile"));
}

TEST(Utf8Text, ValidOnlyWhenEveryCharacterIs) {
    EXPECT_TRUE(IsValidUtf8(""));
    EXPECT_TRUE(IsValidUtf8("10 50 Step \u00B5l \u2018\U0001F600"));
    for (std::string_view bad : {"\xC0\x80"sv, "ok\xE2\x82"sv, "\xED\xA0\x80"sv, "\xF4\x90\x80\x80"sv,
                                 "a\x80"
                                 "b"sv,
                                 "caf\xE9"sv})
        EXPECT_FALSE(IsValidUtf8(bad)) << ::testing::PrintToString(std::string(bad));
}

// Every length of encoding, at both ends of its range, reads back as the same code point.
TEST(Utf8Text, AppendWritesTheShortestFormThatDecodesBack) {
    const std::pair<char32_t, std::size_t> cases[] = {{0x00, 1},    {0x7F, 1},    {0x80, 2},   {0x7FF, 2},
                                                      {0x800, 3},   {0xFFFD, 3},  {0xFFFF, 3}, {0x10000, 4},
                                                      {0x1F600, 4}, {0x10FFFF, 4}};
    for (const auto& [codePoint, length] : cases) {
        SCOPED_TRACE(static_cast<unsigned>(codePoint));
        std::string text = "x";
        AppendUtf8(text, codePoint);
        ASSERT_EQ(text.size(), 1 + length);
        const Utf8Char read = DecodeUtf8(text, 1);
        EXPECT_TRUE(read.Valid);
        EXPECT_EQ(read.Length, length);
        EXPECT_EQ(read.CodePoint, codePoint);
    }
    std::string euro;
    AppendUtf8(euro, 0x20AC);
    EXPECT_EQ(euro, "\xE2\x82\xAC");
}

}  // namespace
}  // namespace tessaro

namespace tessaro {
namespace {

TEST(PrintableOnly, LeavesOutControlsSeparatorsDirectionMarksAndBrokenBytes) {
    struct Case {
        std::string text;
        std::string kept;
    };
    for (const Case& c : {Case{"Cathode side", "Cathode side"}, Case{"a\r\nb\tc\x7F", "abc"},
                          Case{"ºC µl/min", "ºC µl/min"}, Case{"x\xC2\x85y", "xy"},  // NEL, a C1 control
                          Case{"x\xE2\x80\xA8y", "xy"},                              // line separator
                          Case{"x\xC0\xAFy", "xy"},                                  // overlong '/'
                          // the marks that reorder text: RLO, PDF, RLM, LRI, PDI, ALM
                          Case{"a\xE2\x80\xAE"
                               "b\xE2\x80\xAC"
                               "c\xE2\x80\x8F"
                               "d",
                               "abcd"},
                          Case{"a\xE2\x81\xA6"
                               "b\xE2\x81\xA9"
                               "c\xD8\x9C"
                               "d",
                               "abcd"},
                          Case{"a\xE2\x80\x8D"
                               "b",
                               "a\xE2\x80\x8D"
                               "b"},  // a joiner stays
                          Case{"", ""}}) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(PrintableOnly(c.text), c.kept);
    }
}

}  // namespace
}  // namespace tessaro
