// Publishing the live state to an MQTT broker: the settings, the messages, the engine's
// hand-over, and the publisher against a real mosquitto broker on a loopback port.

#include <gtest/gtest.h>
#include <signal.h>

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimeZone>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "EngineTestSupport.h"
#include "MessageCapture.h"
#include "MqttBroker.h"
#include "RecordingWindowPort.h"
#include "engine/Engine.h"
#include "engine/Startup.h"
#include "mfc/AlicatMFCThread.h"
#include "mqtt/MqttMessages.h"
#include "mqtt/MqttPublisher.h"
#include "mqtt/MqttPublishing.h"
#include "mqtt/MqttSettings.h"
#include "registry/Brinvale_DeviceInfo.h"
#include "units/GasFlowUnitConversions.h"

namespace tessaro {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

QJsonObject Json(const std::string& text) { return QJsonDocument::fromJson(QByteArray::fromStdString(text)).object(); }

// --- Settings -------------------------------------------------------------------------------

TEST(MqttSettingsTest, ParsesHostWithOrWithoutPortAndRefusesWhatCannotBeUsed) {
    struct Case {
        const char* address;
        const char* rig;
        std::optional<std::pair<std::string, int>> expected;
        const char* reasonPart;
    };
    const Case cases[] = {
        {"broker.lab", "r1", std::pair<std::string, int>{"broker.lab", 1883}, ""},
        {"127.0.0.1:1884", "rig_2-B", std::pair<std::string, int>{"127.0.0.1", 1884}, ""},
        {"[::1]:8883", "r", std::pair<std::string, int>{"::1", 8883}, ""},
        {"::1", "r", std::pair<std::string, int>{"::1", 1883}, ""},
        {"host:0", "r1", std::nullopt, "1 to 65535"},
        {"host:65536", "r1", std::nullopt, "1 to 65535"},
        {"host:12x", "r1", std::nullopt, "1 to 65535"},
        {"host:", "r1", std::nullopt, "1 to 65535"},
        {":1883", "r1", std::nullopt, "no host"},
        {"", "r1", std::nullopt, "no host"},
        {"[::1", "r1", std::nullopt, "]"},
        {"host", "", std::nullopt, "rig name"},
        {"host", "r/1", std::nullopt, "rig name"},
        {"host", "r+", std::nullopt, "rig name"},
        {"host", "rig one", std::nullopt, "rig name"},
    };
    for (const Case& c : cases) {
        std::string error;
        const std::optional<TMqttSettings> settings = ParseMqttAddress(c.address, c.rig, error);
        SCOPED_TRACE(std::string(c.address) + " " + c.rig);
        ASSERT_EQ(settings.has_value(), c.expected.has_value()) << error;
        if (settings) {
            EXPECT_TRUE(settings->Enabled);
            EXPECT_EQ(settings->Host, c.expected->first);
            EXPECT_EQ(settings->Port, c.expected->second);
            EXPECT_EQ(settings->Rig, c.rig);
        } else {
            EXPECT_NE(error.find(c.reasonPart), std::string::npos) << error;
        }
    }
}

TEST(MqttSettingsTest, KeptBetweenRunsInTheIniFileReadableByItsOwnerOnly) {
    QTemporaryDir folder;
    const fs::path file = MqttSettingsFile(folder.path().toStdString());
    EXPECT_FALSE(LoadMqttSettings(file).Enabled);

    TMqttSettings settings;
    settings.Enabled = true;
    settings.Host = "broker.lab";
    settings.Port = 8883;
    settings.Rig = "r7";
    settings.User = "lab";
    settings.Password = "s3cret \"x\"";
    settings.Tls = true;
    settings.CaFile = "/etc/ssl/lab-ca.pem";
    settings.KeepAlive_s = 20;
    std::string error;
    ASSERT_TRUE(SaveMqttSettings(file, settings, error)) << error;
    EXPECT_EQ(LoadMqttSettings(file), settings);
    EXPECT_EQ(fs::status(file).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);

    // A file spoiled by hand publishes nowhere.
    settings.Rig = "bad rig";
    ASSERT_TRUE(SaveMqttSettings(file, settings, error));
    EXPECT_FALSE(LoadMqttSettings(file).Enabled);
}

// --- Messages -------------------------------------------------------------------------------

TEST(MqttMessagesTest, PortsBecomeOneTopicLevel) {
    const std::pair<const char*, const char*> cases[] = {
        {"COM3", "COM3"},
        {"/dev/ttyUSB0", "dev_ttyUSB0"},
        {"/dev/pts/12", "dev_pts_12"},
        {"a+b#c", "a_b_c"},
        {"//x//", "x"},
        {"", "device"},
        {"Virtual Demo 1", "Virtual_Demo_1"},
    };
    for (const auto& [port, name] : cases) EXPECT_EQ(TopicSafeDeviceName(port), name) << port;
    EXPECT_EQ(MqttDeviceStateTopic("r1", "/dev/pts/3"), "tessaro/r1/devices/dev_pts_3/state");
    EXPECT_EQ(MqttStatusTopic("r1"), "tessaro/r1/status");
    EXPECT_EQ(MqttEventsTopic("r1"), "tessaro/r1/events");
}

TEST(MqttMessagesTest, StringsStayValidJsonWhateverTheirBytes) {
    EXPECT_EQ(JsonString("a\"b\\c\n\x01"), "\"a\\\"b\\\\c\\u000a\\u0001\"");
    EXPECT_EQ(JsonString("µl/min"), "\"µl/min\"");
    // A stray byte and a cut sequence become U+FFFD.
    EXPECT_EQ(JsonString("x\xFFy\xC3"), "\"x\xEF\xBF\xBDy\xEF\xBF\xBD\"");
    EXPECT_EQ(JsonNumber(2.5), "2.5");
    EXPECT_EQ(JsonNumber(10), "10.0");
    EXPECT_EQ(JsonNumber(1.0 / 3), "0.333333");
    EXPECT_EQ(JsonNumber(-999999), "null");
    EXPECT_EQ(JsonNumber(std::nullopt), "null");
    EXPECT_EQ(JsonNumber(std::numeric_limits<double>::infinity()), "null");
}

TEST(MqttMessagesTest, DeviceStateHoldsEveryFieldWithNullsForWhatIsUnknown) {
    const QDateTime time(QDate(2026, 3, 5), QTime(9, 30, 15, 250), QTimeZone(3600));
    TDeviceSnapshot device{"/dev/pts/3", "Nitrogen", "MFC-A",      false,         "N2", "ml/min",
                           40,           400,        std::nullopt, "Segment 2/3", 1.5,  std::nullopt};
    QJsonObject json = Json(DeviceStateJson(time, device));
    EXPECT_EQ(json["time"].toString(), "2026-03-05T09:30:15.250+01:00");
    EXPECT_EQ(json["port"].toString(), "/dev/pts/3");
    EXPECT_EQ(json["name"].toString(), "Nitrogen");
    EXPECT_EQ(json["kind"].toString(), "MFC-A");
    EXPECT_EQ(json["gas"].toString(), "N2");
    EXPECT_FALSE(json.contains("fluid"));
    EXPECT_EQ(json["unit"].toString(), "ml/min");
    EXPECT_EQ(json["planned_pct"].toDouble(), 40);
    EXPECT_EQ(json["planned_flow"].toDouble(), 400);
    EXPECT_TRUE(json["achieved_flow"].isNull());
    EXPECT_EQ(json["state"].toString(), "Segment 2/3");
    EXPECT_EQ(json["program_time_min"].toDouble(), 1.5);
    EXPECT_TRUE(json["alarm"].isNull());

    device.IsPump = true;
    device.Fluid = "Water";
    device.AchievedFlow = 12.25;
    device.ProgramTime_min.reset();
    device.Alarm = "Alarm: Nitrogen achieved 1, planned 2";
    const QTimeZone west(-5 * 3600 - 30 * 60);
    json = Json(DeviceStateJson(QDateTime(QDate(2026, 3, 5), QTime(1, 2, 3), west), device));
    EXPECT_EQ(json["time"].toString(), "2026-03-05T01:02:03.000-05:30");
    EXPECT_EQ(json["fluid"].toString(), "Water");
    EXPECT_FALSE(json.contains("gas"));
    EXPECT_EQ(json["achieved_flow"].toDouble(), 12.25);
    EXPECT_TRUE(json["program_time_min"].isNull());
    EXPECT_EQ(json["alarm"].toString(), "Alarm: Nitrogen achieved 1, planned 2");
}

// --- The engine's hand-over -----------------------------------------------------------------

class RecordingObserver : public TEngineObserver {
public:
    void DataLineMade(const TDataLineSnapshot& line) override { Lines.push_back(line); }
    void EventOccurred(const TEngineEvent& event) override { Events.push_back(event); }
    std::vector<TDataLineSnapshot> Lines;
    std::vector<TEngineEvent> Events;
};

std::vector<std::string> FileLines(const fs::path& path) {
    std::ifstream file(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(file, line);) lines.push_back(line);
    return lines;
}

class MqttEngineTest : public ::testing::Test {
protected:
    MqttEngineTest() : scopedClock_(clock_) {
        InitializeModules();
        DevicesLocal() = DemoDevices();
        TDeviceInfo& device = DevicesLocal()[0];
        device.ThreadMFC = new TMFCThread;
        device.FlowUnitUser = FlowUnitGrams().Clone();
        device.FluidID = 8;
        device.Led = &led_;
        TEngineSettings settings;
        settings.DataFolder = fs::path(folder_.path().toStdString());
        settings.Sleeps = false;
        engine_ = std::make_unique<TEngine>(window_, settings);
    }
    ~MqttEngineTest() override {
        for (TDeviceInfo& device : DevicesLocal()) delete device.ThreadMFC;
        DevicesLocal().clear();
    }
    TMFCThread& Worker() { return *DevicesLocal()[0].ThreadMFC; }
    // A tick a second, with a new reading of `percent` of 25 g/min before each.
    void Tick(int count, double percent = 40) {
        for (int i = 0; i < count; ++i) {
            ++Worker().GUIIn.StatusSequence;
            Worker().GUIIn.DeviceStatus.FlowRate_mass = percent * 640;
            Worker().GUIIn.DeviceStatus.MaxFlowgpm = 25;
            engine_->TimerEngineTimer();
            clock_.Advance(1s);
        }
    }

