#pragma once
// The rules of the "Design segments" page over the segment table: adding or replacing a
// segment, the order of the rows, the type toggle, filling the fields from a row and the
// start time as a duration. Table cells hold minutes and numbers with '.' whatever the
// locale, so that they read back with StrToFloatDot and copy into a program text.

#include <string>
#include <string_view>

#include "segments/SegmentProgram.h"

namespace tessaro {

// The page's fields: what "Add / Apply Segment" adds and what picking a row fills in.
struct TSegmentEntry {
    double StartTime = 0;        // in the display's time unit
    double Flow_pct = 0;         // percent of full scale
    std::string aType = "Step";  // the type button's caption
    std::string Note;            // as typed, with real spaces
};

inline constexpr const char* kStepType = "Step";
inline constexpr const char* kRampType = "Ramp";
inline constexpr const char* kStepIcon = "corner-right-up-line";
inline constexpr const char* kRampIcon = "increase-arrow-up";

// Whether two segment times in minutes are the same time. A time typed in hours or days
// comes out of its conversion to minutes with a rounding error (1.1 h is 66.00000000000001
// minutes); times that close are one time. The tolerance, a billionth of the time, is far
// below anything the table shows or an operator types.
bool SameSegmentTime(double a_min, double b_min);

// The first row whose time cell is the same time as `minutes`, -1 when none. Throws
// ConversionError for a time cell that is not a number.
int MatchingSegmentRow(const TSegmentTable& table, double minutes);

// The table's order: the smaller time first; equal times compare equal. Throws
// ConversionError for a time cell that is not a number.
bool SegmentRowBefore(const TSegmentTableRow& a, const TSegmentTableRow& b);
// Sorts by time, rows of equal times keeping their order.
void SortSegmentTable(TSegmentTable& table);

// "Add / Apply Segment": the entry replaces the flow, type and note of the row at its time,
// or is added as a new row with a note cell (possibly empty); then the table is sorted.
// `timeFactor` is the display unit in minutes (1, 60 or 1440).
void ApplySegmentToTable(TSegmentTable& table, const TSegmentEntry& entry, double timeFactor);

// The type button after a click: "Step" becomes "Ramp", anything else "Step".
std::string ToggledSegmentType(std::string_view caption);
// The icon shown with a type caption.
const char* SegmentTypeIcon(std::string_view caption);

// The fields a picked row fills in: its time in the display unit, its flow, its type word
// as written and its note (empty without a note cell). Throws ConversionError when the time
// or flow cell is not a number.
TSegmentEntry SegmentEntryOfRow(const TSegmentTableRow& row, double timeFactor);

// The "Time conversions" label: the start time as days, hours and minutes.
std::string StartTimeConversions(double startTime, double timeFactor, char decimalSeparator);

// The termination setting of the radio group's item: item 0 "Go to 0 %", item 1 "Keep last
// flow indefinitely"; with no item selected the safe one, 0 %.
inline constexpr int kGoToZeroItem = 0;
inline constexpr int kKeepLastFlowItem = 1;
TSegProgTermination TerminationOfItem(int itemIndex);
// The item that shows a device's setting.
int ItemOfTermination(TSegProgTermination termination);

}  // namespace tessaro
