// The merged listing of several devices' programs.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "MessageCapture.h"
#include "segments/SegmentProgram.h"

namespace tessaro {
namespace {

// The listing's lines without their CR LF; the text must end with one.
std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines.push_back(text.substr(start, end - start));
    EXPECT_EQ(start, text.size()) << "the text does not end in CR LF";
    return lines;
}

TEST(FormatSegmentProgramsTable, TheTwoDeviceExample) {
    const std::string table = FormatSegmentProgramsTable(
        {"m", "1", "COM3|MFC-A|10 100 Ramp\r\n12 100 Step", "COM4|Pump|10 50 Step\r\n15 0 Ramp"});
    EXPECT_EQ(table,
              "  Time,m |            Time |     COM3 MFC-A |      COM4 Pump | \r\n"
              "---------+-----------------+-Setpoint--Type-+-Setpoint--Type-+-\r\n"
              "  10.000 |             10m |      100  Ramp |       50  Step | \r\n"
              "  12.000 |             12m |      100  Step |                | \r\n"
              "  15.000 |             15m |                |        0  Ramp | \r\n");
    EXPECT_EQ(SegmentProgramsBanner(2), " Segment programs \r\n" + std::string(62, '=') + "\r\n");
}

TEST(FormatSegmentProgramsTable, HoursSecondsAndTheLocaleSeparator) {
    const auto lines = Lines(FormatSegmentProgramsTable({"h", "60", "COM3|MFC-A|90 25.5 Step\r\n12.5 1 Ramp"}, ','));
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0].substr(0, 8), "  Time,h");
    EXPECT_EQ(lines[2], "   0,208 |         12m 30s |        1  Ramp | ");
    EXPECT_EQ(lines[3], "   1,500 |          1h 30m |     25,5  Step | ");
}

TEST(FormatSegmentProgramsTable, EveryDevicesSegmentsAreListedAndSharedTimesShareALine) {
    const auto lines = Lines(FormatSegmentProgramsTable(
        {"m", "1", "COM3|MFC-A|5 10 Step", "com3 |MFC-B|1 1 Step", "COM4|Pump|1 20 Step\r\n5 30 Ramp\r\n9 0 Step"}));
    ASSERT_EQ(lines.size(), 5u);
    // A port written like an earlier one lists its segments in the earlier one's column.
    EXPECT_EQ(lines[2], "   1.000 |              1m |        1  Step |                |       20  Step | ");
    EXPECT_EQ(lines[3], "   5.000 |              5m |       10  Step |                |       30  Ramp | ");
    EXPECT_EQ(lines[4], "   9.000 |              9m |                |                |        0  Step | ");
}

TEST(FormatSegmentProgramsTable, TwoSegmentsInOneSecondShowTheLaterOne) {
    const auto lines = Lines(FormatSegmentProgramsTable({"m", "1", "COM3|MFC-A|10 20 Step\r\n10.001 30 Ramp"}));
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[2], "  10.000 |             10m |       30  Ramp | ");
}

TEST(FormatSegmentProgramsTable, MissingInputIsNamed) {
    struct Case {
        std::vector<std::string> lines;
        const char* result;
    };
    const Case cases[] = {
        {{"m", "1"}, "No segment programs to format"},
        {{"", "1", "COM3|MFC-A|1 1 Step"}, "Time unit name not provided"},
        {{"m", "x", "COM3|MFC-A|1 1 Step"}, "Time conversion factor not provided"},
        {{"m", "0", "COM3|MFC-A|1 1 Step"}, "Time conversion factor not provided"},
    };
    for (const Case& c : cases) EXPECT_EQ(FormatSegmentProgramsTable(c.lines), c.result);
    EXPECT_EQ(FormatSegmentProgramsTable({"m", "1,5", "COM3|MFC-A|"}, '.'), "Time conversion factor not provided");
}

TEST(FormatSegmentProgramsTable, AnUnreadableLineIsToldAndTheRestListed) {
    MessageCapture messages;
    const auto lines = Lines(FormatSegmentProgramsTable({"m", "1", "COM3|MFC-A|1 x Step\r\n2 5 Step"}));
    EXPECT_EQ(messages.messages, std::vector<std::string>{"Failed to read segment"});
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[3], "   2.000 |              2m |        5  Step | ");
}

}  // namespace
}  // namespace tessaro
