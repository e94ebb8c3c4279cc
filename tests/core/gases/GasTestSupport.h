#pragma once
// Helpers of the gas tests: the built table and the lines sent to diagnostic channels.

#include <string>
#include <utility>
#include <vector>

#include "gases/GasMixtures.h"
#include "text/Messages.h"

namespace tessaro {

// Collects the lines of one diagnostic channel while it lives.
class DiagnosticCapture {
public:
    explicit DiagnosticCapture(std::string channel)
        : channel_(std::move(channel)),
          previous_(SetDiagnosticSink([this](std::string_view lineChannel, std::string_view line) {
              if (lineChannel == channel_) lines.emplace_back(line);
          })) {}
    ~DiagnosticCapture() { SetDiagnosticSink(previous_); }
    DiagnosticCapture(const DiagnosticCapture&) = delete;
    DiagnosticCapture& operator=(const DiagnosticCapture&) = delete;

    std::vector<std::string> lines;

private:
    std::string channel_;
    DiagnosticSink previous_;
};

// Builds the gas table once per test program, as start-up does.
inline void EnsureGasList() {
    if (GasList().empty()) BuildGasList();
}

inline TGasItem Gas(int32_t id) {
    TGasItem gas;
    GetGas_ID(id, gas);
    return gas;
}

inline TGasItem GasWithFlow(int32_t id, double massFlow_gmin) {
    TGasItem gas = Gas(id);
    gas.MassFlow_gmin = massFlow_gmin;
    return gas;
}

}  // namespace tessaro
