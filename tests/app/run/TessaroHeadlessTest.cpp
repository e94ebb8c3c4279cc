// The built program, started headless on a run file against simulated controllers, the way a
// script or a service starts it: SIGTERM in the middle of the run stops every flow, and the
// program exits 0 within 6 s.

#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <fstream>

#include "MqttBroker.h"
#include "QtEventLoopSupport.h"
#include "SimulatedPorts.h"
#include "sim/SimulatedMfc.h"

namespace tessaro {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

double SetpointCounts(sim::SimulatedInstrument& instrument) {
    double counts = -1;
    instrument.WithModel(
        [&](sim::InstrumentModel& model) { counts = static_cast<sim::SimulatedMfc&>(model).SetpointCounts(); });
    return counts;
}

class TessaroHeadlessTest : public ::testing::Test {
protected:
    fs::path Folder() const { return fs::path(folder_.path().toStdString()); }
    void Start(const std::vector<std::string>& arguments) {
        QStringList list;
        for (const std::string& argument : arguments) list << QString::fromStdString(argument);
        process_.start(TESSARO_PATH, list);
        ASSERT_TRUE(process_.waitForStarted(5000));
    }
    std::string Output() { return process_.readAllStandardOutput().toStdString(); }

    QTemporaryDir folder_;
    test::SimulatedPorts ports_;  // published for the child through XDG_RUNTIME_DIR
    QProcess process_;
};

TEST_F(TessaroHeadlessTest, SigtermMidRunStopsEveryFlowAndExitsZeroWithinSixSeconds) {
    sim::SimulatedInstrument& carrier = ports_.AddMfc("sim-carrier");
    sim::SimulatedInstrument& dilution = ports_.AddMfc("sim-dilution", "100002");
    const fs::path runFile = Folder() / "run.json";
    std::ofstream(runFile) << R"({ "rig": "bench-1", "devices": [
        { "port": "sim-carrier", "kind": "flow controller", "name": "Carrier", "gas": "N2",
          "program": "0 40 Step\r\n30 40 Step" },
        { "port": "sim-dilution", "kind": "flow controller", "name": "Dilution", "gas": "N2",
          "program": "0 20 Step\r\n30 20 Step" } ] })";
    Start({"--run", runFile.string(), "--headless", "--data-folder", (Folder() / "data").string()});
    ASSERT_TRUE(test::ServeUntil(
        [&] { return SetpointCounts(carrier) == 0.4 * 64000 && SetpointCounts(dilution) == 0.2 * 64000; }, 30s))
        << process_.readAllStandardError().toStdString();

    const auto signalled = std::chrono::steady_clock::now();
    process_.terminate();
    ASSERT_TRUE(process_.waitForFinished(6000)) << "still running 6 s after SIGTERM";
    EXPECT_LT(std::chrono::steady_clock::now() - signalled, 6s);
    EXPECT_EQ(process_.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process_.exitCode(), 0) << process_.readAllStandardError().toStdString();
    EXPECT_EQ(SetpointCounts(carrier), 0);
    EXPECT_EQ(SetpointCounts(dilution), 0);
    const std::string out = Output();
    EXPECT_NE(out.find("SIGTERM received"), std::string::npos) << out;
    EXPECT_NE(out.find("Every device confirmed its stop"), std::string::npos) << out;
}

