// A rig for the publishing tests that must end a whole program: one engine with a simulated
// flow controller running a segment program, publishing to a broker, until its standard
// input closes (a clean close) or it is killed. The engine keeps its time on a fake clock
// that moves on whenever every thread waits for it, so its seconds pass as fast as the
// controller answers; the broker and the connection to it keep real time.
//
//   tessaro_mqtt_rig RIG BROKER_PORT KEEPALIVE_S DATA_FOLDER

#include <unistd.h>

#include <QCoreApplication>
#include <QSocketNotifier>
#include <atomic>
#include <charconv>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>

#include "EngineTestSupport.h"
#include "InstrumentExchanges.h"

#include "engine/Engine.h"
#include "engine/EngineTimer.h"
#include "engine/Startup.h"
#include "mfc/AlicatMFCThread.h"
#include "mqtt/MqttPublishing.h"
#include "registry/Brinvale_DeviceInfo.h"
#include "sim/SimulatedInstrument.h"
#include "sim/SimulatedMfc.h"
#include "units/GasFlowUnitConversions.h"

namespace {

int Number(const char* text) {
    int value = 0;
    const std::string_view view(text);
    std::from_chars(view.data(), view.data() + view.size(), value);
    return value;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace tessaro;
    if (argc != 5) {
        std::fprintf(stderr, "usage: %s RIG BROKER_PORT KEEPALIVE_S DATA_FOLDER\n", argv[0]);
        return 2;
    }
    QCoreApplication app(argc, argv);
    InitializeModules();
    sim::SimInstrumentOptions quickReplies;
    quickReplies.ReplyDelayMs = test::kQuickReplyDelayMs;
    sim::SimulatedInstrument controller(std::make_unique<sim::SimulatedMfc>(sim::SimMfcConfig{}), quickReplies);
    test::InstrumentExchanges exchanges;
    exchanges.Watch(controller);
    TFakeClock clock(QDateTime::currentDateTime());
    TScopedClock scopedClock(clock);
    test::SettledClockDriver driver(clock, &exchanges);
    TDeviceInfo device = NewFoundDevice(controller.PortName(), dtMFCA, "100001");
    device.NameRole = "Nitrogen";
    device.FluidID = 8;
    device.FlowUnitUser = FlowUnitMlnAir().Clone();
    device.FlowUnitUser.GasName = "N2";
    device.FlowUnitUser.GasMolarMass = 28.0134;
    device.SegmentProgram = "0 40 Step\r\n600 40 Step";
    DevicesLocal() = {device};

    TNullWindowPort window;
    TEngineSettings settings;
    settings.DataFolder = argv[4];
    TEngine engine(window, settings);
    engine.FormCreate();
    if (!DevicesLocal()[0].StartThread()) return 1;
    TEngineTimer timer(engine);
    engine.ButtonSegmentProgramStartClick({controller.PortName()});
    // The engine's tick once a second of the fake clock, run on this thread.
    std::atomic<bool> stopTicks{false};
    std::atomic<bool> ticksEnded{false};
    std::thread ticks([&] {
        while (!stopTicks) {
            clock.Sleep(std::chrono::milliseconds(TEngineTimer::kIntervalMs), stopTicks);
            if (!stopTicks)
                QMetaObject::invokeMethod(
                    &app, [&] { timer.Tick(); }, Qt::BlockingQueuedConnection);
        }
        ticksEnded = true;
    });

    TMqttSettings mqtt;
    mqtt.Enabled = true;
    mqtt.Host = "127.0.0.1";
    mqtt.Port = static_cast<std::uint16_t>(Number(argv[2]));
    mqtt.Rig = argv[1];
    mqtt.KeepAlive_s = Number(argv[3]);
    std::unique_ptr<TMqttPublishing> publishing = StartMqttPublishing(engine, mqtt);

    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        char byte = 0;
        if (read(STDIN_FILENO, &byte, 1) <= 0) app.quit();
    });
    app.exec();

    stopTicks = true;
    // A tick on its way is served while the thread ends.
    while (!ticksEnded) {
        QCoreApplication::processEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ticks.join();
    publishing.reset();
    engine.FormClose();
    return 0;
}
