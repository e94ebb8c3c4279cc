#pragma once
// For test programs whose code runs on Qt's event loop (worker exchanges, timers): one
// QCoreApplication for the whole program, and a way to serve its events until something
// has happened.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <chrono>
#include <functional>
#include <memory>
#include <thread>

namespace tessaro::test {

class QtCoreApplicationEnvironment : public ::testing::Environment {
public:
    void SetUp() override { app_ = std::make_unique<QCoreApplication>(argc_, argv_); }
    void TearDown() override { app_.reset(); }

private:
    int argc_ = 1;
    char name_[16] = "tessaro_tests";
    char* argv_[2] = {name_, nullptr};
    std::unique_ptr<QCoreApplication> app_;
};

// Registered once per test program, however many of its files include this header.
inline ::testing::Environment* const kQtCoreApplication =
    ::testing::AddGlobalTestEnvironment(new QtCoreApplicationEnvironment);

// Serves the event loop until `done` holds; false when `limit` passed first.
inline bool ServeUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = std::chrono::seconds(20)) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        QCoreApplication::processEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

}  // namespace tessaro::test
