#include "engine/FieldInput.h"

#include <cmath>

#include "segments/SegmentProgram.h"
#include "text/Errors.h"
#include "text/NumberFormat.h"
#include "text/TextScan.h"

namespace tessaro {

std::optional<double> NumberInRange(std::string_view text, const TNumberRange& range) {
    const std::string_view trimmed = TrimBlanksAndControls(text);
    if (trimmed.empty()) return std::nullopt;
    double value = 0;
    try {
        value = StrToFloatAnySeparator(std::string(trimmed));
    } catch (const ConversionError&) {
        return std::nullopt;
    }
    if (!std::isfinite(value) || value > range.Maximum) return std::nullopt;
    if (range.MinimumExcluded ? value <= range.Minimum : value < range.Minimum) return std::nullopt;
    return value;
}

std::string RangeText(const TNumberRange& range, char separator) {
    const std::string minimum = FormatGeneral(range.Minimum, separator);
    const std::string maximum = FormatGeneral(range.Maximum, separator);
    if (range.MinimumExcluded) return "above " + minimum + " and at most " + maximum;
    return "from " + minimum + " to " + maximum;
}

std::string RefusedFieldMessage(std::string_view caption, const TNumberRange& range, char separator) {
    return std::string(caption) + ": type a number " + RangeText(range, separator) + ".";
}

}  // namespace tessaro
