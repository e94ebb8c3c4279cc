#include "text/DataCsv.h"

#include <gtest/gtest.h>

#include <cmath>

namespace tessaro {
namespace {

TEST(DataCsvTest, FieldsAreQuotedOnlyWhenTheyHoldACommaAQuoteOrALineBreak) {
    struct Case {
        std::string Text;
        std::string Field;
    };
    for (const Case& c : {Case{"A COM3 planned %", "A COM3 planned %"}, Case{"", ""}, Case{"Air, dry", "\"Air, dry\""},
                          Case{"say \"hi\"", "\"say \"\"hi\"\"\""}, Case{"two\r\nlines", "\"two\r\nlines\""},
                          Case{"cr\r", "\"cr\r\""}, Case{"µl/min; 'x'", "µl/min; 'x'"}}) {
        EXPECT_EQ(CsvField(c.Text), c.Field) << c.Text;
    }
    EXPECT_EQ(CsvRow({"a", "b,c", ""}), "a,\"b,c\",\r\n");
}

TEST(DataCsvTest, TimeStampsCarryTheOffsetFromUtc) {
    const TLocalDateTime time{2026, 12, 10, 21, 45, 50, 999};
    struct Case {
        int Offset_s;
        std::string Text;
    };
    for (const Case& c :
         {Case{3600, "2026-12-10T21:45:50+01:00"}, Case{0, "2026-12-10T21:45:50+00:00"},
          Case{-5 * 3600, "2026-12-10T21:45:50-05:00"}, Case{-(3 * 3600 + 1800), "2026-12-10T21:45:50-03:30"},
          Case{5 * 3600 + 2700, "2026-12-10T21:45:50+05:45"}}) {
        EXPECT_EQ(IsoLocalTimestamp(time, c.Offset_s), c.Text) << c.Offset_s;
    }
}

// Per device the planned percentage, the planned flow in its unit (empty while the full scale
// is unknown) and the achieved flow.
TEST(DataCsvTest, RowsHoldTimeElapsedMinutesAndThreeColumnsPerDeviceWithEmptyFieldsWithoutAValue) {
    const std::vector<std::string> names =
        DataCsvColumnNames({{"A COM3", "ml/min"}, {"Pump, left COM5", "µl/min"}, {"B COM4", ""}});
    EXPECT_EQ(CsvRow(names),
              "time,elapsed min,A COM3 planned %,A COM3 planned ml/min,A COM3 achieved ml/min,"
              "\"Pump, left COM5 planned %\",\"Pump, left COM5 planned µl/min\",\"Pump, left COM5 achieved µl/min\","
              "B COM4 planned %,B COM4 planned,B COM4 achieved\r\n");

    const TCsvRowStamp stamp{{2024, 1, 1, 12, 0, 3, 0}, 3600, 0.05};
    const std::vector<TCsvDeviceValues> values = {{35, 17.5, 12.5}, {40, -10000, -10000}, {}};
    const std::vector<std::string> fields = DataCsvFields(stamp, values);
    ASSERT_EQ(fields.size(), names.size());
    EXPECT_EQ(CsvRow(fields), "2024-01-01T12:00:03+01:00,0.05,35.0,17.5,12.5,40.0,,,,,\r\n");
}

TEST(DataCsvTest, NumbersUseADotAndSixDecimalsAtMost) {
    struct Case {
        double Value;
        std::string Field;
    };
    for (const Case& c : {Case{0.1234567, "0.123457"}, Case{3, "3.0"}, Case{-9999, "-9999.0"}, Case{-9999.5, ""},
                          Case{1e6, "1000000.0"}, Case{std::nan(""), ""}, Case{HUGE_VAL, ""}}) {
        EXPECT_EQ(CsvNumber(c.Value), c.Field) << c.Value;
    }
}

}  // namespace
}  // namespace tessaro
