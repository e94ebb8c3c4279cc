// The operator's run commands: start, stop, apply a direct setpoint, the setpoint field,
// Reset Devices. Each changes device records; the next tick carries the change to the
// instruments.

#include "engine/Engine.h"
#include "registry/Brinvale_DeviceInfo.h"
#include "text/Messages.h"
#include "text/NumberFormat.h"

namespace tessaro {

void TEngine::ButtonSegmentProgramStartClick(const std::vector<std::string>& ports) {
    FlowDataSave(true, "StartSegmentsClick");
    for (const std::string& port : ports) {
        TDeviceInfo device;
        if (!FindDevice(port, device) || !device.IsConfigured()) continue;
        MM("Start segment program for " + device.NameRole);
        Notify(TEngineEventKind::ProgramStarted, &device, "Start segment program for " + device.NameRole);
        device.ControlMode = dcmSegment;
        device.MarkFlowStart();
        window_.FlowSerie(device, 0, 0, true);
        if (!StoreDevice(device)) MM("Starting segment program failed for: " + device.NameRole);
        window_.ShowDevice(device);
    }
    MarkGraphStart();
    RunStateChanged();
}

void TEngine::ButtonSegmentProgramStopClick(const std::vector<std::string>& ports) {
    FlowDataSave(true, "StopSegmentsClick");
    for (const std::string& port : ports) {
        TDeviceInfo device;
        if (!FindDevice(port, device) || !device.IsConfigured()) continue;
        MM("Stop device " + device.NameRole);
        StopDevice(device);
        if (!StoreDevice(device)) MM("Stopping device failed for: " + device.NameRole);
        window_.ShowDevice(device);
    }
    RunStateChanged();
}

void TEngine::ButtonApplyFlowClick(const std::vector<std::string>& ports) {
    const char sep = settings_.DecimalSeparator;
    const std::uint64_t stopsBefore = stopAllCount_;
    TDeviceInfo last;
    for (const std::string& port : ports) {
        TDeviceInfo device;
        if (!FindDevice(port, device)) continue;
        if (!device.IsConfigured()) {
            ShowMessage("Cannot apply to unconfigured device: " + device.NameRole);
            last = device;
            // The operator may stop every flow while the box is open: that stop wins over the
            // setpoints this click has not handed out yet.
            if (stopAllCount_ != stopsBefore) {
                MM("Apply setpoint ended by Stop all flows; the remaining devices stay idle");
                return;
            }
            continue;
        }
        // The setpoint typed for this very device, not what the field shows now.
        device.Setpoint_pct = device.Setpoint_gui;
        MM("Set device:" + device.NameRole + " to flow:" + FormatGeneral(device.Setpoint_pct, sep) + " %");
        if (device.ControlMode != dcmDirect) {
            device.ControlMode = dcmDirect;
            device.MarkFlowStart();
        }
        if (!StoreDevice(device)) MM("Changing setpoint for device failed: " + device.NameRole);
        last = device;
    }
    MM("Device:" + last.NameRole + " flow(gui):" + FormatGeneral(last.Setpoint_pct, sep) + " %");
    MarkGraphStart();
}

void TEngine::RtDoubleEditDirectControlDesiredFlowValueChanged(const std::optional<std::string>& focusedPort,
                                                               double value) {
    window_.RefreshFlowDisplays();
    TDeviceInfo device;
    if (!focusedPort || !FindDevice(*focusedPort, device)) return;
    device.Setpoint_gui = value;
    if (!StoreDevice(device)) MM("Saving device configuration failed");
}

void TEngine::Resetsoftware1Click() {
    FlowDataSave(true, "ResetDevicesClick");
    TerminateThreads();
}

}  // namespace tessaro
