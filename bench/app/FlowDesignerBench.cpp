// Recomputing the designer's mixture while a slider is dragged: five devices on different
// gases (a stock mixture among them), each at a designed flow.

#include <benchmark/benchmark.h>

#include "engine/FlowDesigner.h"
#include "engine/Startup.h"
#include "registry/Brinvale_DeviceInfo.h"

namespace tessaro {
namespace {

TDeviceInfo Controller(std::string port, int gasID, double fullScale_sccm) {
    TDeviceInfo device;
    device.COMPort = std::move(port);
    device.DevType = dtMFCA;
    device.FluidID = gasID;
    device.FlowUnitDevice = FlowUnitMlnAir();
    device.FlowUnitDevice.SetGasFlowMax(fullScale_sccm);
    device.FlowUnitUser = device.FlowUnitDevice.Clone();
    return device;
}

void BM_DesignedMixtureOfFiveDevices(benchmark::State& state) {
    InitializeModules();
    // Air, Ar, CO2, N2 and O2 by their gas numbers.
    DevicesLocal() = {Controller("COM1", 0, 1000), Controller("COM2", 1, 500), Controller("COM3", 4, 200),
                      Controller("COM4", 8, 5000), Controller("COM5", 11, 100)};
    const std::vector<TDesignedComponent> flows{
        {"COM1", 400}, {"COM2", 120}, {"COM3", 33}, {"COM4", 2500}, {"COM5", 12.5}};
    for (auto _ : state) benchmark::DoNotOptimize(DesignedMixture(flows, '.'));
    DevicesLocal().clear();
}
BENCHMARK(BM_DesignedMixtureOfFiveDevices)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace tessaro
