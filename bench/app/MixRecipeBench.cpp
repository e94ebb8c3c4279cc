// The Mixtures tab evaluates its recipe on every key press: the parse and every report of
// the mixture, from the recipe text to the text the tab shows. Recipes of 1k to 64k lines
// and one of 1 MB, over three devices (N2, the stock mixture Air and a water pump) that each
// run a program of 16,000 segments, as long programs are kept in the records the recipe
// looks up.

#include <benchmark/benchmark.h>

#include <string>

#include "engine/MixRecipes.h"
#include "engine/Startup.h"
#include "registry/Brinvale_DeviceInfo.h"

namespace tessaro {
namespace {

constexpr int kNitrogen = 8;
constexpr int kAir = 0;
constexpr int kWater = 1001;
constexpr int kProgramSegments = 16000;

std::string LongProgram() {
    std::string program;
    for (int i = 1; i <= kProgramSegments; ++i)
        program += std::to_string(i) + " " + std::to_string(i % 101) + (i % 2 ? " Ramp" : " Step") + "\r\n";
    return program;
}

TDeviceInfo Controller(std::string port, int gasID, double fullScale_sccm) {
    TDeviceInfo device;
    device.COMPort = std::move(port);
    device.DevType = dtMFCA;
    device.FluidID = gasID;
    device.FlowUnitDevice = FlowUnitMlnAir();
    device.FlowUnitDevice.SetGasFlowMax(fullScale_sccm);
    device.FlowUnitUser = device.FlowUnitDevice.Clone();
    device.SegmentProgram = LongProgram();
    return device;
}

TDeviceInfo WaterPump(std::string port) {
    TDeviceInfo device;
    device.COMPort = std::move(port);
    device.DevType = dtPump;
    device.FluidID = kWater;
    device.SyringeSizeµL = 250;
    device.MaxFlow_µlpm = 25 * 250;
    device.FlowUnitUser = FlowUnitMicrolitres();
    device.SegmentProgram = LongProgram();
    return device;
}

// Lines that name the three devices in turn at varying setpoints, up to `bytes` long or
// `lines` lines, whichever comes first.
std::string Recipe(std::size_t lines, std::size_t bytes) {
    static const char* const kPorts[] = {"COM6", "com7", "COM8"};
    static const char* const kTypes[] = {"", " S", " r"};
    std::string recipe;
    for (std::size_t i = 0; i < lines; ++i) {
        const std::string line = std::string(kPorts[i % 3]) + " " + std::to_string(i % 97) + "." +
                                 std::to_string(i % 10) + kTypes[(i / 3) % 3] + "\r\n";
        if (recipe.size() + line.size() > bytes) break;
        recipe += line;
    }
    return recipe;
}

void EvaluateRecipe(benchmark::State& state, const std::string& recipe) {
    InitializeModules();
    DevicesLocal() = {Controller("COM6", kNitrogen, 500), Controller("COM7", kAir, 1000), WaterPump("COM8")};
    std::size_t shown = 0;
    for (auto _ : state) {
        const TMixRecipeEvaluation evaluation = EvaluateMixRecipe(recipe, "Bench", '.');
        if (!evaluation.Valid) state.SkipWithError("the recipe was refused");
        shown = evaluation.Text.size();
    }
    state.counters["recipe_kB"] = static_cast<double>(recipe.size()) / 1e3;
    state.counters["report_MB"] = static_cast<double>(shown) / 1e6;
    DevicesLocal().clear();
}

void BM_RecipeOfLines(benchmark::State& state) {
    EvaluateRecipe(state, Recipe(static_cast<std::size_t>(state.range(0)), std::string::npos));
}
BENCHMARK(BM_RecipeOfLines)->Arg(1000)->Arg(4000)->Arg(16000)->Arg(64000)->Unit(benchmark::kMillisecond);

void BM_RecipeOfOneMegabyte(benchmark::State& state) { EvaluateRecipe(state, Recipe(std::string::npos, 1000000)); }
BENCHMARK(BM_RecipeOfOneMegabyte)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tessaro
