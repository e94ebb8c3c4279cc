// Headless runs over simulated instruments published under plain port names: the exit code
// of every way a run ends, what reaches the instruments, and the files it leaves. The run
// keeps its time on a fake clock that moves on whenever every thread waits for it, so its
// seconds pass as fast as the instruments answer.

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <atomic>
#include <fstream>
#include <sstream>
#include <thread>

#include "EngineTestSupport.h"
#include "InstrumentExchanges.h"
#include "SimulatedPorts.h"
#include "engine/Engine.h"
#include "engine/Startup.h"
#include "mfc/AlicatMFCThread.h"
#include "registry/Brinvale_DeviceInfo.h"
#include "run/ExitCodes.h"
#include "run/HeadlessRun.h"
#include "sim/SimulatedMfc.h"

namespace tessaro {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

std::string ControllerJson(const std::string& port, const std::string& name, const std::string& gas,
                           const std::string& program, const std::string& end = "zero") {
    return R"({ "port": ")" + port + R"(", "kind": "flow controller", "name": ")" + name + R"(", "color": "Blue",
        "gas": ")" +
           gas + R"(", "unit": { "name": "g/min" }, "program": ")" + program + R"(",
        "repeat": 1, "end": ")" +
           end + R"(" })";
}

class HeadlessRunTest : public ::testing::Test {
protected:
    HeadlessRunTest() {
        InitializeModules();
        DevicesLocal().clear();
        ports_.SetReplyDelayMs(test::kQuickReplyDelayMs);
    }
    ~HeadlessRunTest() override {
        for (TDeviceInfo& device : DevicesLocal()) delete device.ThreadMFC;
        DevicesLocal().clear();
    }

    fs::path Folder() const { return fs::path(folder_.path().toStdString()); }
    fs::path WriteRunFile(const std::vector<std::string>& devices, const std::string& extra = "") {
        std::string text = R"({ "rig": "bench-1", )" + extra + R"( "devices": [)";
        for (std::size_t i = 0; i < devices.size(); ++i) text += (i ? ",\n" : "\n") + devices[i];
        text += "\n] }\n";
        const fs::path path = Folder() / "run.json";
        std::ofstream(path) << text;
        return path;
    }
    int Run(const fs::path& runFile, std::optional<double> duration_min = std::nullopt) {
        THeadlessSettings settings;
        settings.RunFile = runFile;
        settings.Duration_min = duration_min;
        TEngineSettings engineSettings;
        engineSettings.DataFolder = Folder() / "data";
        return RunHeadless(settings, engineSettings, out_, err_);
    }
    double SetpointCounts(sim::SimulatedInstrument& instrument) {
        double counts = -1;
        instrument.WithModel(
            [&](sim::InstrumentModel& model) { counts = static_cast<sim::SimulatedMfc&>(model).SetpointCounts(); });
        return counts;
    }
    std::vector<fs::path> LogFiles(const std::string& ending) const {
        std::vector<fs::path> files;
        for (const auto& entry : fs::directory_iterator(Folder() / "data" / "Logs"))
            if (entry.path().filename().string().ends_with(ending)) files.push_back(entry.path());
        return files;
    }
    static std::size_t LineCount(const fs::path& path) {
        std::ifstream file(path);
        std::size_t lines = 0;
        for (std::string line; std::getline(file, line);) ++lines;
        return lines;
    }

    sim::SimulatedInstrument& AddMfc(const std::string& name, const std::string& serial = "100001") {
        sim::SimulatedInstrument& instrument = ports_.AddMfc(name, serial);
        exchanges_.Watch(instrument);
        return instrument;
    }

    test::SimulatedPorts ports_;
    test::InstrumentExchanges exchanges_;
    TFakeClock clock_;
    TScopedClock scopedClock_{clock_};
    test::SettledClockDriver driver_{clock_, &exchanges_};
    QTemporaryDir folder_;
    std::ostringstream out_;
    std::ostringstream err_;
};

TEST_F(HeadlessRunTest, ProgramsRunToTheirEndAndEveryDeviceEndsAtZero) {
    sim::SimulatedInstrument& carrier = AddMfc("sim-carrier");
    sim::SimulatedInstrument& dilution = AddMfc("sim-dilution", "100002");
    // Six seconds at 40 % and four at 20 %: the second ends while the first still runs.
    const fs::path file =
        WriteRunFile({ControllerJson("sim-carrier", "Carrier", "N2", "0 40 Step\\r\\n0.1 40 Step"),
                      ControllerJson("sim-dilution", "Dilution", "N2", "0 20 Step\\r\\n0.066 20 Step")});
    const auto start = MonotonicNow();
    const int code = Run(file);
    const auto took = MonotonicNow() - start;

    EXPECT_EQ(code, kExitOk) << err_.str() << out_.str();
    EXPECT_GE(took, 6s);
    EXPECT_LT(took, 20s);
    EXPECT_EQ(SetpointCounts(carrier), 0);
    EXPECT_EQ(SetpointCounts(dilution), 0);
    bool flowed = false;
    for (const std::string& command : carrier.Received()) flowed = flowed || command == "A25600";
    EXPECT_TRUE(flowed) << "40 % never reached the controller";
    EXPECT_NE(out_.str().find("Every program has ended"), std::string::npos) << out_.str();
    EXPECT_NE(out_.str().find("Every device confirmed its stop"), std::string::npos);
    EXPECT_EQ(err_.str(), "");
    // The data table and its CSV file, written as the window writes them.
    EXPECT_EQ(LogFiles(" log OnClose.txt").size(), 1u);
    const std::vector<fs::path> csv = LogFiles(".csv");
    ASSERT_EQ(csv.size(), 1u);
    EXPECT_GE(LineCount(csv[0]), 3u);  // the header and a row per data line, about every 3 s
}

