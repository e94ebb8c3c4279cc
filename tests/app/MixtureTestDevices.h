#pragma once
// The devices the mixture recipe and designer tests work with: COM6, a Kestra controller on
// N2 with a full scale of 50 standard cc/min shown in mln at 25 ºC; COM7, a second one on
// Ar; COM8, a humidifier pump with a 250 µl syringe dosing water. The registry holds
// exactly these while the fixture lives.

#include <gtest/gtest.h>

#include "registry/Brinvale_DeviceInfo.h"
#include "engine/Startup.h"

namespace tessaro::test {

inline constexpr int kArgon = 1;
inline constexpr int kNitrogenGas = 8;
inline constexpr int kWater = 1001;

inline TDeviceInfo MixtureController(const char* port, int gasID, double fullScale_sccm) {
    TDeviceInfo device;
    device.COMPort = port;
    device.DevType = dtMFCA;
    device.FluidID = gasID;
    device.FlowUnitDevice = FlowUnitMlnAir();
    device.FlowUnitDevice.Temperature = 25;
    device.FlowUnitDevice.Pressure_BarA = 1.01325;
    device.FlowUnitDevice.SetGasFlowMax(fullScale_sccm);
    device.FlowUnitUser = device.FlowUnitDevice.Clone();
    return device;
}

inline TDeviceInfo MixturePump(const char* port) {
    TDeviceInfo device;
    device.COMPort = port;
    device.DevType = dtPump;
    device.FluidID = kWater;
    device.SyringeSizeµL = 250;
    device.MaxFlow_µlpm = 25 * 250;
    device.FlowUnitUser = FlowUnitMicrolitres();
    return device;
}

class MixtureDevicesFixture : public ::testing::Test {
protected:
    MixtureDevicesFixture() {
        InitializeModules();
        DevicesLocal() = {MixtureController("COM6", kNitrogenGas, 50), MixtureController("COM7", kArgon, 100),
                          MixturePump("COM8")};
    }
    ~MixtureDevicesFixture() override { DevicesLocal().clear(); }

    static TDeviceInfo Device(const std::string& port) {
        TDeviceInfo device;
        EXPECT_TRUE(FindDevice(port, device)) << port;
        return device;
    }
    static void SetProgram(const std::string& port, const std::string& program) {
        TDeviceInfo device = Device(port);
        device.SegmentProgram = program;
        StoreDevice(device);
    }
};

}  // namespace tessaro::test
