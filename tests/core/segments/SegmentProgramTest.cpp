#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "MessageCapture.h"
#include "segments/SegmentProgram.h"
#include "text/Errors.h"

namespace tessaro {
namespace {

const char* const kDemoProgram =
    "10 100 Ramp\r\n12 100 Step Some_random_comment\r\n12.5 30 Ramp\r\n15 50 Step\r\n20 30 Step\r\n24 0 Ramp";

struct TimeCase {
    const char* program;
    double time;
    double setpoint;
};

class SegmentAtTimeTest : public testing::TestWithParam<TimeCase> {};

TEST_P(SegmentAtTimeTest, GivesThePlannedSetpoint) {
    const TimeCase& c = GetParam();
    MessageCapture messages;
    EXPECT_DOUBLE_EQ(SegmentAtTime(c.program, c.time).Setpoint, c.setpoint) << "at " << c.time << " min";
    EXPECT_TRUE(messages.messages.empty());
}

INSTANTIATE_TEST_SUITE_P(DemoProgram, SegmentAtTimeTest,
                         testing::Values(TimeCase{kDemoProgram, 0, 0}, TimeCase{kDemoProgram, 5, 50},
                                         TimeCase{kDemoProgram, 10, 100}, TimeCase{kDemoProgram, 11, 100},
                                         TimeCase{kDemoProgram, 12, 100},  // a Step at its own time
                                         TimeCase{kDemoProgram, 12.25, 65}, TimeCase{kDemoProgram, 13, 30},
                                         TimeCase{kDemoProgram, 15, 30}, TimeCase{kDemoProgram, 15.5, 50},
                                         TimeCase{kDemoProgram, 20.5, 26.25}, TimeCase{kDemoProgram, 24, 0},
                                         TimeCase{kDemoProgram, 25, 0}));

INSTANTIATE_TEST_SUITE_P(EdgesOfAProgram, SegmentAtTimeTest,
                         testing::Values(TimeCase{"10 100 Step", 5, 0}, TimeCase{"10 100 Ramp", 2.5, 25},
                                         TimeCase{"10 50 ramp", 5, 0},  // only the exact word "Ramp" ramps
                                         TimeCase{"", 3, 0}, TimeCase{"0 40 Ramp", 0, 40},
                                         TimeCase{"0 40 Ramp", -1, 40},
                                         TimeCase{"5 100 Ramp", -5, 0},  // no extrapolation before the start
                                         TimeCase{"20 50 Step\r\n10 80 Ramp", 15, 0},  // text order decides
                                         TimeCase{"1e300 100 Ramp", 1.5e300, 0}, TimeCase{"1e308 100 Ramp", 1e308, 100},
                                         TimeCase{"10 100 Ramp\n20 0 Ramp\n", 15, 50}));

TEST(SegmentAtTimeTest, BeforeAFirstStepGivesTheImplicitStartPoint) {
    const TSegment s = SegmentAtTime("10 100 Step", 5);
    EXPECT_EQ(s.Index, -2);
    EXPECT_EQ(s.aType, "Step");
    EXPECT_EQ(s.Time, 0);
}

TEST(SegmentAtTimeTest, AStepResultIsThePreviousPointItself) {
    const TSegment s = SegmentAtTime(kDemoProgram, 14);
    EXPECT_EQ(s.Time, 12.5);
    EXPECT_EQ(s.Index, 2);
    EXPECT_EQ(s.aType, "Ramp");
}

TEST(SegmentAtTimeTest, PastTheLastPointIsAHardCodedZero) {
    const TSegment s = SegmentAtTime(kDemoProgram, 30);
    EXPECT_EQ(s.Time, 30);
    EXPECT_EQ(s.Setpoint, 0);
    EXPECT_EQ(s.Note, "Hard coded zero flow for past last programmed point.");
}

TEST(SegmentAtTimeTest, ANaNTimeNeverGivesANaNSetpoint) {
    EXPECT_EQ(SegmentAtTime(kDemoProgram, std::nan("")).Setpoint, 0);
}

TEST(SegmentAtTimeTest, AnUnreadableLineIsReportedOncePerCallAndCountsAsAStep) {
    MessageCapture messages;
    EXPECT_EQ(SegmentAtTime("10 50 Step\r\nx 20 Ramp\r\n30 80 Ramp", 40).Setpoint, 0);
    EXPECT_EQ(messages.messages, std::vector<std::string>{"Failed to read segment"});
}

struct ValidationCase {
    const char* text;
    bool valid;
    std::vector<std::string> messages;
};

class ValidateTest : public testing::TestWithParam<ValidationCase> {};

TEST_P(ValidateTest, ReportsEveryProblemInOrder) {
    const ValidationCase& c = GetParam();
    MessageCapture messages;
    EXPECT_EQ(ValidateSegmentProgram(c.text), c.valid);
    EXPECT_EQ(messages.messages, c.messages);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ValidateTest,
    testing::Values(ValidationCase{kDemoProgram, true, {}}, ValidationCase{"", true, {}},
                    ValidationCase{"10 50 ramp\r\n20 10 STEP a_note", true, {}},
                    ValidationCase{"10,5 50 Step", false, {"Invalid character: ,", "Invalid time format"}},
                    ValidationCase{"10 50 Step note-1", true, {"Invalid character: -"}},
                    ValidationCase{"10 120 Step", false, {"Setpoint out of bounds:120"}},
                    ValidationCase{"-5 50 Step", false, {"Invalid character: -", "Time out of bounds: -5"}},
                    ValidationCase{"10  50 Step", false, {"Invalid S/R"}},
                    ValidationCase{"10 50 Step\r\n\r\n12 50 Step", false, {"Invalid element count"}},
                    ValidationCase{"   ", false, {"Invalid element count"}},
                    ValidationCase{"10 50 Jump", false, {"Invalid S/R"}},
                    ValidationCase{"10 50 Step a b", false, {"Invalid element count"}},
                    // a bad number does not stop the checks of its line
                    ValidationCase{"x y Step", false, {"Invalid time format", "Invalid setpoint format"}},
                    // the first failing bound stops the validation
                    ValidationCase{"10 101 Step\r\n10 200 Step", false, {"Setpoint out of bounds:101"}},
                    ValidationCase{"10 50 Step\r\n12 x Ramp\r\n13 5 Ramp", false, {"Invalid setpoint format"}},
                    ValidationCase{"10 12.5µ Step", false, {"Invalid character: µ", "Invalid setpoint format"}},
                    ValidationCase{
                        "1 nan Step\r\n2 inf Step", false, {"Invalid setpoint format", "Invalid setpoint format"}}));

TEST(ValidateTest, BoundsUseTheGivenDecimalSeparator) {
    MessageCapture messages;
    EXPECT_FALSE(ValidateSegmentProgram("10 100.5 Step", ','));
    EXPECT_EQ(messages.messages, std::vector<std::string>{"Setpoint out of bounds:100,5"});
}

TEST(ReadSegmentTest, ReadsFieldsAtRunsOfBlanks) {
    const TSegment s = ReadSegment(1, kDemoProgram);
    EXPECT_EQ(s.Time, 12);
    EXPECT_EQ(s.Setpoint, 100);
    EXPECT_EQ(s.aType, "Step");
    EXPECT_EQ(s.Index, 1);
    EXPECT_EQ(s.Note, "Some_random_comment");

    const TSegment doubled = ReadSegment(0, "10  50 Step");
    EXPECT_EQ(doubled.Time, 10);
    EXPECT_EQ(doubled.Setpoint, 50);
    EXPECT_EQ(doubled.aType, "Step");
    EXPECT_EQ(ReadSegment(0, "1 2 Step a b").Note, "");  // more than four fields: no note
}

TEST(ReadSegmentTest, BeyondTheLastLineGivesTheNotFoundRecord) {
    const TSegment s = ReadSegment(5, "1 1 Step\r\n2 2 Step\r\n3 3 Step");
    EXPECT_EQ(s.Time, -1);
    EXPECT_EQ(s.Setpoint, -1);
    EXPECT_EQ(s.aType, "ID not found");
    EXPECT_EQ(s.Index, -1);
    EXPECT_EQ(s.Note, "");
}

// A number that does not read as a whole leaves its field as it was: no leading digits
// of it slip into the segment.
TEST(ReadSegmentTest, ANumberThatDoesNotReadLeavesItsFieldUntouched) {
    struct Case {
        const char* line;
        double time;
        double setpoint;
    };
    for (const Case& c :
         {Case{"5a 0 Step", 0, 0}, Case{"5 0a Step", 5, 0}, Case{"5.5.5 20 Step", 0, 0}, Case{"1e3x 20 Step", 0, 0},
          Case{"+-5 20 Step", 0, 0}, Case{"7 +-20 Step", 7, 0}, Case{"7 1e999 Step", 7, 0}}) {
        SCOPED_TRACE(c.line);
        MessageCapture messages;
        const TSegment s = ReadSegment(0, c.line);
        EXPECT_EQ(s.Time, c.time);
        EXPECT_EQ(s.Setpoint, c.setpoint);
        EXPECT_EQ(s.aType, "");
        EXPECT_EQ(messages.messages, std::vector<std::string>{"Failed to read segment"});
    }
}

TEST(ReadSegmentTest, UnreadableLinesAndNegativeIndicesAreReported) {
    MessageCapture messages;
    const TSegment partial = ReadSegment(0, "7 oops Step");
    EXPECT_EQ(partial.Time, 7);
    ReadSegment(0, "7 8");
    ReadSegment(-1, "7 8 Step");
    EXPECT_EQ(messages.messages, std::vector<std::string>(3, "Failed to read segment"));
}

TEST(SegmentCountTest, CountsLinesWithAnyBreak) {
    EXPECT_EQ(SegmentCount(""), 0);
    EXPECT_EQ(SegmentCount(kDemoProgram), 6);
    EXPECT_EQ(SegmentCount("a\rb\nc\r\n"), 3);
    EXPECT_EQ(SegmentCount("a\r\n\r\nb"), 3);
}

TEST(ProgramDurationTest, IsTheLastLinesTimeOfAValidProgram) {
    MessageCapture messages;
    EXPECT_EQ(ProgramDuration(kDemoProgram), 24);
    EXPECT_EQ(ProgramDuration("30 1 Step\r\n20 1 Step\r\n"), 20);  // the last line, not the largest time
    EXPECT_EQ(ProgramDuration(""), 0);
    EXPECT_EQ(ProgramDuration("10 120 Step"), 0);
    EXPECT_EQ(messages.messages, std::vector<std::string>{"Setpoint out of bounds:120"});
}

TEST(MergeSegmentLineTest, InsertsReplacesAndSorts) {
    std::string text = "10 50 Step\r\n20 30 Ramp";
    MergeSegmentLine(text, "15 40 Step");
    EXPECT_EQ(text, "10 50 Step\r\n15 40 Step\r\n20 30 Ramp\r\n");
    MergeSegmentLine(text, "20 10 Step note");
    EXPECT_EQ(text, "10 50 Step\r\n15 40 Step\r\n20 10 Step note\r\n");
    MergeSegmentLine(text, "bad line");  // neither three nor four fields: dropped
    EXPECT_EQ(text, "10 50 Step\r\n15 40 Step\r\n20 10 Step note\r\n");
}

TEST(MergeSegmentLineTest, AFractionalTimeFailsAndLeavesTheText) {
    std::string text = "10 50 Step\r\n12.5 30 Ramp";
    EXPECT_THROW(MergeSegmentLine(text, "15 40 Step"), ConversionError);
    EXPECT_EQ(text, "10 50 Step\r\n12.5 30 Ramp");
    std::string other = "10 50 Step";
    for (const char* line : {"99999999999999999999 1 Step", "+-5 1 Step", "5a 1 Step"}) {
        EXPECT_THROW(MergeSegmentLine(other, line), ConversionError) << line;
        EXPECT_EQ(other, "10 50 Step");
    }
}

TEST(SegmentTableTest, TableToTextSanitisesNotesAndTrims) {
    const TSegmentTable table{{"10", "100", "Ramp", ""}, {"12", "100", "Step", "my note"}};
    EXPECT_EQ(TableToProgramText(table), "10 100 Ramp \r\n12 100 Step my_note");
    EXPECT_EQ(TableToProgramText({{"1", "2", "Step", "a (b)"}}), "1 2 Step a_b");
    EXPECT_EQ(TableToProgramText({}), "");
}

TEST(SegmentTableTest, TextToTableKeepsTheTextsAndRestoresSpaces) {
    TSegmentTable table{{"old"}};
    ProgramTextToTable("10 100 Ramp\r\n12 100 Step my_note", table);
    const TSegmentTable expected{{"10", "100", "Ramp"}, {"12", "100", "Step", "my note"}};
    EXPECT_EQ(table, expected);
}

TEST(SegmentTableTest, AShortLineStopsTheTableWithAMessage) {
    MessageCapture messages;
    TSegmentTable table;
    ProgramTextToTable("10 100 Ramp\r\n12 100\r\n14 0 Step", table);
    EXPECT_EQ(table.size(), 1u);
    EXPECT_EQ(messages.messages, std::vector<std::string>{"Failed to read segment program"});
}

TEST(SegmentTableTest, RoundTripKeepsTheProgram) {
    TSegmentTable table;
    ProgramTextToTable(kDemoProgram, table);
    EXPECT_EQ(TableToProgramText(table), kDemoProgram);
}

}  // namespace
}  // namespace tessaro
