#include <benchmark/benchmark.h>

#include "gases/GasMixtures.h"

namespace tessaro {
namespace {

// The nested test mixture: three levels, two gases, argon three times.
void BM_NormalizeNestedTestMixture(benchmark::State& state) {
    if (GasList().empty()) BuildGasList();
    TGasItem source;
    GetGas_ID(301, source);
    TGasItem result;
    for (auto _ : state) {
        NormalizeMixture(source, result);
        benchmark::DoNotOptimize(result.Components.data());
    }
}
BENCHMARK(BM_NormalizeNestedTestMixture);

}  // namespace
}  // namespace tessaro
