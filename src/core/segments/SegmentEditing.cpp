#include "segments/SegmentEditing.h"

#include <algorithm>
#include <cmath>

#include "text/NumberFormat.h"

namespace tessaro {

namespace {

enum TSegmentCell : size_t { cellTime = 0, cellSetpoint = 1, cellType = 2, cellNote = 3 };
constexpr double kSameTimeTolerance = 1e-9;

std::string CellText(double value) { return FormatGeneral(value, '.'); }

}  // namespace

bool SameSegmentTime(double a_min, double b_min) {
    if (a_min == b_min) return true;
    const double scale = std::max({1.0, std::fabs(a_min), std::fabs(b_min)});
    return std::fabs(a_min - b_min) <= kSameTimeTolerance * scale;
}

int MatchingSegmentRow(const TSegmentTable& table, double minutes) {
    for (size_t i = 0; i < table.size(); ++i) {
        const TSegmentTableRow& row = table[i];
        if (!row.empty() && SameSegmentTime(StrToFloatDot(row[cellTime]), minutes)) return static_cast<int>(i);
    }
    return -1;
}

bool SegmentRowBefore(const TSegmentTableRow& a, const TSegmentTableRow& b) {
    const auto time = [](const TSegmentTableRow& row) { return StrToFloatDot(row.empty() ? "" : row[cellTime]); };
    return time(a) < time(b);
}

void SortSegmentTable(TSegmentTable& table) {
    // Every time is read once, before anything moves: a cell that is not a number stops the
    // sort with the table as it was.
    std::vector<std::pair<double, size_t>> order;
    order.reserve(table.size());
    for (size_t i = 0; i < table.size(); ++i)
        order.emplace_back(StrToFloatDot(table[i].empty() ? "" : table[i][cellTime]), i);
    std::stable_sort(order.begin(), order.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    TSegmentTable sorted;
    sorted.reserve(table.size());
    for (const auto& [time, index] : order) sorted.push_back(std::move(table[index]));
    table = std::move(sorted);
}

void ApplySegmentToTable(TSegmentTable& table, const TSegmentEntry& entry, double timeFactor) {
    const double minutes = entry.StartTime * timeFactor;
    const int match = MatchingSegmentRow(table, minutes);
    if (match >= 0) {
        TSegmentTableRow& row = table[static_cast<size_t>(match)];
        row.resize(cellNote + 1);
        row[cellSetpoint] = CellText(entry.Flow_pct);
        row[cellType] = entry.aType;
        row[cellNote] = entry.Note;
    } else {
        table.push_back({CellText(minutes), CellText(entry.Flow_pct), entry.aType, entry.Note});
    }
    SortSegmentTable(table);
}

std::string ToggledSegmentType(std::string_view caption) { return caption == kStepType ? kRampType : kStepType; }

const char* SegmentTypeIcon(std::string_view caption) { return caption == kRampType ? kRampIcon : kStepIcon; }

TSegmentEntry SegmentEntryOfRow(const TSegmentTableRow& row, double timeFactor) {
    const auto cell = [&row](size_t i) { return i < row.size() ? row[i] : std::string(); };
    TSegmentEntry entry;
    entry.StartTime = StrToFloatDot(cell(cellTime)) / timeFactor;
    entry.Flow_pct = StrToFloatDot(cell(cellSetpoint));
    entry.aType = cell(cellType);
    entry.Note = cell(cellNote);
    return entry;
}

std::string StartTimeConversions(double startTime, double timeFactor, char decimalSeparator) {
    return DurationToText(DurationStyle::Long, startTime * timeFactor, decimalSeparator);
}

TSegProgTermination TerminationOfItem(int itemIndex) {
    return itemIndex == kKeepLastFlowItem ? TSegProgTermination::tspttKeep : TSegProgTermination::tspttZero;
}

int ItemOfTermination(TSegProgTermination termination) {
    return termination == TSegProgTermination::tspttKeep ? kKeepLastFlowItem : kGoToZeroItem;
}

}  // namespace tessaro
