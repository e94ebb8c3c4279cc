#pragma once
// The run settings of a device's segment program as the "Design segments" page edits them:
// what follows the last point, how often the program runs, and its holdback and alarm
// bands. The page shows them for the focused device and hands them back on every change.

namespace tessaro {

struct TDeviceInfo;

struct TProgramOptions {
    int TerminationItem = 0;  // the item of "Segment program termination type"
    int Repeat = 1;           // "Repeat program, times"
    double HoldbackBand_pct = 0;
    double LongestHold_s = 60;
    double AlarmBand_pct = 5;
    double AlarmDelay_s = 30;
    bool operator==(const TProgramOptions&) const = default;
};

// The bounds of the page's fields; values outside are taken at the nearest bound.
inline constexpr double kMaximumBand_pct = 100;
inline constexpr double kMaximumSeconds = 86400;

TProgramOptions ProgramOptionsOf(const TDeviceInfo& device);
// Takes `options` into `device`, each value within its bounds.
void TakeProgramOptions(TDeviceInfo& device, const TProgramOptions& options);

}  // namespace tessaro