    // Moved by the ticks alone: a publisher's waits before its retries end as the ticks pass
    // their time, as they would in a run.
    TFakeClock clock_;
    TScopedClock scopedClock_;
    QTemporaryDir folder_;
    test::RecordingWindowPort window_;
    MessageCapture messages_;
    QObject led_;
    std::unique_ptr<TEngine> engine_;
};

TEST_F(MqttEngineTest, EachDataLineHandsOverTheValuesOfItsCsvRowAndTheEventsTheirLogWords) {
    RecordingObserver observer;
    engine_->SetObserver(&observer);
    engine_->ButtonSegmentProgramStartClick({DevicesLocal()[0].COMPort});
    Tick(7);
    engine_->HoldPrograms({DevicesLocal()[0].COMPort});
    Tick(2);
    engine_->ResumePrograms({DevicesLocal()[0].COMPort});

    // Only the configured device; one snapshot per data line (every 3 s).
    ASSERT_EQ(observer.Lines.size(), 3u);
    const std::vector<std::string> csv = FileLines(engine_->DataCsvFile());
    ASSERT_EQ(csv.size(), 4u);
    for (std::size_t i = 0; i < observer.Lines.size(); ++i) {
        const TDataLineSnapshot& line = observer.Lines[i];
        ASSERT_EQ(line.Devices.size(), 1u);
        const TDeviceSnapshot& device = line.Devices[0];
        EXPECT_EQ(line.Time, clock_.LocalNow().addSecs(-9 + 3 * static_cast<int>(i) - 0));
        EXPECT_EQ(device.COMPort, DevicesLocal()[0].COMPort);
        EXPECT_EQ(device.Kind, "MFC");
        EXPECT_EQ(device.Fluid, "N2");
        EXPECT_EQ(device.Unit, "g/min");
        ASSERT_TRUE(device.AchievedFlow && device.PlannedFlow && device.Planned_pct);
        // The CSV row says the same: time, elapsed, then the device's planned %, planned and
        // achieved flow.
        const QStringList fields = QString::fromStdString(csv[i + 1]).split(',');
        ASSERT_GE(fields.size(), 5);
        EXPECT_EQ(JsonNumber(device.Planned_pct), fields[2].toStdString());
        EXPECT_EQ(JsonNumber(device.PlannedFlow), fields[3].toStdString());
        EXPECT_EQ(JsonNumber(device.AchievedFlow), fields[4].toStdString());
        EXPECT_DOUBLE_EQ(*device.AchievedFlow, 10);
        ASSERT_TRUE(device.ProgramTime_min);
        EXPECT_DOUBLE_EQ(*device.ProgramTime_min, 3.0 * static_cast<double>(i) / 60);
        EXPECT_EQ(device.State, "Segment");
    }

    std::vector<std::string> events;
    for (const TEngineEvent& event : observer.Events) events.push_back(EngineEventName(event.Kind));
    EXPECT_EQ(events, (std::vector<std::string>{"program started", "program held", "program resumed"}));
    EXPECT_EQ(observer.Events[1].Name, DevicesLocal()[0].NameRole);
    EXPECT_TRUE(observer.Events[1].Text.starts_with("Hold program of ")) << observer.Events[1].Text;
    engine_->SetObserver(nullptr);
}

TEST_F(MqttEngineTest, AlarmAndNoReplyAreEventsAndTheStandingAlarmIsInTheState) {
    RecordingObserver observer;
    engine_->SetObserver(&observer);
    TDeviceInfo& device = DevicesLocal()[0];
    device.ControlMode = dcmDirect;
    device.Setpoint_pct = 40;
    device.AlarmBand_pct = 5;
    device.AlarmDelay_s = 2;
    Tick(1, 40);
    Tick(6, 10);  // far below the setpoint, for longer than the delay
    ASSERT_FALSE(observer.Lines.empty());
    ASSERT_TRUE(observer.Lines.back().Devices[0].Alarm.has_value());
    EXPECT_TRUE(observer.Lines.back().Devices[0].Alarm->starts_with("Alarm: "))
        << *observer.Lines.back().Devices[0].Alarm;
    Tick(3, 40);
    EXPECT_FALSE(observer.Lines.back().Devices[0].Alarm.has_value());

    Worker().GUIIn.FailedPasses = 3;
    engine_->TimerEngineTimer();
    Worker().GUIIn.FailedPasses = 0;
    engine_->TimerEngineTimer();

    std::vector<std::string> events;
    for (const TEngineEvent& event : observer.Events) events.push_back(EngineEventName(event.Kind));
    EXPECT_EQ(events, (std::vector<std::string>{"alarm raised", "alarm cleared", "no reply", "answers again"}));
    engine_->SetObserver(nullptr);
}

TEST_F(MqttEngineTest, WithTheBrokerAwayForAMinuteDataLinesComeEveryThreeSecondsAndTheCsvIsComplete) {
    TMqttSettings settings;
    settings.Enabled = true;
    settings.Host = "127.0.0.1";
    settings.Port = test::FreeLoopbackPort();
    settings.Rig = "r1";
    std::unique_ptr<TMqttPublishing> publishing = StartMqttPublishing(*engine_, settings);
    engine_->ButtonApplyFlowClick({DevicesLocal()[0].COMPort});

    Tick(60);

    std::vector<std::string> lines;
    for (const std::string& line : engine_->DataTable().All())
        if (line.starts_with(" 2")) lines.push_back(line);
    ASSERT_EQ(lines.size(), 20u);
    for (std::size_t i = 0; i < lines.size(); ++i)
        EXPECT_EQ(
            lines[i].substr(1, 19),
            clock_.LocalNow().addSecs(-60 + 3 * static_cast<int>(i)).toString("yyyy-MM-dd HH:mm:ss").toStdString());
    EXPECT_EQ(FileLines(engine_->DataCsvFile()).size(), 21u);
    EXPECT_NE(publishing->State(), TMqttState::Connected);
}

// --- Against a real broker ------------------------------------------------------------------

TEST(MqttBrokerTest, BrokerProgramIsInstalled) { ASSERT_FALSE(test::MosquittoProgram().isEmpty()); }

// A rig program: one engine with a simulated controller, publishing.
class RigProcess {
public:
    RigProcess(const std::string& rig, std::uint16_t port, int keepAlive_s) {
        process_.setProcessChannelMode(QProcess::ForwardedChannels);
        process_.start(TESSARO_MQTT_RIG, {QString::fromStdString(rig), QString::number(port),
                                          QString::number(keepAlive_s), folder_.path()});
    }
    ~RigProcess() {
        if (process_.state() != QProcess::NotRunning) {
            process_.kill();
            process_.waitForFinished(5000);
        }
    }
    bool Started() { return process_.waitForStarted(5000); }
    void Kill() {
        ::kill(static_cast<pid_t>(process_.processId()), SIGKILL);
        process_.waitForFinished(5000);
    }
    bool CloseCleanly() {
        process_.closeWriteChannel();
        return process_.waitForFinished(30000) && process_.exitCode() == 0;
    }
    fs::path LogsFolder() const { return fs::path(folder_.path().toStdString()) / "Logs"; }

private:
    QTemporaryDir folder_;
    QProcess process_;
};

std::vector<std::string> TopicsOf(const std::vector<test::TReceived>& received, const std::string& prefix) {
    std::vector<std::string> topics;
    for (const test::TReceived& message : received)
        if (message.Topic.starts_with(prefix)) topics.push_back(message.Topic);
    return topics;
}

std::string StateTopicOf(const test::TSubscriber& subscriber, const std::string& rig) {
    for (const test::TReceived& message : subscriber.Received())
        if (message.Topic.starts_with("tessaro/" + rig + "/devices/")) return message.Topic;
    return {};
}

TEST(MqttBrokerTest, TwoRigsPublishALateSubscriberGetsTheRetainedStateAndAKilledRigGoesOffline) {
    test::TBroker broker;
    ASSERT_TRUE(broker.Start());
    constexpr int kKeepAlive_s = 5;
    RigProcess r1("r1", broker.Port(), kKeepAlive_s);
    RigProcess r2("r2", broker.Port(), kKeepAlive_s);
    ASSERT_TRUE(r1.Started() && r2.Started());
    {
        // Both have published a state before anyone listened.
        test::TSubscriber early(broker.Port(), "tessaro/+/devices/#");
        ASSERT_TRUE(test::ServeUntil(
            [&] { return !StateTopicOf(early, "r1").empty() && !StateTopicOf(early, "r2").empty(); }, 30s));
    }

    test::TSubscriber late(broker.Port(), "tessaro/#");
    ASSERT_TRUE(late.WaitFor("tessaro/r1/status", "online", 5s));
    ASSERT_TRUE(late.WaitFor("tessaro/r2/status", "online", 5s));
    const std::string r1State = StateTopicOf(late, "r1");
    const std::string r2State = StateTopicOf(late, "r2");
    ASSERT_FALSE(r1State.empty());
    ASSERT_FALSE(r2State.empty());
    for (const test::TReceived& message : late.Received())
        if (message.Topic == r1State || message.Topic.ends_with("/status")) {
            EXPECT_TRUE(message.Retained) << message.Topic;
            break;
        }
    // Once the program's setpoint has gone out, the state says so.
    ASSERT_TRUE(test::ServeUntil([&] { return Json(late.Last(r1State))["planned_pct"].toDouble() == 40; }, 15s));
    const QJsonObject state = Json(late.Last(r1State));
    EXPECT_EQ(state["name"].toString(), "Nitrogen");
    EXPECT_EQ(state["kind"].toString(), "MFC-A");
    EXPECT_EQ(state["unit"].toString(), "ml/min");
    EXPECT_EQ(state["planned_pct"].toDouble(), 40);
    EXPECT_EQ(state["state"].toString(), "Segment");
    // The CSV row of the same time holds the same numbers.
    const QString time = state["time"].toString();
    const QString rowStart = time.left(19) + time.mid(23) + ",";
    QStringList row;
    for (const auto& entry : fs::directory_iterator(r1.LogsFolder()))
        if (entry.path().extension() == ".csv")
            for (const std::string& line : FileLines(entry.path()))
                if (QString::fromStdString(line).startsWith(rowStart)) row = QString::fromStdString(line).split(',');
    ASSERT_EQ(row.size(), 5) << rowStart.toStdString();
    EXPECT_EQ(row[2].toDouble(), state["planned_pct"].toDouble());
    EXPECT_EQ(row[3].toDouble(), state["planned_flow"].toDouble());
    EXPECT_EQ(row[4].trimmed().toDouble(), state["achieved_flow"].toDouble());

    const auto killedAt = std::chrono::steady_clock::now();
    r1.Kill();
    ASSERT_TRUE(late.WaitFor("tessaro/r1/status", "offline", std::chrono::milliseconds(kKeepAlive_s * 1500 + 1000)));
    std::chrono::steady_clock::time_point offlineAt;
    for (const test::TReceived& message : late.Received())
        if (message.Topic == "tessaro/r1/status" && message.Payload == "offline") offlineAt = message.At;
    EXPECT_LE(offlineAt - killedAt, std::chrono::milliseconds(kKeepAlive_s * 1500));

    // The other rig goes on: still online, its state still renewed.
    const auto r2States = std::ranges::count(TopicsOf(late.Received(), r2State), r2State);
    ASSERT_TRUE(test::ServeUntil(
        [&] { return std::ranges::count(TopicsOf(late.Received(), r2State), r2State) > r2States; }, 10s));
    EXPECT_EQ(late.Last("tessaro/r2/status"), "online");

    // A clean close says "offline" itself.
    ASSERT_TRUE(r2.CloseCleanly());
    EXPECT_TRUE(late.WaitFor("tessaro/r2/status", "offline", 5s));
}

class CollectedNotices {
public:
    TMqttNoticeSink Sink() {
        return [this](const TMqttNotice& notice) {
            std::lock_guard lock(mutex_);
            if (!notice.LogLine.empty()) lines_.push_back(notice.LogLine);
        };
    }
    std::vector<std::string> Lines() const {
        std::lock_guard lock(mutex_);
        return lines_;
    }

private:
    mutable std::mutex mutex_;
    std::vector<std::string> lines_;
};

TMqttSettings LoopbackSettings(std::uint16_t port, const std::string& rig = "r1") {
    TMqttSettings settings;
    settings.Enabled = true;
    settings.Host = "127.0.0.1";
    settings.Port = port;
    settings.Rig = rig;
    settings.KeepAlive_s = 5;
    return settings;
}

TDataLineSnapshot OneDeviceLine(double achieved) {
    TDataLineSnapshot line{QDateTime::currentDateTime(), {}};
    line.Devices.push_back({"/dev/pts/7", "Air", "MFC-B", false, "Air", "ml/min", 50, 500, achieved, "Direct",
                            std::nullopt, std::nullopt});
    return line;
}

// Waits (in real time) until `count` threads wait on `clock`.
bool UntilSleeping(const TFakeClock& clock, int count) {
    return test::ServeUntil([&] { return clock.Sleepers() == count; }, 10s);
}

// Moves `clock` to the next wake of a sleeping thread and returns how far it moved.
std::chrono::milliseconds StepToNextWake(TFakeClock& clock) {
    const std::chrono::milliseconds before = clock.Monotonic();
    clock.AdvanceToNextWake();
    return clock.Monotonic() - before;
}

TEST(MqttBrokerTest, ABrokerThatRestartsGetsTheStateAgainWithinTheBackoff) {
    // The waits between retries pass on a fake clock; the broker is real.
    TFakeClock clock;
    TScopedClock scopedClock(clock);
    test::TBroker broker;
    ASSERT_TRUE(broker.Start());
    CollectedNotices notices;
    TMqttPublisher publisher(LoopbackSettings(broker.Port()), notices.Sink());
    publisher.DataLineMade(OneDeviceLine(498.5));
    const std::string topic = MqttDeviceStateTopic("r1", "/dev/pts/7");
    {
        test::TSubscriber subscriber(broker.Port(), "tessaro/#");
        ASSERT_TRUE(subscriber.WaitFor(topic, {}, 10s));
    }

    broker.Stop();
    ASSERT_TRUE(test::ServeUntil([&] { return publisher.State() == TMqttState::Reconnecting; }, 10s));
    // The first retry comes 1 s after the loss and fails; the next waits 2 s.
    ASSERT_TRUE(UntilSleeping(clock, 1));
    EXPECT_EQ(StepToNextWake(clock), kMqttFirstRetry);
    ASSERT_TRUE(UntilSleeping(clock, 1));
    clock.Advance(500ms);
    // Back 1.5 s after the loss: the publisher keeps its wait and retries once it is over.
    ASSERT_TRUE(broker.Start());
    EXPECT_FALSE(test::ServeUntil([&] { return publisher.State() == TMqttState::Connected; }, 200ms));
    EXPECT_EQ(StepToNextWake(clock), 2 * kMqttFirstRetry - 500ms);
    ASSERT_TRUE(test::ServeUntil([&] { return publisher.State() == TMqttState::Connected; }, 10s));

    // The new broker knew nothing; the state it holds now came from the publisher.
    test::TSubscriber subscriber(broker.Port(), "tessaro/#");
    ASSERT_TRUE(subscriber.WaitFor(topic, {}, 5s));
    EXPECT_EQ(Json(subscriber.Last(topic))["achieved_flow"].toDouble(), 498.5);
    EXPECT_TRUE(subscriber.WaitFor("tessaro/r1/status", "online", 5s));
    // One line for the loss, one per connection: the failed retries are not told.
    const std::vector<std::string> lines = notices.Lines();
    ASSERT_EQ(lines.size(), 3u) << lines.back();
    EXPECT_TRUE(lines[1].starts_with("MQTT: the connection to 127.0.0.1:")) << lines[1];
}

TEST(MqttBrokerTest, EventsKeptWhileTheBrokerIsAwayAreBoundedAndTheDroppedOnesCounted) {
    test::TBroker broker;
    TMqttPublisher publisher(LoopbackSettings(broker.Port()), {});
    for (int i = 1; i <= 1005; ++i)
        publisher.EventOccurred(
            {QDateTime::currentDateTime(), TEngineEventKind::AlarmRaised, "COM1", "Air", "alarm " + std::to_string(i)});
    EXPECT_EQ(publisher.DroppedEvents(), 5u);

    ASSERT_TRUE(broker.Start());
    test::TSubscriber subscriber(broker.Port(), "tessaro/r1/events");
    ASSERT_TRUE(test::ServeUntil([&] { return subscriber.Connected(); }, 5s));
    ASSERT_TRUE(test::ServeUntil([&] { return subscriber.Received().size() >= 1001; }, 20s))
        << subscriber.Received().size();
    const std::vector<test::TReceived> received = subscriber.Received();
    const QJsonObject dropped = Json(received[0].Payload);
    EXPECT_EQ(dropped["event"].toString(), "events dropped");
    EXPECT_EQ(dropped["count"].toInt(), 5);
    EXPECT_EQ(Json(received[1].Payload)["text"].toString(), "alarm 6");
    EXPECT_EQ(Json(received[1000].Payload)["text"].toString(), "alarm 1005");
    EXPECT_EQ(Json(received[1].Payload)["event"].toString(), "alarm raised");
    EXPECT_FALSE(received[1].Retained);
}

TEST(MqttBrokerTest, BadSettingsAreToldOnceWithTheReason) {
    // The waits between retries pass on a fake clock.
    TFakeClock clock;
    TScopedClock scopedClock(clock);
    QTemporaryDir folder;
    const QString passwords = folder.path() + "/passwords";
    ASSERT_EQ(QProcess::execute("mosquitto_passwd", {"-b", "-c", passwords, "lab", "right"}), 0);
    // The broker started as root reads its files as the user "mosquitto".
    QFile::setPermissions(folder.path(),
                          QFile::permissions(folder.path()) | QFileDevice::ReadOther | QFileDevice::ExeOther);
    QFile::setPermissions(passwords, QFile::permissions(passwords) | QFileDevice::ReadOther);
    test::TBroker guarded(test::FreeLoopbackPort(),
                          "allow_anonymous false\npassword_file " + passwords.toStdString() + "\n");
    ASSERT_TRUE(guarded.Start());
    const QString badCa = folder.path() + "/ca.pem";
    QFile ca(badCa);
    ASSERT_TRUE(ca.open(QIODevice::WriteOnly));
    ca.write("not a certificate\n");
    ca.close();

    struct Case {
        const char* what;
        TMqttSettings settings;
        const char* reason;
    };
    std::vector<Case> cases;
    TMqttSettings unknownHost = LoopbackSettings(1883);
    unknownHost.Host = "no-such-host.invalid";
    cases.push_back({"unknown host", unknownHost, "cannot be resolved"});
    cases.push_back({"refused port", LoopbackSettings(test::FreeLoopbackPort()), "Connection refused"});
    TMqttSettings wrongPassword = LoopbackSettings(guarded.Port());
    wrongPassword.User = "lab";
    wrongPassword.Password = "wrong";
    cases.push_back({"wrong password", wrongPassword, "refused"});
    TMqttSettings missingCa = LoopbackSettings(guarded.Port());
    missingCa.Tls = true;
    missingCa.CaFile = (folder.path() + "/none.pem").toStdString();
    cases.push_back({"missing CA file", missingCa, "none.pem"});
    TMqttSettings garbageCa = missingCa;
    garbageCa.CaFile = badCa.toStdString();
    cases.push_back({"bad CA file", garbageCa, "TLS"});

    // The publishers end before what they tell into.
    std::vector<std::unique_ptr<CollectedNotices>> notices;
    std::vector<std::unique_ptr<TMqttPublisher>> publishers;
    for (const Case& c : cases) {
        notices.push_back(std::make_unique<CollectedNotices>());
        publishers.push_back(std::make_unique<TMqttPublisher>(c.settings, notices.back()->Sink()));
    }
    // The retries after 1 s and 2 s fail too.
    for (const std::chrono::milliseconds wait : {kMqttFirstRetry, 2 * kMqttFirstRetry}) {
        ASSERT_TRUE(UntilSleeping(clock, static_cast<int>(cases.size())));
        clock.Advance(wait);
    }
    ASSERT_TRUE(UntilSleeping(clock, static_cast<int>(cases.size())));
    for (std::size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(cases[i].what);
        const std::vector<std::string> lines = notices[i]->Lines();
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_NE(lines[0].find(cases[i].reason), std::string::npos) << lines[0];
        EXPECT_EQ(lines[0].find("wrong"), std::string::npos) << "the password is never told";
        EXPECT_EQ(publishers[i]->State(), TMqttState::Reconnecting);
    }
}

}  // namespace
}  // namespace tessaro