TEST_F(TessaroHeadlessTest, PublishesItsStateToTheBrokerNamedOnTheCommandLine) {
    test::TBroker broker;
    ASSERT_TRUE(broker.Start());
    sim::SimulatedInstrument& carrier = ports_.AddMfc("sim-carrier");
    const fs::path runFile = Folder() / "run.json";
    std::ofstream(runFile) << R"({ "rig": "bench-1", "devices": [
        { "port": "sim-carrier", "kind": "flow controller", "name": "Carrier", "gas": "N2",
          "program": "0 40 Step\r\n30 40 Step" } ] })";
    test::TSubscriber events(broker.Port(), "tessaro/r1/events");
    ASSERT_TRUE(test::ServeUntil([&] { return events.Connected(); }, 5s));
    Start({"--run", runFile.string(), "--headless", "--data-folder", (Folder() / "data").string(), "--mqtt",
           "127.0.0.1:" + std::to_string(broker.Port()), "--rig", "r1"});
    ASSERT_TRUE(test::ServeUntil([&] { return SetpointCounts(carrier) == 0.4 * 64000; }, 30s))
        << process_.readAllStandardError().toStdString();

    // A subscriber that comes later still reads the rig's retained status and device state.
    test::TSubscriber watcher(broker.Port(), "tessaro/#");
    ASSERT_TRUE(watcher.WaitFor("tessaro/r1/status", "online", 10s));
    const std::string stateTopic = "tessaro/r1/devices/sim-carrier/state";
    ASSERT_TRUE(test::ServeUntil(
        [&] {
            const QJsonObject state =
                QJsonDocument::fromJson(QByteArray::fromStdString(watcher.Last(stateTopic))).object();
            return state["planned_pct"].toDouble() == 40;
        },
        15s))
        << watcher.Last(stateTopic);
    EXPECT_EQ(QJsonDocument::fromJson(QByteArray::fromStdString(watcher.Last(stateTopic))).object()["name"], "Carrier");
    // Publishing begins before the programs start: their start is an event too.
    bool startPublished = false;
    for (const test::TReceived& message : events.Received())
        startPublished = startPublished || message.Payload.find("\"program started\"") != std::string::npos;
    EXPECT_TRUE(startPublished) << events.Last("tessaro/r1/events");

    process_.terminate();
    ASSERT_TRUE(process_.waitForFinished(6000));
    EXPECT_EQ(process_.exitCode(), 0) << process_.readAllStandardError().toStdString();
    EXPECT_TRUE(watcher.WaitFor("tessaro/r1/status", "offline", 5s));
}

TEST_F(TessaroHeadlessTest, AfterAKillTheNextStartStopsTheDeviceFirstAndResumeContinuesTheProgram) {
    sim::SimulatedInstrument& carrier = ports_.AddMfc("sim-carrier");
    const fs::path runFile = Folder() / "run.json";
    std::ofstream(runFile) << R"({ "rig": "bench-1", "devices": [
        { "port": "sim-carrier", "kind": "flow controller", "name": "Carrier", "gas": "N2",
          "program": "0 40 Step\r\n30 40 Step" } ] })";
    const std::vector<std::string> run = {"--run", runFile.string(), "--headless", "--data-folder",
                                          (Folder() / "data").string()};
    Start(run);
    ASSERT_TRUE(test::ServeUntil([&] { return SetpointCounts(carrier) == 0.4 * 64000; }, 30s))
        << process_.readAllStandardError().toStdString();
    // The state file is written when the program starts; the kill leaves it behind.
    process_.kill();
    ASSERT_TRUE(process_.waitForFinished(5000));
    ASSERT_EQ(SetpointCounts(carrier), 0.4 * 64000);

    const std::size_t before = carrier.Received().size();
    std::vector<std::string> resume = run;
    resume.push_back("--resume");
    Start(resume);
    ASSERT_TRUE(test::ServeUntil([&] { return carrier.Received().size() > before; }, 30s));
    EXPECT_EQ(carrier.Received()[before], "A0") << "the first command after the restart is not the stop";
    // Then the program goes on from where it was: 40 % again.
    ASSERT_TRUE(test::ServeUntil(
        [&] {
            const std::vector<std::string> received = carrier.Received();
            return std::find(received.begin() + static_cast<std::ptrdiff_t>(before), received.end(), "A25600") !=
                   received.end();
        },
        30s))
        << process_.readAllStandardError().toStdString();
    process_.terminate();
    ASSERT_TRUE(process_.waitForFinished(6000));
    EXPECT_EQ(process_.exitCode(), 0);
    const std::string err = process_.readAllStandardError().toStdString();
    EXPECT_NE(err.find("Carrier"), std::string::npos) << err;
    const std::string out = Output();
    EXPECT_NE(out.find("counted as a hold"), std::string::npos) << out;
}

TEST_F(TessaroHeadlessTest, CommandLineOutcomes) {
    const struct {
        std::vector<std::string> Arguments;
        int ExitCode;
        std::string InOutput;
    } cases[] = {
        {{"--headless"}, 64, ""},
        {{"--help"}, 0, "--duration MIN"},
        {{"--list-gases"}, 0, "N2"},
        {{"--run", (Folder() / "absent.json").string(), "--headless", "--data-folder", (Folder() / "data").string()},
         65,
         ""},
    };
    for (const auto& c : cases) {
        Start(c.Arguments);
        ASSERT_TRUE(process_.waitForFinished(15000));
        EXPECT_EQ(process_.exitCode(), c.ExitCode) << testing::PrintToString(c.Arguments);
        EXPECT_NE(Output().find(c.InOutput), std::string::npos) << testing::PrintToString(c.Arguments);
    }
}

}  // namespace
}  // namespace tessaro
