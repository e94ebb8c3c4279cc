#pragma once
// A window for engine tests: it records what the engine asks of it.

#include <QObject>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/DeviceSetup.h"
#include "engine/WindowPort.h"
#include "registry/Brinvale_DeviceInfo.h"

namespace tessaro::test {

class RecordingWindowPort : public TWindowPort {
public:
    struct Point {
        std::string Port;
        double X;
        double Y;
        bool Clear;
    };

    // Recorded.
    std::vector<std::string> Log;
    std::vector<std::string> Notices;
    std::function<void()> OnNotice;  // set by a test that looks at the moment of a notice
    int FailingTicks = 0;            // so many ticks fail from their start
    std::vector<Point> Points;
    std::vector<QObject*> FreedLeds;
    std::vector<std::unique_ptr<QObject>> Leds;  // made by AddDeviceLed
    std::vector<std::pair<QObject*, TRtColor>> LedLooks;
    std::vector<std::pair<QObject*, bool>> LedFaults;
    std::vector<std::string> RowsShown;                // the State column of each renewed row
    std::vector<std::pair<QObject*, bool>> LedStates;  // every switch of a device LED
    std::vector<std::string> Shown;                    // ports of the devices shown, in order
    std::vector<std::string> FullScalesChanged;        // ports whose full scale became known or changed
    std::vector<std::string> RowStates;
    std::vector<std::string> TableLines;
    int TableClears = 0;
    int ActivityLedOn = 0;
    std::vector<std::pair<std::string, double>> TimeUnits;
    std::vector<std::string> Events;  // shutdown window and graph, in order

    void AppendLogLine(const std::string& line) override { Log.push_back(line); }
    void ShowNotice(const std::string& text) override {
        Notices.push_back(text);
        if (OnNotice) OnNotice();
    }
    void SetActivityLed(bool on) override {
        if (on && FailingTicks > 0) {
            --FailingTicks;
            throw std::runtime_error("LED gone");
        }
        ActivityLedOn += on ? 1 : 0;
    }
    void SetDeviceLed(QObject* led, bool on) override { LedStates.emplace_back(led, on); }
    void FreeLed(QObject* led) override { FreedLeds.push_back(led); }
    QObject* AddDeviceLed() override {
        Leds.push_back(std::make_unique<QObject>());
        return Leds.back().get();
    }
    void SetDeviceLedLook(QObject* led, TRtColor offColor) override { LedLooks.emplace_back(led, offColor); }
    void SetDeviceLedFault(QObject* led, bool fault) override { LedFaults.emplace_back(led, fault); }
    void FlowSerie(const TDeviceInfo& device, double x, double y, bool clear) override {
        if (clear || device.ControlMode != dcmIdle) Points.push_back({device.COMPort, x, y, clear});
    }
    void ClearGraph(bool removeData) override { Events.push_back(removeData ? "ClearGraph data" : "ClearGraph"); }
    void ShowDevice(TDeviceInfo& device) override { Shown.push_back(device.COMPort); }
    void ShowDeviceRow(const TDeviceInfo& device) override { RowsShown.push_back(ShownDeviceListRow(device)[1]); }
    void SetAllRowsState(const std::string& state) override { RowStates.push_back(state); }
    void RefreshFlowDisplays() override {}
    void FullScaleChanged(const TDeviceInfo& device) override { FullScalesChanged.push_back(device.COMPort); }
    void DataTableLinesAppended(const std::vector<std::string>& lines) override {
        TableLines.insert(TableLines.end(), lines.begin(), lines.end());
    }
    void DataTableCleared() override {
        TableLines.clear();
        ++TableClears;
    }
    void ScrollDataTableToEnd() override {}
    void SetAutoScrollChecked(bool) override {}
    void MemoSegmentsUpdate() override {}
    void TimeUnitChanged(const std::string& symbol, double factor) override { TimeUnits.emplace_back(symbol, factor); }
    void BeginShutdownWait(const std::string& caption, const std::string& panelText) override {
        Events.push_back("Begin " + caption + "|" + panelText);
    }
    void EndShutdownWait() override { Events.push_back("End"); }

    // Log lines without their time stamp ("hh:nn:ss:zzz ").
    std::vector<std::string> LogTexts() const {
        std::vector<std::string> texts;
        for (const std::string& line : Log) texts.push_back(line.size() >= 13 ? line.substr(13) : line);
        return texts;
    }
};

}  // namespace tessaro::test
