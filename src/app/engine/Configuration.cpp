// "Apply" on the Configure tab, and the flow displays of the device it shows.

#include "engine/Engine.h"
#include "gases/GasMixtures.h"
#include "registry/Brinvale_DeviceInfo.h"
#include "text/Messages.h"
#include "text/NumberFormat.h"
#include "text/TextScan.h"

#include <tuple>

namespace tessaro {

namespace {

constexpr double kPumpFluidMolarMass = 10;

void TakeGas(TDeviceInfo& device, std::int32_t gasID) {
    device.FluidID = gasID;
    TGasItem gas;
    GetGas_ID(gasID, gas);
    const double molarMass = FlowMolarMass(gas);
    device.FlowUnitUser.GasMolarMass = molarMass;
    device.FlowUnitDevice.GasMolarMass = molarMass;
    // The data table's header names the gas of each column.
    device.FlowUnitUser.GasName = gas.NameShort;
    device.FlowUnitDevice.GasName = gas.NameShort;
}

void TakeFlowUnit(TGasFlowDetails& unit, const TConfigurationEntry& entry) {
    unit.Name = PrintableOnly(entry.UnitName);
    unit.Temperature = entry.UnitTemperatureC;
    unit.Pressure_BarA = entry.UnitPressureBar;
    unit.GasFlowType = entry.UnitIsGrams ? gfuGrams : gfuVolumetric;
}

}  // namespace

bool TEngine::ReferenceConditionsAccepted(const TConfigurationEntry& entry) const {
    // A volume at absolute zero or at no pressure has no mass: every flow would read 0.
    for (const auto& [caption, value, range] :
         {std::tuple{"Temperature, ºC", entry.UnitTemperatureC, kReferenceTemperatureRange},
          std::tuple{"Pressure, bar", entry.UnitPressureBar, kReferencePressureRange}}) {
        if (NumberInRange(FormatGeneral(value), range)) continue;
        ShowMessage(RefusedFieldMessage(caption, range, settings_.DecimalSeparator));
        return false;
    }
    return true;
}

void TEngine::TakeConfiguration(TDeviceInfo& device, const TConfigurationEntry& entry) {
    if (device.DevType == dtPump) {
        if (entry.FluidID) device.FluidID = *entry.FluidID;
        device.FlowUnitUser.GasMolarMass = kPumpFluidMolarMass;
        MM("Selected G(fluid)ID:" + std::to_string(device.FluidID));
    } else {
        if (entry.FluidID) TakeGas(device, *entry.FluidID);
        TakeFlowUnit(device.FlowUnitUser, entry);
    }
    device.NameRole = PrintableOnly(entry.NameRole);
    device.Color = entry.Color;
    device.FluidTemperatureC = entry.FluidTemperatureC;
    device.Setpoint_gui = entry.Setpoint_gui;
    // A refused syringe is told and leaves the syringe as it was; the rest is still taken.
    AcceptSyringeSize(device, entry.SyringeSize_µL);
}

bool TEngine::ApplyConfiguration(const std::string& port, const TConfigurationEntry& entry) {
    TDeviceInfo device;
    if (!FindDevice(port, device)) return false;
    if (!entry.FluidID) {
        ShowMessage(device.DevType == dtPump ? "No fluid selected for Pump" : "No fluid selected for MFC");
        return false;
    }
    if (device.DevType != dtPump && !entry.UnitIsGrams && !ReferenceConditionsAccepted(entry)) return false;
    const std::int32_t previousGas = device.FluidID;
    TakeConfiguration(device, entry);

    const bool wasRunning = device.IsConfigured() && device.ControlMode != dcmIdle;
    // A device that has a worker keeps it and its LED; Apply then changes its settings only.
    std::string failure;
    std::string notice;
    const bool started = device.StartThread(failure, notice);
    if (!notice.empty()) MM(notice);
    // A controller tells its full scale for the gas it is set to, and a new worker asks for
    // it again: until it has, a full scale kept from before would be taken for the new gas.
    if (IsMixerController(device.DevType) && (started || device.FluidID != previousGas)) device.ForgetFullScale();
    if (started) {
        device.Led = window_.AddDeviceLed();
        device.NoReply = false;
        device.NoReplySince.clear();
    } else if (!failure.empty()) {
        ShowMessage("The pump on " + port + " does not answer: " + failure);
    }
    window_.SetDeviceLedLook(device.Led, device.Color);

    // A device applied while it runs goes idle at zero flow, as after "Stop": left alone,
    // its instrument would keep the last setpoint it was given while the list reads "Ready".
    if (wasRunning)
        StopDevice(device);
    else
        device.ControlMode = dcmIdle;

    if (!StoreDevice(device)) {
        ShowMessage("Saving device configuration failed");
        return false;
    }
    window_.ShowDevice(device);
    DataHeaderPending = true;
    return true;
}

std::optional<TFlowDisplays> TEngine::FlowDisplays(const std::string& port, double segmentPct, double directPct) {
    TDeviceInfo device;
    if (!FindDevice(port, device)) return std::nullopt;
    std::optional<TFlowDisplays> shown = FlowDisplaysOf(device, segmentPct, directPct, settings_.DecimalSeparator);
    if (shown)
        for (const std::string& command : shown->PumpCommands) MM(command);
    return shown;
}

}  // namespace tessaro
