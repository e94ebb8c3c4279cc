#include "registry/Brinvale_DeviceInfo.h"

#include <gtest/gtest.h>

#include <QLoggingCategory>
#include <QString>
#include <QStringList>
#include <utility>

#include "engine/Clock.h"
#include "gases/GasMixtures.h"

namespace tessaro {
namespace {

using namespace std::chrono_literals;

// Every test starts from the array as start-up leaves it and leaves it as it found it.
class Registry : public ::testing::Test {
protected:
    void SetUp() override { saved_ = std::exchange(DevicesLocal(), DemoDevices()); }
    void TearDown() override { DevicesLocal() = std::move(saved_); }

    static TDeviceInfo Device(std::string port, std::string name, tDeviceType kind) {
        TDeviceInfo dev;
        dev.COMPort = std::move(port);
        dev.NameRole = std::move(name);
        dev.DevType = kind;
        return dev;
    }

private:
    std::vector<TDeviceInfo> saved_;
};

TGasFlowDetails MlnAirWithFullScale(double fullScale) {
    TGasFlowDetails unit = FlowUnitMlnAir();
    unit.SetGasFlowMax(fullScale);
    return unit;
}

TEST_F(Registry, DemoDevicesAreTheTwoVirtualControllers) {
    const std::vector<TDeviceInfo>& devices = DevicesLocal();
    ASSERT_EQ(devices.size(), 2u);
    const struct {
        const char* port;
        const char* serial;
        TRtColor color;
        double fullScale;
        const char* program;
    } expected[] = {
        {"COMX", "123456", 0xFF800080, 50,
         "10 100 Ramp\r\n12 100 Step Some_random_comment\r\n12.5 30 Ramp\r\n15 50 Step\r\n20 30 Step\r\n24 0 Ramp"},
        {"COMY", "1234567", 0xFF008000, 500,
         "1.5 100 Ramp\r\n2.5 100 Step Some_random_comment\r\n3.5 30 Ramp\r\n4 50 Step\r\n4.5 30 Step\r\n8 0 Ramp"},
    };
    for (std::size_t i = 0; i < 2; ++i) {
        SCOPED_TRACE(expected[i].port);
        const TDeviceInfo& dev = devices[i];
        EXPECT_EQ(dev.COMPort, expected[i].port);
        EXPECT_EQ(dev.DevType, dtMFCDemo);
        EXPECT_EQ(dev.Serial, expected[i].serial);
        EXPECT_EQ(dev.NameRole, "Virtual Demo");
        EXPECT_EQ(dev.Color, expected[i].color);
        EXPECT_EQ(dev.ControlMode, dcmDirect);
        EXPECT_EQ(dev.Setpoint_pct, 0);
        EXPECT_EQ(dev.FluidID, -1);
        EXPECT_EQ(dev.FlowUnitDevice, MlnAirWithFullScale(expected[i].fullScale));
        EXPECT_EQ(dev.FlowUnitUser, dev.FlowUnitDevice);
        EXPECT_EQ(dev.SegmentProgram, expected[i].program);
        EXPECT_FALSE(dev.IsConfigured());
        EXPECT_EQ(dev.Led, nullptr);
        EXPECT_EQ(dev.SerieSegment, nullptr);
        EXPECT_EQ(dev.SerieFlow, nullptr);
    }
    // The standard unit itself is left as it was.
    EXPECT_NE(FlowUnitMlnAir(), devices[0].FlowUnitDevice);
}

QStringList& CapturedLines() {
    static QStringList lines;
    return lines;
}

TEST_F(Registry, InitializationFillsTheArrayAndSaysSoOnItsChannel) {
    DevicesLocal().clear();
    QLoggingCategory::setFilterRules("Unit: DeviceInfo.debug=true");
    CapturedLines().clear();
    const QtMessageHandler previous =
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext& context, const QString& message) {
            if (QString::fromUtf8(context.category) == "Unit: DeviceInfo") CapturedLines().append(message);
        });
    InitializeDeviceInfo();
    qInstallMessageHandler(previous);
    QLoggingCategory::setFilterRules(QString());

