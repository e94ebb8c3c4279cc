#include "EngineTestSupport.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <memory>

namespace tessaro::test {

namespace {

class QtApplication : public ::testing::Environment {
public:
    void SetUp() override { app_ = std::make_unique<QCoreApplication>(argc_, argv_); }
    void TearDown() override { app_.reset(); }

private:
    int argc_ = 1;
    char name_[16] = "engine_tests";
    char* argv_[2] = {name_, nullptr};
    std::unique_ptr<QCoreApplication> app_;
};

[[maybe_unused]] ::testing::Environment* const kQtApplication = ::testing::AddGlobalTestEnvironment(new QtApplication);

}  // namespace

ClockDriver::ClockDriver(TFakeClock& clock) : clock_(clock) {
    thread_ = std::thread([this] {
        while (!stop_) {
            if (!clock_.AdvanceToNextWake()) std::this_thread::sleep_for(200us);
        }
    });
}

ClockDriver::~ClockDriver() {
    stop_ = true;
    thread_.join();
}

bool ServeUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        QCoreApplication::processEvents();
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

}  // namespace tessaro::test
