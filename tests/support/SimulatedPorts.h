#pragma once
// Simulated instruments published under plain port names in a private runtime directory:
// while it lives, XDG_RUNTIME_DIR points there, so the program's port names lead to these
// pseudo-terminals and never to the machine's own serial ports.

#include <QByteArray>
#include <QTemporaryDir>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "sim/SimulatedInstrument.h"
#include "sim/SimulatedMfc.h"
#include "sim/SimulatedPump.h"

namespace tessaro::test {

class SimulatedPorts {
public:
    SimulatedPorts()
        : previous_(qgetenv("XDG_RUNTIME_DIR")), hadPrevious_(qEnvironmentVariableIsSet("XDG_RUNTIME_DIR")) {
        qputenv("XDG_RUNTIME_DIR", runtime_.path().toLocal8Bit());
    }
    ~SimulatedPorts() {
        instruments_.clear();
        if (hadPrevious_)
            qputenv("XDG_RUNTIME_DIR", previous_);
        else
            qunsetenv("XDG_RUNTIME_DIR");
    }
    SimulatedPorts(const SimulatedPorts&) = delete;
    SimulatedPorts& operator=(const SimulatedPorts&) = delete;

    std::string Directory() const { return runtime_.path().toStdString() + "/tessaro-sim"; }

    // How long the instruments added from now on take to answer.
    void SetReplyDelayMs(int ms) { replyDelayMs_ = ms; }

    sim::SimulatedInstrument& Add(const std::string& name, std::unique_ptr<sim::InstrumentModel> model) {
        sim::SimInstrumentOptions options;
        options.PublishDir = Directory();
        options.PublishName = name;
        options.ReplyDelayMs = replyDelayMs_;
        instruments_.push_back(std::make_unique<sim::SimulatedInstrument>(std::move(model), options));
        return *instruments_.back();
    }
    sim::SimulatedInstrument& AddMfc(const std::string& name, const std::string& serial = "100001", int gas = 8,
                                     double fullScale_slpm = 1.0) {
        sim::SimMfcConfig config;
        config.SerialNumber = serial;
        config.Gas = gas;
        config.FullScale_slpm = fullScale_slpm;
        return Add(name, std::make_unique<sim::SimulatedMfc>(config));
    }
    sim::SimulatedInstrument& AddPump(const std::string& name, const std::string& serial = "12345678") {
        sim::SimPumpConfig config;
        config.SerialNumber = serial;
        return Add(name, std::make_unique<sim::SimulatedPump>(config));
    }
    // A port where nothing answers.
    sim::SimulatedInstrument& AddSilent(const std::string& name) {
        sim::SimulatedInstrument& instrument = AddMfc(name);
        instrument.SetFault(sim::SimFault::Silent);
        return instrument;
    }

private:
    QTemporaryDir runtime_;
    int replyDelayMs_ = sim::SimInstrumentOptions{}.ReplyDelayMs;
    QByteArray previous_;
    bool hadPrevious_;
    std::vector<std::unique_ptr<sim::SimulatedInstrument>> instruments_;
};

}  // namespace tessaro::test
