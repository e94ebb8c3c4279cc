#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "text/NumberFormat.h"

namespace tessaro {
namespace {

struct PatternCase {
    double value;
    const char* pattern;
    const char* dot;    // with '.' as separator
    const char* comma;  // with ','
};

class NumberPatternTest : public testing::TestWithParam<PatternCase> {};

TEST_P(NumberPatternTest, FormatsWithEitherSeparator) {
    const PatternCase& c = GetParam();
    EXPECT_EQ(FormatPattern(c.value, c.pattern, '.'), c.dot);
    EXPECT_EQ(FormatPattern(c.value, c.pattern, ','), c.comma);
}

INSTANTIATE_TEST_SUITE_P(
    EveryPatternInUse, NumberPatternTest,
    testing::Values(
        // at least one decimal, at most six
        PatternCase{12, "0.0#####", "12.0", "12,0"}, PatternCase{0.1234567, "0.0#####", "0.123457", "0,123457"},
        PatternCase{-3.25, "0.0#####", "-3.25", "-3,25"}, PatternCase{1e-9, "0.0#####", "0.0", "0,0"},
        PatternCase{-1e-9, "0.0#####", "0.0", "0,0"},
        PatternCase{123456789.5, "0.0#####", "123456789.5", "123456789,5"},
        PatternCase{1.005, "0.00", "1.01", "1,01"},  // rounds the decimal value, half away from zero
        PatternCase{0.0005, "0.000", "0.001", "0,001"}, PatternCase{2.5, "0.000", "2.500", "2,500"},
        PatternCase{0.04, "0.0", "0.0", "0,0"}, PatternCase{0.05, "0.0", "0.1", "0,1"},
        PatternCase{9.96, "0.0", "10.0", "10,0"},
        // no leading zero below one, no trailing ".0"
        PatternCase{78.084, "#.#", "78.1", "78,1"}, PatternCase{0.5, "#.#", ".5", ",5"},
        PatternCase{20, "#.#", "20", "20"},
        // grouping blanks only between written digits
        PatternCase{1234567, "# ### ###", "1 234 567", "1 234 567"}, PatternCase{12, "# ### ###", "12", "12"},
        PatternCase{1234, "# ### ###", "1 234", "1 234"}, PatternCase{0.4, "# ### ###", "", ""},
        PatternCase{1234567890, "# ### ###", "1 234 567 890", "1 234 567 890"},
        PatternCase{1.2345678, "0.000 000", "1.234 568", "1,234 568"},
        PatternCase{0, "0.000 000", "0.000 000", "0,000 000"},
        PatternCase{28.9647, "##0.000 000", "28.964 700", "28,964 700"},
        PatternCase{1234.5, "### ##0.### ### ###", "1 234.5", "1 234,5"},
        PatternCase{0.123456789, "### ##0.### ### ###", "0.123 456 789", "0,123 456 789"},
        PatternCase{1234567.1234, "### ##0.### ### ###", "1 234 567.123 4", "1 234 567,123 4"},
        PatternCase{12.3456789, "####0.### ###", "12.345 679", "12,345 679"}, PatternCase{5, "####0.### ###", "5", "5"},
        PatternCase{-0.25, "###0.###", "-0.25", "-0,25"}, PatternCase{0.0123, "0.0## ###", "0.012 3", "0,012 3"},
        PatternCase{0.5, "0.0## ###", "0.5", "0,5"}));

TEST(NumberPatternTest, NonFiniteValuesAreNamed) {
    EXPECT_EQ(FormatPattern(std::numeric_limits<double>::quiet_NaN(), "0.000"), "NAN");
    EXPECT_EQ(FormatPattern(-std::numeric_limits<double>::infinity(), "0.000"), "-INF");
    EXPECT_EQ(FormatGeneral(std::numeric_limits<double>::infinity()), "INF");
}

TEST(NumberPatternTest, HugeAndTinyValuesStayFixed) {
    EXPECT_EQ(FormatPattern(1e20, "0.0"), "100000000000000000000.0");
    EXPECT_EQ(FormatPattern(std::numeric_limits<double>::denorm_min(), "0.000"), "0.000");
}

struct GeneralCase {
    double value;
    const char* text;
};

class GeneralFormatTest : public testing::TestWithParam<GeneralCase> {};

TEST_P(GeneralFormatTest, ShortestWithFifteenDigits) { EXPECT_EQ(FormatGeneral(GetParam().value), GetParam().text); }

INSTANTIATE_TEST_SUITE_P(Values, GeneralFormatTest,
                         testing::Values(GeneralCase{12.5, "12.5"}, GeneralCase{100, "100"}, GeneralCase{0.25, "0.25"},
                                         GeneralCase{0, "0"}, GeneralCase{-0.0, "0"}, GeneralCase{-5, "-5"},
                                         GeneralCase{0.1 + 0.2, "0.3"}, GeneralCase{1.0 / 3, "0.333333333333333"},
                                         GeneralCase{0.0001, "0.0001"}, GeneralCase{0.00001, "1E-5"},
                                         GeneralCase{123456789012345.0, "123456789012345"}, GeneralCase{1e15, "1E15"},
                                         GeneralCase{1.5e20, "1.5E20"}, GeneralCase{844.662812, "844.662812"}));

TEST(GeneralFormatTest, UsesTheGivenSeparator) { EXPECT_EQ(FormatGeneral(12.5, ','), "12,5"); }

}  // namespace
}  // namespace tessaro
