// The engine tick with publishing to MQTT on, against a broker that cannot be reached (the
// publisher retries in the background), and with publishing off: five flow controllers in
// their programs on a fake clock, fresh readings every tick, one iteration a simulated
// minute (20 data lines, each handed to the publisher).

#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QTemporaryDir>
#include <memory>

#include "clock/Clock.h"
#include "engine/Engine.h"
#include "engine/Startup.h"
#include "mfc/AlicatMFCThread.h"
#include "mqtt/MqttPublishing.h"
#include "registry/Brinvale_DeviceInfo.h"
#include "units/GasFlowUnitConversions.h"

namespace tessaro {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

constexpr int kControllers = 5;
constexpr auto kTickStep = 1001ms;

QCoreApplication& Application() {
    static int argc = 1;
    static char name[] = "app_mqtt_bench";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    return app;
}

// A loopback port with no listener: every connection attempt is refused.
std::uint16_t RefusingPort() {
    const int socket = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(socket, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    ::getsockname(socket, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(socket);
    return ntohs(address.sin_port);
}

class Rig {
public:
    explicit Rig(bool publishing) : scopedClock_(clock_) {
        InitializeModules();
        std::vector<TDeviceInfo>& devices = DevicesLocal();
        devices.clear();
        for (int i = 0; i < kControllers; ++i) {
            TDeviceInfo device = NewFoundDevice("COM" + std::to_string(10 + i), NextFlowControllerKind(devices), "1");
            device.FlowUnitUser = FlowUnitMlnAir().Clone();
            device.FluidID = 8;
            device.SegmentProgram = "0 10 Step\r\n20160 90 Ramp";
            device.ThreadMFC = new TMFCThread;
            devices.push_back(device);
        }
        TEngineSettings settings;
        settings.DataFolder = fs::path(folder_.path().toStdString());
        settings.Sleeps = false;
        engine_ = std::make_unique<TEngine>(window_, settings);
        engine_->FormCreate();
        std::vector<std::string> ports;
        for (const TDeviceInfo& device : devices) ports.push_back(device.COMPort);
        engine_->ButtonSegmentProgramStartClick(ports);
        if (!publishing) return;
        TMqttSettings mqtt;
        mqtt.Enabled = true;
        mqtt.Host = "127.0.0.1";
        mqtt.Port = RefusingPort();
        mqtt.Rig = "bench";
        publishing_ = StartMqttPublishing(*engine_, mqtt);
    }
    ~Rig() {
        publishing_.reset();
        for (TDeviceInfo& device : DevicesLocal()) delete device.ThreadMFC;
        DevicesLocal().clear();
    }

    void Tick() {
        for (TDeviceInfo& device : DevicesLocal()) {
            TThreadData& report = device.ThreadMFC->GUIIn;
            ++report.StatusSequence;
            report.DeviceStatus.FlowRate_mass = static_cast<double>(report.StatusSequence % 64000);
            report.DeviceStatus.MaxFlowgpm = 1.145;
        }
        engine_->TimerEngineTimer();
        clock_.Advance(kTickStep);
    }

private:
    TFakeClock clock_;
    TScopedClock scopedClock_;
    QTemporaryDir folder_;
    TNullWindowPort window_;
    std::unique_ptr<TEngine> engine_;
    std::unique_ptr<TMqttPublishing> publishing_;
};

void TimeAMinuteOfTicks(benchmark::State& state, bool publishing) {
    Application();
    Rig rig(publishing);
    for (int i = 0; i < 60; ++i) rig.Tick();  // the header and the first session's file
    for (auto _ : state)
        for (int i = 0; i < 60; ++i) rig.Tick();
}

void BM_TickMinutePublishingOff(benchmark::State& state) { TimeAMinuteOfTicks(state, false); }
BENCHMARK(BM_TickMinutePublishingOff)->MinTime(2)->Unit(benchmark::kMillisecond);

void BM_TickMinutePublishingToAnUnreachableBroker(benchmark::State& state) { TimeAMinuteOfTicks(state, true); }
BENCHMARK(BM_TickMinutePublishingToAnUnreachableBroker)->MinTime(2)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tessaro
