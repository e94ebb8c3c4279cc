// The chart draws a device's planned curve whenever it is selected or its program changes;
// a long program must draw without the operator noticing.
#include <benchmark/benchmark.h>

#include <string>

#include "segments/PlannedFlow.h"

namespace {

std::string ProgramOfLines(int lines) {
    std::string text;
    for (int i = 1; i <= lines; ++i)
        text += std::to_string(i) + "." + std::to_string(i % 10) + " " + std::to_string(i % 101) +
                (i % 2 ? " Ramp" : " Step note") + "\r\n";
    return text;
}

void BM_PlannedFlowPoints(benchmark::State& state) {
    const std::string program = ProgramOfLines(static_cast<int>(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(tessaro::PlannedFlowPoints(program, tessaro::TSegProgTermination::tspttKeep));
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_PlannedFlowPoints)->Arg(1000)->Arg(16000)->Unit(benchmark::kMillisecond);

}  // namespace
