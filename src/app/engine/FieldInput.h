#pragma once
// What the operator types into number and text fields: whether a number field's text is a
// number within the field's range, the message that refuses it, and names kept to their
// printable characters. A field that is not a number in its range is never read as its last
// valid value: the command that would use it is refused and says which field and range.

#include <optional>
#include <string>
#include <string_view>

namespace tessaro {

struct TNumberRange {
    double Minimum = 0;
    double Maximum = 0;
    // The minimum itself is refused (a pressure of 0 bar, a temperature of absolute zero).
    bool MinimumExcluded = false;
};

// The number `text` stands for ("." or "," as decimal separator, blanks around it
// ignored), when it is one within `range`.
std::optional<double> NumberInRange(std::string_view text, const TNumberRange& range);
// "from 0 to 100", "above 0 and at most 10000", numbers with the operator's separator.
std::string RangeText(const TNumberRange& range, char separator);
// "Setpoint, %: type a number from 0 to 100."
std::string RefusedFieldMessage(std::string_view caption, const TNumberRange& range, char separator);

}  // namespace tessaro
