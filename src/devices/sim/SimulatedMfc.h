#pragma once
// A simulated flow controller: the unit's ASCII language as the driver uses it. After the
// initialisation replies it reports mass flow and setpoint in counts (64000 = full scale);
// the mass flow follows the setpoint with a first-order lag plus a little noise. Status
// flags are appended on demand.

#include <random>
#include <string>
#include <vector>

#include "sim/InstrumentModel.h"

namespace tessaro::sim {

struct SimMfcConfig {
    char UnitID = 'A';
    int Gas = 8;                  // the controller's gas number (8: N2)
    double FullScale_slpm = 1.0;  // full scale in standard litres per minute
    std::string SerialNumber = "100001";
    double LagSeconds = 0.8;  // time constant of the flow following the setpoint
    double NoiseCounts = 12;  // reported mass flow wobbles by up to this many counts
    unsigned Seed = 1;
};

class SimulatedMfc : public InstrumentModel {
public:
    explicit SimulatedMfc(SimMfcConfig config);

    std::optional<std::string> Answer(std::string_view line, double now) override;
    std::string Describe() const override;

    void SetFlags(std::vector<std::string> tokens) { flags_ = std::move(tokens); }
    // The flow's time constant from now on: a large one makes a controller that lags far
    // behind its setpoint (a flow that cannot follow), a tiny one a flow that follows at once.
    void SetLagSeconds(double seconds);
    int Gas() const { return gas_; }
    double SetpointCounts() const { return setpoint_; }
    // The flow without noise at `now`, counts.
    double MassFlowCounts(double now);
    // Full scale of the selected gas in g/min.
    double FullScale_gpm() const;

private:
    void Advance(double now);
    std::string StatusLine(double now);
    std::string Reply(std::string_view text) const;

    SimMfcConfig config_;
    int gas_;
    double setpoint_ = 0;
    double flow_ = 0;
    double totalizer_ = 0;
    double lastTime_ = -1;
    std::vector<std::string> flags_;
    std::mt19937 random_;
};

// Short name and molar mass (g/mol) of a gas number; unknown numbers get "G<n>" and air's.
struct SimGas {
    std::string ShortName;
    double MolarMass;
};
SimGas SimGasOf(int gas);

}  // namespace tessaro::sim
