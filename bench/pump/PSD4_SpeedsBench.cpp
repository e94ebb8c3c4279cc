#include <benchmark/benchmark.h>

#include "pump/PSD4_Speeds.h"

namespace tessaro {
namespace {

// One plan per pump and engine tick; the wish decides which search runs and how long.
void BM_PlanPumpSpeed(benchmark::State& state) {
    TPumpSpeedDetails details;
    details.Init();
    const double desired = static_cast<double>(state.range(0));
    for (auto _ : state) {
        details.DesiredDispense_µgpm = desired;
        benchmark::DoNotOptimize(PlanPumpSpeed(details));
        benchmark::DoNotOptimize(details.Command.data());
    }
}
// Stepped (100, 400), continuous (700, 50000) and the full 25 passes (200000).
BENCHMARK(BM_PlanPumpSpeed)->Arg(100)->Arg(400)->Arg(700)->Arg(50000)->Arg(200000);

}  // namespace
}  // namespace tessaro
