// The engine evaluates programs read once; the text functions stay the reference. Every
// program here is evaluated both ways at every time that matters to it, and the records and
// the messages shown must be the same.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "MessageCapture.h"
#include "segments/ProgramRun.h"
#include "segments/SegmentProgram.h"

namespace tessaro {
namespace {

const char* const kPrograms[] = {
    "",
    "10 100 Ramp\r\n12 100 Step Some_random_comment\r\n12.5 30 Ramp\r\n15 50 Step\r\n20 30 Step\r\n24 0 Ramp",
    "10 100 Step",
    "10 100 Ramp\n",
    // out of time order: the first line in text order not before t decides
    "20 50 Ramp\r\n5 10 Step\r\n30 80 Ramp\r\n25 40 Ramp\r\n40 0 Step",
    "5 10 Ramp\r\n5 20 Ramp\r\n5 30 Step\r\n8 0 Ramp",
    // lines that do not read, at the start, in the middle and at the end
    "x 20 Ramp\r\n10 50 Step\r\n12 y Ramp\r\n15 60\r\n20 10 Ramp\r\n30 5",
    "10 50 ramp\r\n20 10 STEP a_note\r\n30 40 Jump",
    "  10   50   Ramp  note \r\n\r\n20 10 Step a b c\r\r\n30 0 Ramp",
    "0 50 Ramp\r\n0 60 Step\r\n1e3 100 Ramp\r\n-5 20 Ramp\r\n2000.125 0.5 Ramp",
    "1e308 100 Ramp\r\n1e400 50 Ramp\r\n.5 1 Step\r\n+7 2 Ramp\r\n+-8 3 Ramp",
};

std::vector<double> TimesWorthAsking(const TParsedSegmentProgram& program) {
    std::vector<double> times = {-1,
                                 0,
                                 1e-9,
                                 2.5,
                                 1e9,
                                 std::nan(""),
                                 std::numeric_limits<double>::infinity(),
                                 -std::numeric_limits<double>::infinity()};
    for (int i = 0; i < program.Count(); ++i) {
        const double time = ReadSegment(i, program.Text()).Time;
        for (double t : {time, std::nextafter(time, -1e300), std::nextafter(time, 1e300), time + 0.5, time - 0.5})
            times.push_back(t);
    }
    return times;
}

// Equal as records, NaN equal to NaN.
void ExpectSameSegment(const TSegment& expected, const TSegment& actual) {
    auto same = [](double a, double b) { return (std::isnan(a) && std::isnan(b)) || a == b; };
    EXPECT_TRUE(same(expected.Time, actual.Time)) << expected.Time << " != " << actual.Time;
    EXPECT_TRUE(same(expected.Setpoint, actual.Setpoint)) << expected.Setpoint << " != " << actual.Setpoint;
    EXPECT_EQ(expected.aType, actual.aType);
    EXPECT_EQ(expected.Index, actual.Index);
    EXPECT_EQ(expected.Note, actual.Note);
}

class ParsedProgramTest : public testing::TestWithParam<const char*> {};

TEST_P(ParsedProgramTest, EvaluatesAsTheTextDoesWithTheSameMessages) {
    MessageCapture outside;  // what picking the times shows
    const TParsedSegmentProgram parsed{std::string(GetParam())};
    EXPECT_EQ(parsed.Count(), SegmentCount(GetParam()));
    for (double t : TimesWorthAsking(parsed)) {
        SCOPED_TRACE("at " + std::to_string(t) + " min");
        MessageCapture fromText;
        const TSegment expected = SegmentAtTime(GetParam(), t);
        const std::vector<std::string> textMessages = fromText.messages;
        fromText.messages.clear();
        ExpectSameSegment(expected, parsed.At(t));
        EXPECT_EQ(fromText.messages, textMessages);
    }
}

TEST_P(ParsedProgramTest, RunsItsCyclesAndEndAsTheTextDoes) {
    MessageCapture outside;
    const TParsedSegmentProgram parsed{std::string(GetParam())};
    for (TSegProgTermination end : {TSegProgTermination::tspttKeep, TSegProgTermination::tspttZero}) {
        for (int repeat : {1, 3}) {
            const TProgramRunRules rules{end, repeat};
            EXPECT_EQ(CycleLength_min(parsed), CycleLength_min(GetParam()));
            for (double t : TimesWorthAsking(parsed)) {
                SCOPED_TRACE("at " + std::to_string(t) + " min, repeat " + std::to_string(repeat));
                MessageCapture messages;
                const TProgramMoment expected = ProgramAt(GetParam(), rules, t);
                const std::vector<std::string> textMessages = messages.messages;
                messages.messages.clear();
                const TProgramMoment actual = ProgramAt(parsed, rules, t);
                EXPECT_EQ(actual.Cycle, expected.Cycle);
                EXPECT_EQ(actual.Ended, expected.Ended);
                EXPECT_TRUE(actual.Setpoint_pct == expected.Setpoint_pct ||
                            (std::isnan(actual.Setpoint_pct) && std::isnan(expected.Setpoint_pct)));
                EXPECT_EQ(messages.messages, textMessages);
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Programs, ParsedProgramTest, testing::ValuesIn(kPrograms));

TEST(ParsedProgramTest, ALongProgramFindsTheLineOfEachTime) {
    std::string text;
    for (int i = 1; i <= 16000; ++i)
        text += std::to_string(i) + " " + std::to_string(i % 101) + (i % 2 ? " Ramp" : " Step") + "\r\n";
    const TParsedSegmentProgram parsed(text);
    for (double t : {0.5, 1.0, 7999.25, 8000.0, 15999.5, 16000.0, 16000.5}) {
        SCOPED_TRACE(t);
        ExpectSameSegment(SegmentAtTime(text, t), parsed.At(t));
    }
}

TEST(ParsedProgramCacheTest, ReadsAProgramAgainOnlyWhenItsTextChanged) {
    TParsedProgramCache cache;
    TProgramText text("10 100 Ramp");
    const TParsedSegmentProgram* first = &cache.For("COM1", text);
    EXPECT_EQ(first->At(5).Setpoint, 50);
    EXPECT_EQ(&cache.For("COM1", text), first);
    EXPECT_EQ(cache.For("COM1", text).Text(), text.Text());

    text = "10 100 Step";  // same length, other text
    EXPECT_EQ(cache.For("COM1", text).At(5).Setpoint, 0);
    EXPECT_EQ(cache.For("COM2", TProgramText("10 40 Ramp")).At(5).Setpoint, 20);  // each device has its own
    EXPECT_EQ(cache.For("COM1", text).At(10).Setpoint, 0);
}

// Device records are copied and replaced whole: a record of the same port with another
// text, even one made apart from the first, must never pass for the cached one.
TEST(ParsedProgramCacheTest, TellsTextsApartByVersionAcrossCopiesAndRecords) {
    TParsedProgramCache cache;
    const TProgramText original("10 100 Ramp");
    const TProgramText copy = original;
    EXPECT_EQ(copy.Version(), original.Version());
    EXPECT_EQ(cache.For("COM1", original).At(5).Setpoint, 50);
    EXPECT_EQ(cache.For("COM1", copy).At(5).Setpoint, 50);

    TProgramText other;  // another record's text, begun empty
    EXPECT_EQ(other.Version(), 0u);
    other = "10 100 Step";
    EXPECT_NE(other.Version(), original.Version());
    EXPECT_EQ(cache.For("COM1", other).At(5).Setpoint, 0);

    TProgramText emptied = original;
    emptied.clear();
    EXPECT_TRUE(emptied.empty());
    EXPECT_NE(emptied.Version(), original.Version());
    EXPECT_EQ(cache.For("COM1", emptied).Count(), 0);
}

}  // namespace
}  // namespace tessaro
