// The engine evaluates every running device's program once a second; a long program
// must stay far below that budget.
#include <benchmark/benchmark.h>

#include <string>

#include "segments/SegmentProgram.h"

namespace {

std::string LongProgram(int lines) {
    std::string text;
    for (int i = 1; i <= lines; ++i)
        text += std::to_string(i) + " " + std::to_string(i % 101) + (i % 2 ? " Ramp" : " Step note") + "\r\n";
    return text;
}

void BM_SegmentAtTime_1000Lines(benchmark::State& state) {
    const std::string program = LongProgram(1000);
    const double t = static_cast<double>(state.range(0));
    for (auto _ : state) benchmark::DoNotOptimize(tessaro::SegmentAtTime(program, t));
}
// early in the program, in the middle, and past its end (the whole text is scanned)
BENCHMARK(BM_SegmentAtTime_1000Lines)->Arg(1)->Arg(500)->Arg(2000)->Unit(benchmark::kMicrosecond);

}  // namespace
