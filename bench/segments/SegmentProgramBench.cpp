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

// The engine's evaluation: a program read once, at a time in its middle, against the text
// read from its start, for 10, 1,000 and 16,000 lines.
void BM_ParsedProgramAt(benchmark::State& state) {
    const int lines = static_cast<int>(state.range(0));
    const tessaro::TParsedSegmentProgram program(LongProgram(lines));
    const double t = lines / 2 + 0.5;
    for (auto _ : state) benchmark::DoNotOptimize(program.At(t));
}
BENCHMARK(BM_ParsedProgramAt)->Arg(10)->Arg(1000)->Arg(16000)->ArgName("lines")->Unit(benchmark::kMicrosecond);

void BM_SegmentAtTimeOfText(benchmark::State& state) {
    const int lines = static_cast<int>(state.range(0));
    const std::string program = LongProgram(lines);
    const double t = lines / 2 + 0.5;
    for (auto _ : state) benchmark::DoNotOptimize(tessaro::SegmentAtTime(program, t));
}
BENCHMARK(BM_SegmentAtTimeOfText)->Arg(10)->Arg(1000)->Arg(16000)->ArgName("lines")->Unit(benchmark::kMicrosecond);

// Reading a 16,000-line program, which the engine does once per change of the text.
void BM_ParseProgram16000Lines(benchmark::State& state) {
    const std::string program = LongProgram(16000);
    for (auto _ : state) benchmark::DoNotOptimize(tessaro::TParsedSegmentProgram(program));
}
BENCHMARK(BM_ParseProgram16000Lines)->Unit(benchmark::kMillisecond);

}  // namespace
