#include "WorkerTestSupport.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <thread>

namespace tessaro::test {

namespace {}  // namespace

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
