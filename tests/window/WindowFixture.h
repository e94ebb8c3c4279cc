#pragma once
// A main window over fresh demo devices, with its data folder in a temporary directory and
// the operator messages collected.

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <QTreeWidget>
#include <functional>
#include <initializer_list>
#include <memory>

#include "Form.h"
#include "MessageCapture.h"

class QApplication;

namespace tessaro::test {

// Gas numbers of the gas table.
inline constexpr int kAir = 0;
inline constexpr int kNitrogen = 8;

class WindowFixture : public ::testing::Test {
protected:
    WindowFixture();
    ~WindowFixture() override;

    template <typename T>
    T* Child(const char* name) const {
        T* child = form->findChild<T*>(name);
        EXPECT_NE(child, nullptr) << name;
        return child;
    }

    QTreeWidgetItem* Row(const char* port) const;
    // Gives the row the focus (and the only selection), as a click does.
    void Focus(const char* port);
    // Selects exactly these rows; the focus goes to the last one.
    void SelectRows(std::initializer_list<const char*> ports);
    // Picks the gas of that number in the gas list.
    void ChooseGas(int gasID);
    void ClickApply();
    // Focus, gas, "Apply".
    void Configure(const char* port, int gasID);
    // Ticks the engine every 50 ms, as its timer would, until `done` holds or 5 s have
    // passed; whether it held.
    bool TickEngineUntil(const std::function<bool()>& done);
    int StatusBarLeds() const;
    // The Configure tab with no device: nothing of a device shown before is left, and
    // nothing can be applied.
    void ExpectNoDeviceShown() const;
    TDeviceInfo Device(const char* port) const;

    QApplication& app;
    QTemporaryDir folder;
    MessageCapture messages;
    std::unique_ptr<TGUIF> form;
};

}  // namespace tessaro::test
