// tessaro-sim: starts simulated flow controllers and syringe pumps on pseudo-terminals and
// publishes their ports, so that a tessaro started by the same user lists them among its
// serial ports. Runs until interrupted; commands on standard input switch faults on and off.

#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "protocol/ReplyText.h"
#include "serial/PortNames.h"
#include "sim/PortPublication.h"
#include "sim/SimulatedInstrument.h"
#include "sim/SimulatedMfc.h"
#include "sim/SimulatedPump.h"
#include "text/TextScan.h"

using namespace tessaro;
using namespace tessaro::sim;

namespace {

std::atomic<bool> g_interrupted{false};

void OnSignal(int) { g_interrupted = true; }

const char* kUsage =
    "Usage: tessaro-sim [--dir DIR] [--mfc GAS[:FULLSCALE_SLPM[:SERIAL]]]... [--pump SERIAL]...\n"
    "\n"
    "Starts simulated instruments on pseudo-terminals and publishes their ports for this\n"
    "user's tessaro. Without instruments named: two flow controllers (gas 8, N2, 1 SLPM and\n"
    "gas 0, Air, 5 SLPM) and one pump with serial number 12345678.\n"
    "  --mfc 8:2.5     a flow controller on gas 8 with a full scale of 2.5 SLPM\n"
    "  --pump 1234567  a syringe pump whose stored serial number is 1234567\n"
    "  --dir DIR       publish in DIR instead of the user's simulator directory\n";

const char* kCommands =
    "Commands:\n"
    "  list\n"
    "  PORT fault none|silent|garbage|partial|long|slow|split [MS]\n"
    "  PORT flags [ADC EXH HLD LCK MOV OPL OVR POV TMF TOV VOV]   (flow controllers)\n"
    "  PORT lag SECONDS          the flow follows the setpoint with this time constant (flow controllers)\n"
    "  PORT vanish [SECONDS]     the port disappears, and comes back after SECONDS\n"
    "  PORT return\n"
    "  quit\n";

struct Instrument {
    std::string Name;
    std::unique_ptr<SimulatedInstrument> Sim;
    bool IsMfc = false;
    double ReturnAt = -1;  // seconds on the steady clock; -1 none
};

double SteadySeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

bool ParseMfc(const std::string& text, SimMfcConfig& config) {
    // Every field given must be filled: "8::5" and "8:" are refused.
    const std::vector<std::string_view> parts = SplitAtEach(text, ':');
    if (parts.size() > 3) return false;
    const auto gas = ParseDecimalInteger(parts[0]);
    if (!gas || *gas < 0 || *gas > 210) return false;
    config.Gas = static_cast<int>(*gas);
    if (parts.size() > 1) {
        const auto fullScale = ParseDotNumber(parts[1]);
        if (!fullScale || *fullScale <= 0) return false;
        config.FullScale_slpm = *fullScale;
    }
    if (parts.size() > 2) {
        if (parts[2].empty()) return false;
        config.SerialNumber = std::string(parts[2]);
    }
    return true;
}

// The first free name prefix1, prefix2, ... in the directory.
std::unique_ptr<SimulatedInstrument> StartPublished(const std::string& dir, const std::string& prefix, int& counter,
                                                    std::unique_ptr<InstrumentModel> model) {
    for (;; ++counter) {
        const std::string name = prefix + std::to_string(counter);
        if (PortPublication::IsClaimed(dir, name)) continue;
        SimInstrumentOptions options;
        options.PublishDir = dir;
        options.PublishName = name;
        options.Seed = static_cast<unsigned>(counter * 7919);
        ++counter;
        return std::make_unique<SimulatedInstrument>(std::move(model), options);
    }
}

void List(const std::vector<Instrument>& instruments) {
    for (const Instrument& instrument : instruments) {
        const SimulatedInstrument& sim = *instrument.Sim;
        std::printf("  %-12s %-12s %s%s%s\n", instrument.Name.c_str(),
                    sim.Present() ? sim.TerminalPath().c_str() : "(vanished)", sim.Describe().c_str(),
                    sim.Fault() == SimFault::None ? "" : ", fault: ",
                    sim.Fault() == SimFault::None ? "" : SimFaultName(sim.Fault()));
    }
    std::fflush(stdout);
}

void RunCommand(const std::string& line, std::vector<Instrument>& instruments, bool& quit) {
    std::vector<std::string> words;
    for (std::string_view word : SplitAtBlankRuns(line)) words.emplace_back(word);
    if (words.empty()) return;
    if (words[0] == "quit" || words[0] == "exit") {
        quit = true;
        return;
    }
    if (words[0] == "list") return List(instruments);
    if (words[0] == "help" || words.size() < 2) {
        std::fputs(kCommands, stdout);
        return;
    }
    Instrument* target = nullptr;
    for (Instrument& instrument : instruments)
        if (instrument.Name == words[0]) target = &instrument;
    if (!target) {
        std::printf("No port %s\n", words[0].c_str());
        return;
    }
    SimulatedInstrument& sim = *target->Sim;
    const std::string& verb = words[1];
    if (verb == "fault") {
        SimFault fault = SimFault::None;
        if (words.size() < 3 || !SimFaultFromName(words[2], fault)) {
            std::fputs(kCommands, stdout);
            return;
        }
        if (fault == SimFault::Slow && words.size() > 3)
            if (const auto ms = ParseDecimalInteger(words[3]); ms && *ms >= 0 && *ms < 600000)
                sim.SetSlowReplyMs(static_cast<int>(*ms));
        sim.SetFault(fault);
    } else if (verb == "flags" && target->IsMfc) {
        std::vector<std::string> flags(words.begin() + 2, words.end());
        sim.WithModel([&](InstrumentModel& model) { static_cast<SimulatedMfc&>(model).SetFlags(flags); });
    } else if (verb == "lag" && target->IsMfc && words.size() > 2) {
        const auto seconds = ParseDotNumber(words[2]);
        if (!seconds || !(*seconds >= 0)) {
            std::fputs(kCommands, stdout);
            return;
        }
        sim.WithModel([&](InstrumentModel& model) { static_cast<SimulatedMfc&>(model).SetLagSeconds(*seconds); });
    } else if (verb == "vanish") {
        sim.Vanish();
        if (words.size() > 2)
            if (const auto seconds = ParseDotNumber(words[2]); seconds && *seconds >= 0)
                target->ReturnAt = SteadySeconds() + *seconds;
    } else if (verb == "return") {
        sim.Return();
        target->ReturnAt = -1;
    } else {
        std::fputs(kCommands, stdout);
        return;
    }
    std::printf("%s: done\n", target->Name.c_str());
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    std::string dir = SimPortDirectory();
    std::vector<SimMfcConfig> mfcs;
    std::vector<std::string> pumps;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (arg == "--dir" && hasValue) {
            dir = argv[++i];
        } else if (arg == "--mfc" && hasValue) {
            SimMfcConfig config;
            config.Seed = static_cast<unsigned>(mfcs.size() + 1);
            config.SerialNumber = std::to_string(100001 + mfcs.size());
            if (!ParseMfc(argv[++i], config)) {
                std::fprintf(stderr, "tessaro-sim: bad flow controller %s\n%s", argv[i], kUsage);
                return 2;
            }
            mfcs.push_back(config);
        } else if (arg == "--pump" && hasValue) {
            pumps.push_back(argv[++i]);
        } else {
            std::fprintf(stderr, "tessaro-sim: unknown argument %s\n%s", arg.c_str(), kUsage);
            return 2;
        }
    }
    if (mfcs.empty() && pumps.empty()) {
        mfcs.push_back({.Gas = 8, .FullScale_slpm = 1.0, .SerialNumber = "100001", .Seed = 1});
        mfcs.push_back({.Gas = 0, .FullScale_slpm = 5.0, .SerialNumber = "100002", .Seed = 2});
        pumps.push_back("12345678");
    }

    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr);

    std::vector<Instrument> instruments;
    try {
        PortPublication::PrepareDirectory(dir);
        int mfcCounter = 1, pumpCounter = 1;
        for (const SimMfcConfig& config : mfcs) {
            auto sim = StartPublished(dir, "sim-mfc", mfcCounter, std::make_unique<SimulatedMfc>(config));
            const std::string name = sim->PortName();
            instruments.push_back({name, std::move(sim), true});
        }
        for (const std::string& serial : pumps) {
            SimPumpConfig config;
            config.SerialNumber = serial;
            auto sim = StartPublished(dir, "sim-pump", pumpCounter, std::make_unique<SimulatedPump>(config));
            const std::string name = sim->PortName();
            instruments.push_back({name, std::move(sim), false});
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "tessaro-sim: %s\n", error.what());
        return 1;
    }

    std::printf("tessaro-sim: %zu instrument(s), ports published in %s\n", instruments.size(), dir.c_str());
    List(instruments);
    std::printf("Type \"help\" for commands; Ctrl+C ends.\n");
    std::fflush(stdout);

    bool stdinOpen = true, quit = false;
    std::string input;
    while (!g_interrupted && !quit) {
        pollfd in{STDIN_FILENO, POLLIN, 0};
        const int ready = poll(&in, stdinOpen ? 1 : 0, 200);
        if (ready > 0 && (in.revents & (POLLIN | POLLHUP))) {
            char buffer[256];
            const ssize_t n = read(STDIN_FILENO, buffer, sizeof buffer);
            if (n <= 0) {
                stdinOpen = false;  // started in the background: run until a signal
            } else {
                input.append(buffer, static_cast<std::size_t>(n));
                for (std::size_t end; (end = input.find('\n')) != std::string::npos;) {
                    RunCommand(input.substr(0, end), instruments, quit);
                    input.erase(0, end + 1);
                }
            }
        }
        for (Instrument& instrument : instruments)
            if (instrument.ReturnAt >= 0 && SteadySeconds() >= instrument.ReturnAt) {
                instrument.Sim->Return();
                instrument.ReturnAt = -1;
                std::printf("%s: returned on %s\n", instrument.Name.c_str(), instrument.Sim->TerminalPath().c_str());
                std::fflush(stdout);
            }
    }
    instruments.clear();  // withdraws the published ports
    return 0;
}