TEST_F(HeadlessRunTest, InvalidRunFileExits65NamingEveryProblemAndNothingReachesAnInstrument) {
    sim::SimulatedInstrument& carrier = AddMfc("sim-carrier");
    const fs::path file = WriteRunFile({ControllerJson("sim-carrier", "Carrier", "N3", "0 40 Step"),
                                        ControllerJson("", "Dilution", "N2", "0 forty Step")});
    EXPECT_EQ(Run(file), kExitDataError);
    const std::string err = err_.str();
    EXPECT_NE(err.find("devices[0].gas"), std::string::npos) << err;
    EXPECT_NE(err.find("N3"), std::string::npos) << err;
    EXPECT_NE(err.find("devices[1].port"), std::string::npos) << err;
    EXPECT_NE(err.find("devices[1].program"), std::string::npos) << err;
    EXPECT_TRUE(carrier.Received().empty());
    for (const TDeviceInfo& device : DevicesLocal()) EXPECT_FALSE(device.IsConfigured());
}

TEST_F(HeadlessRunTest, MissingInstrumentExits69AndNoneIsConfigured) {
    sim::SimulatedInstrument& carrier = AddMfc("sim-carrier");
    const fs::path file = WriteRunFile({ControllerJson("sim-carrier", "Carrier", "N2", "0 40 Step\\r\\n1 40 Step"),
                                        ControllerJson("sim-absent", "Dilution", "N2", "0 20 Step\\r\\n1 20 Step")});
    EXPECT_EQ(Run(file), kExitUnavailable);
    EXPECT_NE(err_.str().find("sim-absent"), std::string::npos) << err_.str();
    for (const std::string& command : carrier.Received()) EXPECT_NE(command, "A25600");
    for (const TDeviceInfo& device : DevicesLocal()) EXPECT_FALSE(device.IsConfigured());
}

TEST_F(HeadlessRunTest, DurationEndsTheRunEarlyWithEveryFlowStopped) {
    sim::SimulatedInstrument& carrier = AddMfc("sim-carrier");
    const fs::path file =
        WriteRunFile({ControllerJson("sim-carrier", "Carrier", "N2", "0 40 Step\\r\\n60 40 Step", "keep")});
    const auto start = MonotonicNow();
    EXPECT_EQ(Run(file, 0.05), kExitOk) << err_.str();
    EXPECT_GE(MonotonicNow() - start, 3s);
    EXPECT_LT(MonotonicNow() - start, 15s);
    EXPECT_EQ(SetpointCounts(carrier), 0);
    EXPECT_NE(out_.str().find("duration of 0.05 min has passed"), std::string::npos) << out_.str();
}

TEST_F(HeadlessRunTest, SilentDeviceBeyondTheLimitStopsTheOthersAndExits75) {
    sim::SimulatedInstrument& carrier = AddMfc("sim-carrier");
    sim::SimulatedInstrument& dilution = AddMfc("sim-dilution", "100002");
    const fs::path file = WriteRunFile({ControllerJson("sim-carrier", "Carrier", "N2", "0 40 Step\\r\\n60 40 Step"),
                                        ControllerJson("sim-dilution", "Dilution", "N2", "0 20 Step\\r\\n60 20 Step")},
                                       R"("give_up_after_s": 2,)");
    // The dilution controller falls silent once its program has reached it.
    std::atomic<bool> runEnded{false};
    std::chrono::milliseconds silentFrom{0};
    std::thread silence([&] {
        while (!runEnded && SetpointCounts(dilution) != 0.2 * 64000) std::this_thread::sleep_for(1ms);
        silentFrom = MonotonicNow();
        dilution.SetFault(sim::SimFault::Silent);
    });
    EXPECT_EQ(Run(file), kExitTempFail) << err_.str();
    runEnded = true;
    silence.join();
    // Its worker counts a pass as failed once the gas change and the status poll have each
    // timed out, and 2 s of failed passes give up on it.
    EXPECT_GE(MonotonicNow() - silentFrom, 2s);
    EXPECT_LT(MonotonicNow() - silentFrom, 40s);
    EXPECT_EQ(SetpointCounts(carrier), 0);
    EXPECT_NE(out_.str().find("Dilution sim-dilution has not answered for more than 2 s"), std::string::npos)
        << out_.str();
    EXPECT_NE(err_.str().find("Dilution sim-dilution"), std::string::npos) << err_.str();
}

}  // namespace
}  // namespace tessaro
