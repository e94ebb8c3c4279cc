#include "WorkerTestSupport.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <thread>

namespace tessaro::test {

bool ServeAndTick(TFakeClock& clock, const std::function<bool()>& done, std::chrono::milliseconds limit) {
    return ServeUntil(
        [&] {
            // Only a worker already asleep when `done` was asked is woken: one that falls
            // asleep meanwhile is seen asleep by `done` first.
            const bool asleep = clock.Sleepers() > 0;
            if (done()) return true;
            if (asleep) clock.AdvanceToNextWake();
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
            const bool asleep = clock.Sleepers() > 0;  // as in ServeAndTick
            if (done()) return true;
            const std::vector<std::string> received = instrument.Received();
            bool advanced = false;
            for (; handled < received.size(); ++handled) {
                if (!unanswered(received[handled])) continue;
                clock.Advance(timeout + 1ms);
                advanced = true;
            }
            // A worker the advance has woken may already sleep again, unseen by `done`.
            if (asleep && !advanced) clock.AdvanceToNextWake();
            return false;
        },
        limit);
}

}  // namespace tessaro::test
