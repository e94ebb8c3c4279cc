#pragma once
// What the run engine needs from a window, and nothing more. The main window implements
// it; the headless program and the tests use TNullWindowPort or a recording fake. Every
// call comes on the window thread.

#include <string>
#include <vector>

#include "registry/ColorNames.h"

class QObject;

namespace tessaro {

struct TDeviceInfo;

class TWindowPort {
public:
    virtual ~TWindowPort() = default;

    // The on-screen log: appends one finished line (the engine adds the time stamp).
    virtual void AppendLogLine(const std::string& line) = 0;
    // A tick begins and ends: the log and data table lines it appends in between may be shown
    // together at its end.
    virtual void TickBegins() {}
    virtual void TickEnded() {}
    // A notice the operator reads when they can: shown at once, waits for nobody, stays
    // until dismissed.
    virtual void ShowNotice(const std::string& text) = 0;

    // LEDs of the status bar.
    virtual void SetActivityLed(bool on) = 0;
    virtual void SetDeviceLed(QObject* led, bool on) = 0;
    // Frees a device's LED; it leaves the status bar.
    virtual void FreeLed(QObject* led) = 0;
    // A new device LED after the last one of the status bar; and the look of a device's
    // LED: the device's colour while off, the LED size of the screen.
    virtual QObject* AddDeviceLed() = 0;
    virtual void SetDeviceLedLook(QObject* led, TRtColor offColor) = 0;
    // A device whose instrument has stopped answering: its LED shows red, lit or not, until
    // the fault is cleared.
    virtual void SetDeviceLedFault(QObject* led, bool fault) = 0;

    // The chart: one achieved-flow point of a device (x in minutes since the graph start,
    // y in percent of full scale), or, with `clear`, its achieved curve emptied. Adds
    // nothing for a device in idle mode.
    virtual void FlowSerie(const TDeviceInfo& device, double x_min, double y_pct, bool clear) = 0;
    // The device's planned curve moved (its program is paused): drawn again where shown.
    virtual void PlannedCurveChanged(const TDeviceInfo&) {}
    // Empties every device's curves; with `removeData` the points are dropped too.
    virtual void ClearGraph(bool removeData) = 0;
    // The tick has handled every device: the chart legend's values (TEngine::ChartLegend)
    // may have changed.
    virtual void ChartValuesChanged() {}

    // Shows a device in the window: its list row, the configuration and the other tabs.
    virtual void ShowDevice(TDeviceInfo& device) = 0;
    // Renews only the device's list row (ShownDeviceListRow), leaving the shown device alone.
    virtual void ShowDeviceRow(const TDeviceInfo& device) = 0;
    // Sets the State column of every row (shutdown: "Unknown").
    virtual void SetAllRowsState(const std::string& state) = 0;
    // The direct-control flow displays follow a changed setpoint field.
    virtual void RefreshFlowDisplays() = 0;
    // A controller reported its full scale: the displays that show the device follow.
    virtual void FullScaleChanged(const TDeviceInfo&) {}

    // The data table view follows the engine's table.
    virtual void DataTableLinesAppended(const std::vector<std::string>& lines) = 0;
    virtual void DataTableCleared() = 0;
    virtual void ScrollDataTableToEnd() = 0;
    virtual void SetAutoScrollChecked(bool on) = 0;
    // The merged segment listing is rebuilt.
    virtual void MemoSegmentsUpdate() = 0;

    // The time unit changed: menu check marks, the captions "Time, <symbol>" and the end
    // of the time axis, (end + 10) / factor.
    virtual void TimeUnitChanged(const std::string& symbol, double factor) = 0;

    // Shutdown: the caption, the disabled window with the busy cursor and the panel with
    // `panelText` over the tabs; EndShutdownWait puts the caption and the window back.
    virtual void BeginShutdownWait(const std::string& caption, const std::string& panelText) = 0;
    virtual void EndShutdownWait() = 0;
};

// A window that shows nothing: the headless program and tests that look only at records.
class TNullWindowPort : public TWindowPort {
public:
    void AppendLogLine(const std::string&) override {}
    void ShowNotice(const std::string&) override {}
    void SetActivityLed(bool) override {}
    void SetDeviceLed(QObject*, bool) override {}
    void FreeLed(QObject*) override {}
    QObject* AddDeviceLed() override { return nullptr; }
    void SetDeviceLedLook(QObject*, TRtColor) override {}
    void SetDeviceLedFault(QObject*, bool) override {}
    void FlowSerie(const TDeviceInfo&, double, double, bool) override {}
    void ClearGraph(bool) override {}
    void ShowDevice(TDeviceInfo&) override {}
    void ShowDeviceRow(const TDeviceInfo&) override {}
    void SetAllRowsState(const std::string&) override {}
    void RefreshFlowDisplays() override {}
    void DataTableLinesAppended(const std::vector<std::string>&) override {}
    void DataTableCleared() override {}
    void ScrollDataTableToEnd() override {}
    void SetAutoScrollChecked(bool) override {}
    void MemoSegmentsUpdate() override {}
    void TimeUnitChanged(const std::string&, double) override {}
    void BeginShutdownWait(const std::string&, const std::string&) override {}
    void EndShutdownWait() override {}
};

}  // namespace tessaro
