#pragma once
// What the device search and the maintenance tools need from a window while they run: the
// window stops taking input but keeps painting and shows how far the work has got, and the
// search hands it the device list's rows in their order. The main window implements it;
// tests use TNullOperationWindow or a recording fake. Window thread only.

#include <string>
#include <vector>

#include "engine/DeviceSetup.h"

namespace tessaro {

class TOperationWindow {
public:
    virtual ~TOperationWindow() = default;

    // The window refuses input (it still repaints) and shows a progress panel with `caption`.
    virtual void BeginOperation(const std::string& caption) = 0;
    // What runs now; `done` of `total` parts have ended.
    virtual void OperationProgress(const std::string& step, int done, int total) = 0;
    // The panel goes, the window takes input again.
    virtual void EndOperation() = 0;
    // The device list holds exactly these rows, top to bottom.
    virtual void ShowDeviceRows(const std::vector<TDeviceRowTexts>& rows) = 0;
};

class TNullOperationWindow : public TOperationWindow {
public:
    void BeginOperation(const std::string&) override {}
    void OperationProgress(const std::string&, int, int) override {}
    void EndOperation() override {}
    void ShowDeviceRows(const std::vector<TDeviceRowTexts>&) override {}
};

}  // namespace tessaro
