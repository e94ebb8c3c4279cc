#include "pump/PSD4_Speeds.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <limits>

#include "protocol/PSD4Protocol.h"
#include "text/NumberFormat.h"
#include "text/TextScan.h"

namespace tessaro {

namespace {

constexpr int32_t kMinSpeedCode = 5;
constexpr int32_t kMaxSpeedCode = 1000;
constexpr int32_t kMinStepDelay_ms = 5;
constexpr int32_t kMaxStepDelay_ms = 30000;
constexpr int kMaxContinuousIterations = 25;
constexpr double kLargest = std::numeric_limits<double>::max();
constexpr const char* kLineEnd = "\r\n";

// Micrograms moved by one full stroke.
double strokeMass_µg(const TPumpSpeedDetails& details) {
    return details.SyringeVolume_µl * 1000 * details.FluidDensity;
}

// The bisections only ever halve or double codes within 1..30000, so the rounded value
// always fits.
int32_t NearestCode(double x) { return static_cast<int32_t>(RoundHalfToEven(x)); }

std::string continuousCommand(int32_t V) { return "gIV6000A24000OV" + std::to_string(V) + "A0GR"; }

std::string steppedCommand(int32_t M) { return "gIV6000A24000OV1000gD1M" + std::to_string(M) + "G24000GR"; }

// Texts of the trace's numbers in the general form. The texts of the latest few distinct
// values are kept: a line shows the previous line's error again, and a bracket end that
// did not move shows the same error again.
class NumberTexts {
public:
    explicit NumberTexts(char separator) : separator_(separator) {}
    // Valid until the next call.
    const std::string& operator()(double value) {
        for (const Written& written : latest_)
            if (written.used && written.value == value) return written.text;
        Written& slot = latest_[next_];
        next_ = (next_ + 1) % latest_.size();
        slot.used = true;
        slot.value = value;
        slot.text = FormatGeneral(value, separator_);
        return slot.text;
    }

private:
    struct Written {
        bool used = false;
        double value = 0;
        std::string text;
    };
    char separator_;
    std::array<Written, 3> latest_;
    std::size_t next_ = 0;
};

void appendWhole(std::string& text, int32_t value) {
    std::array<char, 16> digits{};
    const auto end = std::to_chars(digits.data(), digits.data() + digits.size(), value).ptr;
    text.append(digits.data(), end);
}

// Bisection over the step delay M by the sign of the error at the midpoint. The best
// candidate is remembered before each move; the one computed in the last pass is not
// compared any more.
void planStepped(TPumpSpeedDetails& details, NumberTexts& numberText, const std::string& desiredText) {
    const double desired = details.DesiredDispense_µgpm;
    // No program runs backwards: a negative wish is planned as a wish of nothing, whose
    // nearest program is the slowest. Measured from the wish itself, an enormous negative
    // wish would leave every candidate equally far (or infinitely far) away.
    const double reachable = std::max(desired, 0.0);
    std::string& trace = details.Feedback;
    int32_t low = 1;
    int32_t high = kMaxStepDelay_ms;
    double bestError = kLargest;
    int32_t bestM = 0;
    double bestAchieved = 0;

    int32_t M = NearestCode((low + high) / 2.0);
    double achieved = SteppedDispenseRate(details, M);
    double error = reachable - achieved;
    double previousError = kLargest;
    // The state a "Stop:" line shows is shown again by the next "Start:" line.
    std::string state;
    const auto showState = [&] {
        state.clear();
        state += "BL:";
        appendWhole(state, low);
        state += " M:";
        appendWhole(state, M);
        state += " BH:";
        appendWhole(state, high);
        state += " Desired:";
        state += desiredText;
        state += " Achieved:";
        state += numberText(achieved);
        state += " Error:";
        state += numberText(error);
        state += " Prev Error:";
        state += numberText(previousError);
        state += kLineEnd;
        trace += "Stop: ";
        trace += state;
    };
    showState();

    while (high - low > 1) {
        trace += "Start: ";
        trace += state;
        if (std::fabs(error) < std::fabs(bestError)) {
            bestError = error;
            bestM = M;
            bestAchieved = achieved;
        }
        if (error > 0)  // too slow: shorter delays
            high = M;
        else
            low = M;
        M = NearestCode((low + high) / 2.0);
        achieved = SteppedDispenseRate(details, M);
        previousError = error;
        error = reachable - achieved;
        showState();
    }

    details.AchievedDispense_µgpm = bestAchieved;
    details.Command = steppedCommand(bestM);
    trace += "Final: M:";
    appendWhole(trace, bestM);
    trace += " Desired:";
    trace += desiredText;
    trace += " Achieved:";
    trace += numberText(bestAchieved);
    if (desired > 0) details.Error_pct = (bestAchieved - desired) / desired * 100;
}

// Narrows the bracket of speed codes by moving its farther end to the midpoint; an end that
// overshot the wish is widened again by halving or doubling. Ends after 25 passes at most.
void planContinuous(TPumpSpeedDetails& details, NumberTexts& numberText) {
    const double desired = details.DesiredDispense_µgpm;
    std::string& trace = details.Feedback;
    int32_t low = kMinSpeedCode;
    int32_t high = kMaxSpeedCode;
    double errorLow = kLargest;
    double errorHigh = kLargest;
    const auto showBracket = [&] {
        trace += "BL:";
        appendWhole(trace, low);
        trace += " EL:";
        trace += numberText(errorLow);
        trace += " * BH:";
        appendWhole(trace, high);
        trace += " EH:";
        trace += numberText(errorHigh);
        trace += kLineEnd;
    };

    for (int pass = 0; high - low > 1 && pass < kMaxContinuousIterations; ++pass) {
        errorLow = desired - ContinuousDispenseRate(details, low);
        errorHigh = desired - ContinuousDispenseRate(details, high);
        showBracket();
        if (errorLow < 0)  // even the low end is too fast
            low = NearestCode(low / 2.0);
        else if (errorHigh > 0)  // even the high end is too slow
            high = NearestCode(high * 2.0);
        else if (std::fabs(errorHigh) > std::fabs(errorLow))
            high = NearestCode((low + high) / 2.0);
        else
            low = NearestCode((low + high) / 2.0);
        low = std::max(low, kMinSpeedCode);
        high = std::min(high, kMaxSpeedCode);
    }
    showBracket();

    errorLow = desired - ContinuousDispenseRate(details, low);
    errorHigh = desired - ContinuousDispenseRate(details, high);
    const int32_t V = std::fabs(errorHigh) > std::fabs(errorLow) ? low : high;
    details.Command = continuousCommand(V);
    details.AchievedDispense_µgpm = ContinuousDispenseRate(details, V);
    details.Error_pct = (details.AchievedDispense_µgpm / desired - 1) * 100;
}

}  // namespace

void TPumpSpeedDetails::Init() {
    SyringeVolume_µl = 12.5;
    TotalSteps = 24000;
    FluidDensity = 0.99819;
    DesiredDispense_µgpm = 0;
    AchievedDispense_µgpm = 0;
    Error_pct = 0;
}

double ContinuousDispenseRate(const TPumpSpeedDetails& details, int32_t V) {
    const double speed = std::clamp(V, kMinSpeedCode, kMaxSpeedCode);
    const double cycle_s = (24000.0 / speed / 4) * 1.000319 + 1.668;
    return 60 / cycle_s * strokeMass_µg(details);
}

double SteppedDispenseRate(const TPumpSpeedDetails& details, int32_t M) {
    const double delay_ms = std::clamp(M, kMinStepDelay_ms, kMaxStepDelay_ms);
    const double cycle_s = ((delay_ms + 0.44) * 24000 + 1039200) / 1000 + 1.668;
    return details.SyringeVolume_µl / (cycle_s / 60) * 1000 * details.FluidDensity;
}

bool PlanPumpSpeed(TPumpSpeedDetails& details, char decimalSeparator) {
    const double desired = details.DesiredDispense_µgpm;
    NumberTexts numberText(decimalSeparator);
    const std::string desiredText = numberText(desired);
    const double breakpoint = ContinuousDispenseRate(details, kMinSpeedCode);
    std::string& trace = details.Feedback;
    trace.clear();
    trace.reserve(4096);
    trace += "Desired dispense:";
    trace += desiredText;
    trace += " µL/min";
    trace += kLineEnd;
    trace += "Formula breakpoint:";
    trace += numberText(breakpoint);
    trace += " µL/min";
    trace += kLineEnd;

    // Not a number: no program can be chosen, so the pump is stopped as for nothing wanted.
    if (desired == 0 || std::isnan(desired)) {
        details.AchievedDispense_µgpm = 0;
        details.Command = kPumpTerminateProgram;
        return false;
    }
    if (desired <= breakpoint)
        planStepped(details, numberText, desiredText);
    else
        planContinuous(details, numberText);
    return true;
}

}  // namespace tessaro
