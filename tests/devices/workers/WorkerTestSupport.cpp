#include "WorkerTestSupport.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <thread>

namespace tessaro::test {

namespace {

class QtApplication : public ::testing::Environment {
public:
    void SetUp() override { app_ = std::make_unique<QCoreApplication>(argc_, argv_); }
    void TearDown() override { app_.reset(); }

private:
    int argc_ = 1;
    char name_[16] = "workers_tests";
    char* argv_[2] = {name_, nullptr};
    std::unique_ptr<QCoreApplication> app_;
};

[[maybe_unused]] ::testing::Environment* const kQtApplication = ::testing::AddGlobalTestEnvironment(new QtApplication);

}  // namespace

bool ServeUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        QCoreApplication::processEvents();
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

bool ServeAndTick(TFakeClock& clock, const std::function<bool()>& done, std::chrono::milliseconds limit) {
    return ServeUntil(
        [&] {
            if (done()) return true;
            clock.AdvanceToNextWake();
            return false;
        },
        limit);
}

bool RunPauses(TFakeClock& clock, int pauses) {
    for (int i = 0; i < pauses; ++i) {
        if (!ServeUntil([&] { return clock.Sleepers() > 0; })) return false;
        clock.AdvanceToNextWake();
    }
    return true;
}

}  // namespace tessaro::test
