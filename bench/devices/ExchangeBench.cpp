// How long one serial exchange takes over a pseudo-terminal with the described timing
// (polls every 333 ms, 1000 ms for a reply; 2500 ms for SendASCII): a reply within 50 ms
// must come back after one poll interval plus at most the 20 ms silence that ends a read,
// a silent instrument after about 1333 ms.

#include <benchmark/benchmark.h>

#include <QLoggingCategory>
#include <chrono>
#include <memory>
#include <thread>

#include <poll.h>
#include <time.h>
#include <unistd.h>

#include "mfc/AlicatMFC.h"
#include "serial/SerialPort.h"
#include "sim/PseudoTerminal.h"
#include "sim/SimulatedInstrument.h"

namespace tessaro {
namespace {

class FixedReply : public sim::InstrumentModel {
public:
    std::optional<std::string> Answer(std::string_view, double) override { return std::string("A\r"); }
    std::string Describe() const override { return "fixed reply"; }
};

std::unique_ptr<sim::SimulatedInstrument> StartInstrument(int replyDelayMs, bool silent) {
    QLoggingCategory::setFilterRules("*.debug=false\n*.info=false");
    sim::SimInstrumentOptions options;
    options.ReplyDelayMs = replyDelayMs;
    auto instrument = std::make_unique<sim::SimulatedInstrument>(std::make_unique<FixedReply>(), options);
    if (silent) instrument->SetFault(sim::SimFault::Silent);
    return instrument;
}

// Reports the mean wall time of an exchange in milliseconds and how far it lies beyond
// the expected figure.
template <typename Exchange>
void Measure(benchmark::State& state, double expectedMs, Exchange exchange) {
    double totalMs = 0, worstMs = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        exchange();
        const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        totalMs += ms;
        worstMs = std::max(worstMs, ms);
    }
    const double meanMs = totalMs / static_cast<double>(state.iterations());
    state.counters["mean_ms"] = meanMs;
    state.counters["worst_ms"] = worstMs;
    state.counters["beyond_expected_ms"] = worstMs - expectedMs;
}

// Arg: the instrument's reply delay in ms. A reply seen at the check at 333 ms returns at
// about 353 ms; one that misses a check waits for the next.
void BM_Send2Reply(benchmark::State& state) {
    const int delayMs = static_cast<int>(state.range(0));
    const auto instrument = StartInstrument(delayMs, false);
    TSerialPort port;
    port.fPort = instrument->PortName();
    const double expectedMs = delayMs <= 333 ? 333 : 667;
    Measure(state, expectedMs, [&] {
        TSerialResponse result{};
        port.Send2("A\r", true, result);
        if (result.Response != "A") state.SkipWithError("no reply");
    });
}
BENCHMARK(BM_Send2Reply)->Arg(5)->Arg(50)->Arg(340)->Iterations(5)->UseRealTime()->Unit(benchmark::kMillisecond);

void BM_Send2Silent(benchmark::State& state) {
    const auto instrument = StartInstrument(0, true);
    TSerialPort port;
    port.fPort = instrument->PortName();
    Measure(state, 1333, [&] {
        TSerialResponse result{};
        port.Send2("A\r", true, result);
        if (result.Status.empty()) state.SkipWithError("unexpected reply");
    });
}
BENCHMARK(BM_Send2Silent)->Iterations(3)->UseRealTime()->Unit(benchmark::kMillisecond);

// SendASCII waits 2500 ms for a reply: a port without a flow controller costs ~2.67 s per
// query in the device search.
void BM_SendASCIISilent(benchmark::State& state) {
    const auto instrument = StartInstrument(0, true);
    const std::string port = instrument->PortName();
    Measure(state, 2664, [&] {
        std::string status, response;
        SendASCII(port, "A??M5\r", true, status, response);
    });
}
BENCHMARK(BM_SendASCIISilent)->Iterations(2)->UseRealTime()->Unit(benchmark::kMillisecond);

// The line hangs up (the other end of the pseudo-terminal closes) once the command has
// arrived: the exchange must fail at once instead of spinning through the read time-out.
// Reports the exchange's CPU time on the calling thread.
double ThreadCpuMs() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1000 + static_cast<double>(now.tv_nsec) / 1e6;
}

void BM_Send2HungUp(benchmark::State& state) {
    QLoggingCategory::setFilterRules("*.debug=false\n*.info=false\n*.warning=false");
    double totalCpuMs = 0, worstCpuMs = 0;
    for (auto _ : state) {
        auto pty = std::make_unique<sim::PseudoTerminal>();
        TSerialPort port;
        port.fPort = pty->SlaveName();
        std::thread device([&] {
            pollfd request{pty->MasterFd(), POLLIN, 0};
            if (poll(&request, 1, 2000) != 1) return;
            char command[16];
            [[maybe_unused]] const ssize_t n = read(pty->MasterFd(), command, sizeof command);
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            pty.reset();
        });
        const double before = ThreadCpuMs();
        TSerialResponse result{};
        port.Send2("A\r", true, result);
        const double cpuMs = ThreadCpuMs() - before;
        device.join();
        if (result.Status != kStatusReadFailed) state.SkipWithError("the hang-up was not reported");
        totalCpuMs += cpuMs;
        worstCpuMs = std::max(worstCpuMs, cpuMs);
    }
    state.counters["cpu_mean_ms"] = totalCpuMs / static_cast<double>(state.iterations());
    state.counters["cpu_worst_ms"] = worstCpuMs;
}
BENCHMARK(BM_Send2HungUp)->Iterations(5)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tessaro
