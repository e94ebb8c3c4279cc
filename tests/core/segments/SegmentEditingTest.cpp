// The segment table as the "Design segments" page edits it.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "segments/SegmentEditing.h"
#include "text/Errors.h"

namespace tessaro {
namespace {

TSegmentEntry Entry(double startTime, double flow, const char* type = kStepType, const char* note = "") {
    return {startTime, flow, type, note};
}

TEST(SegmentEditing, AddedSegmentsAreSortedByTimeAndEndInAnEmptyNoteCell) {
    TSegmentTable table;
    ApplySegmentToTable(table, Entry(20, 30), 1);
    ApplySegmentToTable(table, Entry(10, 100, kRampType), 1);
    ApplySegmentToTable(table, Entry(15, 12.5, kStepType, "my note"), 1);
    const TSegmentTable expected = {
        {"10", "100", "Ramp", ""}, {"15", "12.5", "Step", "my note"}, {"20", "30", "Step", ""}};
    EXPECT_EQ(table, expected);
    // A line of an empty note ends in one space, except the last one.
    EXPECT_EQ(TableToProgramText(table), "10 100 Ramp \r\n15 12.5 Step my_note\r\n20 30 Step");
}

TEST(SegmentEditing, ASegmentAtAnExistingTimeReplacesThatRow) {
    // The row read from a program has no note cell; the replaced row gets one.
    TSegmentTable table = {{"10", "100", "Ramp"}, {"90", "50", "Step", "old"}};
    ApplySegmentToTable(table, Entry(1.5, 20, kRampType, "new"), 60);
    const TSegmentTable expected = {{"10", "100", "Ramp"}, {"90", "20", "Ramp", "new"}};
    EXPECT_EQ(table, expected);
}

TEST(SegmentEditing, TimesInHoursAndDaysAreMinutesInTheTable) {
    struct Case {
        double startTime;
        double factor;
        const char* cell;
    };
    for (const Case& c : {Case{1.5, 60, "90"}, Case{0.5, 1440, "720"}, Case{12.5, 1, "12.5"}}) {
        TSegmentTable table;
        ApplySegmentToTable(table, Entry(c.startTime, 40), c.factor);
        ASSERT_EQ(table.size(), 1u);
        EXPECT_EQ(table[0][0], c.cell) << c.startTime << " x " << c.factor;
    }
}

TEST(SegmentEditing, TimesThatShowTheSameAreOneTime) {
    // 1.1 hours is 66.00000000000001 minutes; 0.7 days 1008.0000000000001.
    TSegmentTable table = {{"66", "10", "Step"}, {"1008", "10", "Step"}};
    ApplySegmentToTable(table, Entry(1.1, 20), 60);
    ApplySegmentToTable(table, Entry(0.7, 30), 1440);
    ASSERT_EQ(table.size(), 2u);
    EXPECT_EQ(table[0][1], "20");
    EXPECT_EQ(table[1][1], "30");
    // A picked row's time shown in hours converts back to its row.
    const TSegmentEntry picked = SegmentEntryOfRow({"12.5", "10", "Step"}, 60);
    EXPECT_EQ(MatchingSegmentRow({{"10", "1", "Step"}, {"12.5", "10", "Step"}}, picked.StartTime * 60), 1);
    // Times a second apart are not.
    EXPECT_FALSE(SameSegmentTime(10, 10 + 1.0 / 60));
    EXPECT_TRUE(SameSegmentTime(0, 0));
}

TEST(SegmentEditing, SortingKeepsEqualTimesInOrderAndStopsAtAnUnreadableTime) {
    TSegmentTable table = {{"20", "1", "Step"}, {"5", "2", "Step"}, {"5", "3", "Ramp"}, {"1e1", "4", "Step"}};
    SortSegmentTable(table);
    EXPECT_EQ(table,
              (TSegmentTable{{"5", "2", "Step"}, {"5", "3", "Ramp"}, {"1e1", "4", "Step"}, {"20", "1", "Step"}}));

    TSegmentTable broken = {{"20", "1", "Step"}, {"1,5", "2", "Step"}};
    const TSegmentTable before = broken;
    EXPECT_THROW(SortSegmentTable(broken), ConversionError);
    EXPECT_EQ(broken, before);
    EXPECT_THROW(SegmentRowBefore({"x", "1", "Step"}, {"1", "1", "Step"}), ConversionError);
}

TEST(SegmentEditing, NotesAreSanitisedInTheTextAndShownWithSpaces) {
    TSegmentTable table;
    ApplySegmentToTable(table, Entry(10, 5, kStepType, "Flow 5% (check)"), 1);
    const std::string program = TableToProgramText(table);
    EXPECT_EQ(program, "10 5 Step Flow_5%_check");
    ProgramTextToTable(program, table);
    EXPECT_EQ(table[0][3], "Flow 5% check");
}

TEST(SegmentEditing, APickedRowFillsTheFields) {
    const TSegmentEntry ramp = SegmentEntryOfRow({"90", "12.5", "Ramp", "a b"}, 60);
    EXPECT_EQ(ramp.StartTime, 1.5);
    EXPECT_EQ(ramp.Flow_pct, 12.5);
    EXPECT_EQ(ramp.aType, "Ramp");
    EXPECT_EQ(ramp.Note, "a b");
    // The type word as written; no note cell gives an empty note.
    const TSegmentEntry lower = SegmentEntryOfRow({"3", "1", "ramp"}, 1);
    EXPECT_EQ(lower.aType, "ramp");
    EXPECT_EQ(lower.Note, "");
    EXPECT_THROW(SegmentEntryOfRow({"3", "abc", "Step"}, 1), ConversionError);
}

TEST(SegmentEditing, TheTypeButtonTogglesWithItsIcon) {
    EXPECT_EQ(ToggledSegmentType("Step"), "Ramp");
    EXPECT_EQ(ToggledSegmentType("Ramp"), "Step");
    EXPECT_EQ(ToggledSegmentType("ramp"), "Step");
    EXPECT_STREQ(SegmentTypeIcon("Ramp"), "increase-arrow-up");
    EXPECT_STREQ(SegmentTypeIcon("Step"), "corner-right-up-line");
}

TEST(SegmentEditing, StartTimeConversionsInTheDisplayUnit) {
    EXPECT_EQ(StartTimeConversions(1.5, 60, '.'), "0 days, 1 hour, 30 minutes");
    EXPECT_EQ(StartTimeConversions(12.5, 1, ','), "0 days, 0 hours, 12,5 minutes");
    EXPECT_EQ(StartTimeConversions(1, 1440, '.'), "1 day, 0 hours, 0 minutes");
}

}  // namespace
}  // namespace tessaro
