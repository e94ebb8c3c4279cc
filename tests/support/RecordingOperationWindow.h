#pragma once
// An operation window for search and tool tests: records what it is asked, and can run
// something while an operation shows its progress.

#include <functional>
#include <string>
#include <vector>

#include "discovery/OperationWindow.h"

namespace tessaro::test {

class RecordingOperationWindow : public TOperationWindow {
public:
    std::vector<std::string> Events;  // "Begin <caption>", "End"
    std::vector<std::string> Steps;   // "<step> <done>/<total>"
    std::vector<TDeviceRowTexts> Rows;
    std::function<void()> OnBegin;
    std::function<void()> OnProgress;

    void BeginOperation(const std::string& caption) override {
        Events.push_back("Begin " + caption);
        if (OnBegin) OnBegin();
    }
    void OperationProgress(const std::string& step, int done, int total) override {
        Steps.push_back(step + " " + std::to_string(done) + "/" + std::to_string(total));
        if (OnProgress) OnProgress();
    }
    void EndOperation() override { Events.push_back("End"); }
    void ShowDeviceRows(const std::vector<TDeviceRowTexts>& rows) override { Rows = rows; }
};

}  // namespace tessaro::test