    EXPECT_EQ(CapturedLines(), QStringList{"Initialization"});
    ASSERT_EQ(DevicesLocal().size(), 2u);
    EXPECT_EQ(DevicesLocal()[0].COMPort, "COMX");
    EXPECT_EQ(DevicesLocal()[1].COMPort, "COMY");
}

TEST_F(Registry, LookupTrimsBothSidesAndMatchesExactly) {
    DevicesLocal().push_back(Device(" COM3\r\n", "padded in the array", dtMFCA));
    const struct {
        const char* port;
        int index;
    } cases[] = {
        {"COMX", 0},
        {"  COMX  ", 0},
        {"\tCOMX\r\n", 0},
        {"COMY", 1},
        {"COM3", 2},
        {"\x7f"
         "COM3 ",
         2},
        {"comx", -1},
        {"COM", -1},
        {"COMXY", -1},
        {"CO MX", -1},
        {"", -1},
        {"COM3\xc2\xa0", -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.port);
        EXPECT_EQ(DeviceIndex(c.port), c.index);
        TDeviceInfo dev = Device("untouched", "", dtPump);
        EXPECT_EQ(FindDevice(c.port, dev), c.index >= 0);
        if (c.index >= 0)
            EXPECT_EQ(dev, DevicesLocal()[static_cast<std::size_t>(c.index)]);
        else
            EXPECT_EQ(dev.COMPort, "untouched");
    }
}

TEST_F(Registry, StoreWritesBackTheEntryOfItsPortOnly) {
    TDeviceInfo dev;
    ASSERT_TRUE(FindDevice("COMY", dev));
    dev.COMPort = " COMY ";
    dev.NameRole = "Cathode side";
    dev.Setpoint_gui = 42;
    EXPECT_TRUE(StoreDevice(dev));
    EXPECT_EQ(DevicesLocal()[1], dev);
    EXPECT_EQ(DevicesLocal()[0], DemoDevices()[0]);

    const std::vector<TDeviceInfo> before = DevicesLocal();
    dev.COMPort = "COM9";
    EXPECT_FALSE(StoreDevice(dev));
    EXPECT_EQ(DevicesLocal(), before);

    DevicesLocal().clear();
    EXPECT_FALSE(StoreDevice(dev));
    EXPECT_TRUE(DevicesLocal().empty());
}

TEST_F(Registry, SortFoldsAsciiCaseAndBreaksTiesByKind) {
    DevicesLocal() = {Device("COM1", "b", dtMFCB), Device("COM2", "A", dtMFCA),
                      Device("COM3", "a", dtMFCC), Device("COM4", "Zeta", dtMFCA),
                      Device("COM5", "a", dtMFCB), Device("COM6", "\u00C9mile", dtMFCA)};
    SortDevicesLocalArray();
    // Other than ASCII letters, characters compare by their code: "É" (U+00C9) after "z".
    const std::vector<std::pair<std::string, tDeviceType>> expected = {
        {"A", dtMFCA}, {"a", dtMFCB}, {"a", dtMFCC}, {"b", dtMFCB}, {"Zeta", dtMFCA}, {"\u00C9mile", dtMFCA}};
    std::vector<std::pair<std::string, tDeviceType>> sorted;
    for (const TDeviceInfo& dev : DevicesLocal()) sorted.emplace_back(dev.NameRole, dev.DevType);
    EXPECT_EQ(sorted, expected);
}

TEST(DeviceInfo, ElapsedMinutesComeFromTheMonotonicClockOnly) {
    const QDateTime start(QDate(2024, 10, 27), QTime(2, 59, 0));
    TFakeClock clock(start);
    TScopedClock installed(clock);
    clock.Advance(12h);  // the program does not start at the clock's origin

    TDeviceInfo dev;
    dev.MarkFlowStart();
    EXPECT_DOUBLE_EQ(dev.FlowStartTime, LocalDateTimeToDays(start.addSecs(12 * 3600)));

    clock.Advance(90s);
    EXPECT_DOUBLE_EQ(dev.Elapsed_min(), 1.5);
    // Clocks go back an hour at the end of daylight-saving time; a running program goes on.
    clock.SetLocalNow(clock.LocalNow().addSecs(-3600));
    EXPECT_DOUBLE_EQ(dev.Elapsed_min(), 1.5);
    clock.Advance(30s);
    EXPECT_DOUBLE_EQ(dev.Elapsed_min(), 2.0);
    // A clock correction forward by a day changes nothing either.
    clock.SetLocalNow(clock.LocalNow().addDays(1));
    const TDeviceInfo copy = dev;
    EXPECT_DOUBLE_EQ(copy.Elapsed_min(), 2.0);
}

