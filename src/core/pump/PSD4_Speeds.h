#pragma once
// Speed planning for the syringe pump. The pump cannot be told a rate, only a program of
// moves; two endless dispense programs are modelled and the parameter whose modelled rate
// lies closest to the wish is chosen:
//   continuous "gIV6000A24000OV<V>A0GR": fill, then dispense the stroke at speed code V
//              (5..1000, faster with V);
//   stepped    "gIV6000A24000OV1000gD1M<M>G24000GR": fill, then 24000 single steps each
//              followed by a wait of M ms (5..30000, slower with M).
// Wishes up to the continuous rate at V = 5 use the stepped program. Pure computation.

#include <cstdint>
#include <string>

namespace tessaro {

struct TPumpSpeedDetails {
    double SyringeVolume_µl = 0;  // volume of one full stroke
    int32_t TotalSteps = 0;       // steps of a full stroke; the rate models assume 24000
    double FluidDensity = 0;      // g/mL
    double DesiredDispense_µgpm = 0;
    double AchievedDispense_µgpm = 0;  // modelled rate of the chosen program
    double Error_pct = 0;              // deviation of the achieved from the desired rate
    std::string Command;               // the pump program, command letters only
    std::string Feedback;              // the planning trace, lines end with CR LF

    // A 12.5 µl syringe with water near 20 ºC, nothing desired; Command and Feedback stay.
    void Init();
};

// Modelled µg/min of the continuous program; V is clamped to 5..1000.
double ContinuousDispenseRate(const TPumpSpeedDetails& details, int32_t V);
// Modelled µg/min of the stepped program; M is clamped to 5..30000.
double SteppedDispenseRate(const TPumpSpeedDetails& details, int32_t M);

// Fills Command, AchievedDispense_µgpm, Error_pct and Feedback for DesiredDispense_µgpm.
// A wish of 0 gives the command "TR" (stop the running program) and false; so does a wish
// that is not a number. Numbers in the trace use the given decimal separator.
bool PlanPumpSpeed(TPumpSpeedDetails& details, char decimalSeparator = '.');

}  // namespace tessaro
