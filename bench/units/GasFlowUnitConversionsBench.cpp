#include <benchmark/benchmark.h>

#include <string>

#include "units/GasFlowUnitConversions.h"

namespace tessaro {
namespace {

// The engine's conversion: an achieved mass flow into the operator's volumetric unit, which
// takes the longest path and writes the longest trace.
void BM_GasFlowConversionGramsToMln(benchmark::State& state) {
    TGasFlowDetails from = FlowUnitGrams().Clone();
    from.GasMolarMass = 28.9647;
    TGasFlowDetails to = FlowUnitMlnAir().Clone();
    std::string errors, feedback;
    double value = 0;
    for (auto _ : state) {
        from.GasFlowValue = value;
        value += 0.001;
        benchmark::DoNotOptimize(GasFlowConversion(from, to, errors, feedback));
        benchmark::DoNotOptimize(to.GasFlowValue);
    }
}
BENCHMARK(BM_GasFlowConversionGramsToMln);

// Volumetric to volumetric: both ideal-gas steps and every trace line.
void BM_GasFlowConversionMlnToMlPerHour(benchmark::State& state) {
    TGasFlowDetails from = FlowUnitMlnAir().Clone();
    TGasFlowDetails to = FlowUnitMlnAir().Clone();
    to.GasFlowTimeUnit = gftHour;
    to.Temperature = 0;
    std::string errors, feedback;
    double value = 0;
    for (auto _ : state) {
        from.GasFlowValue = value;
        value += 0.001;
        benchmark::DoNotOptimize(GasFlowConversion(from, to, errors, feedback));
        benchmark::DoNotOptimize(to.GasFlowValue);
    }
}
BENCHMARK(BM_GasFlowConversionMlnToMlPerHour);

// A caller that starts with fresh strings every time pays for their growth as well.
void BM_GasFlowConversionFreshStrings(benchmark::State& state) {
    TGasFlowDetails from = FlowUnitMlnAir().Clone();
    from.GasFlowValue = 123.456;
    TGasFlowDetails to = FlowUnitGrams().Clone();
    for (auto _ : state) {
        std::string errors, feedback;
        benchmark::DoNotOptimize(GasFlowConversion(from, to, errors, feedback));
        benchmark::DoNotOptimize(feedback.data());
    }
}
BENCHMARK(BM_GasFlowConversionFreshStrings);

}  // namespace
}  // namespace tessaro