TEST(DeviceInfo, FluidnameByKindAndGas) {
    if (GasList().empty()) BuildGasList();
    const struct {
        tDeviceType kind;
        int32_t fluid;
        const char* name;
    } cases[] = {
        {dtMFCA, 1, "Ar"},        {dtMFCDemo, 8, "N2"},       {dtMFCD, 0, "Mixture"},  // Air, as defined
        {dtMFCB, 302, "Mixture"},                                                      // a normalised mixture
        {dtMFCC, -1, "Unknown"},  {dtMFCA, 99999, "Unknown"}, {dtPump, 1001, "Pump"},
        {dtPump, 1, "Pump"},      {dtPump, -1, "Pump"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fluid);
        TDeviceInfo dev;
        dev.DevType = c.kind;
        dev.FluidID = c.fluid;
        EXPECT_EQ(dev.Fluidname(), c.name);
    }
}

TEST(DeviceInfo, KindTexts) {
    const struct {
        tDeviceType kind;
        const char* device;
        const char* instrument;
    } cases[] = {
        {dtMFCA, "MFC-A", "Kestra"}, {dtMFCB, "MFC-B", "Kestra"}, {dtMFCC, "MFC-C", "Kestra"},
        {dtMFCD, "MFC-D", "Kestra"}, {dtPump, "Pump", "Lumora"},  {dtMFCDemo, "MFC", "Simulated"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DeviceTypeName(c.kind), c.device);
        EXPECT_EQ(InstrumentName(c.kind), c.instrument);
    }
}

TEST(DeviceInfo, FoundDevicesAreLetteredInOrderAndStartIdle) {
    std::vector<TDeviceInfo> found;
    const tDeviceType expectedKinds[] = {dtMFCA, dtMFCB, dtMFCC, dtMFCD, dtMFCD};
    for (tDeviceType expected : expectedKinds) {
        EXPECT_EQ(NextFlowControllerKind(found), expected);
        found.push_back(NewFoundDevice("COM" + std::to_string(found.size() + 1), expected, "A 123"));
        found.push_back(NewFoundDevice("COM99", dtPump, "7"));  // pumps do not count
    }

    const TDeviceInfo& controller = found[2];
    EXPECT_EQ(controller.COMPort, "COM3");
    EXPECT_EQ(controller.DevType, dtMFCB);
    EXPECT_EQ(controller.Serial, "A 123");
    EXPECT_EQ(controller.NameRole, "Kestra MFC-B");
    EXPECT_EQ(controller.Color, 0xFFFF0000);  // Red
    EXPECT_EQ(controller.ControlMode, dcmIdle);
    EXPECT_EQ(controller.FluidID, -1);
    EXPECT_EQ(controller.SegmentProgram, "");
    EXPECT_EQ(controller.FlowUnitDevice, MlnAirWithFullScale(0));
    EXPECT_EQ(controller.FlowUnitUser, controller.FlowUnitDevice);
    EXPECT_FALSE(controller.IsConfigured());

    const TDeviceInfo& pump = found[1];
    EXPECT_EQ(pump.NameRole, "Lumora Pump");
    EXPECT_EQ(pump.SyringeSizeµL, 12500);
    EXPECT_EQ(pump.MaxFlow_µlpm, 25 * 12500);
    EXPECT_EQ(pump.FluidTemperatureC, 20);
    EXPECT_EQ(pump.FlowUnitDevice, FlowUnitMicrolitres());
    EXPECT_EQ(pump.ControlMode, dcmIdle);
}

}  // namespace
}  // namespace tessaro
