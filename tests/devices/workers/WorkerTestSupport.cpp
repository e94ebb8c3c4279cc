#include "WorkerTestSupport.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <thread>

namespace tessaro::test {

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

bool ServeWithUnansweredCommands(TFakeClock& clock, const sim::SimulatedInstrument& instrument, std::size_t from,
                                 std::function<bool(const std::string&)> unanswered, std::chrono::milliseconds timeout,
                                 const std::function<bool()>& done, std::chrono::milliseconds limit) {
    std::size_t handled = from;
    return ServeUntil(
        [&] {
            if (done()) return true;
            const std::vector<std::string> received = instrument.Received();
            for (; handled < received.size(); ++handled)
                if (unanswered(received[handled])) clock.Advance(timeout + 1ms);
            clock.AdvanceToNextWake();
            return false;
        },
        limit);
}

}  // namespace tessaro::test
