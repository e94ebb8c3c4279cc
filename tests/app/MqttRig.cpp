// A rig for the publishing tests that must end a whole program: one engine with a simulated
// flow controller running a segment program, publishing to a broker, until its standard
// input closes (a clean close) or it is killed.
//
//   tessaro_mqtt_rig RIG BROKER_PORT KEEPALIVE_S DATA_FOLDER

#include <unistd.h>

#include <QCoreApplication>
#include <QSocketNotifier>
#include <charconv>
#include <cstdio>
#include <memory>
#include <string>

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
    sim::SimulatedInstrument controller(std::make_unique<sim::SimulatedMfc>(sim::SimMfcConfig{}),
                                        sim::SimInstrumentOptions{});
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
    timer.Start();
    engine.ButtonSegmentProgramStartClick({controller.PortName()});

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

    publishing.reset();
    timer.Stop();
    engine.FormClose();
    return 0;
}
