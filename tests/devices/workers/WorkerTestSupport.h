#pragma once
// What the worker tests share: a QCoreApplication for the whole program (the workers'
// exchanges are queued calls to it), a loop that serves those exchanges until a condition
// holds, and passes of a worker paced by a fake clock.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "QtEventLoopSupport.h"
#include "clock/Clock.h"
#include "sim/SimulatedInstrument.h"

namespace tessaro::test {

using namespace std::chrono_literals;

// Processes the window thread's events until `done` holds; false after `limit` of real time.

// The same, moving `clock` on to the next wake time whenever a worker sleeps on it.
bool ServeAndTick(TFakeClock& clock, const std::function<bool()>& done, std::chrono::milliseconds limit = 15s);

// Lets a worker that pauses on `clock` make `pauses` pauses: each time, the exchanges are
// served until the worker sleeps, then the clock is moved to its wake time. False when the
// worker stops pausing within the time limit.
bool RunPauses(TFakeClock& clock, int pauses);

// For ports that look for reply bytes without pausing (UseContinuousPolling), whose waits
// never sleep on the clock: serves exchanges until `done` holds, moving `clock` on to the
// next wake whenever a worker sleeps, and past `timeout` for each command that
// `instrument` receives from its `from`th on and `unanswered` picks, so that the exchange
// waiting for that reply times out at once. Only commands that really go unanswered may be
// picked: an answered one would time out too.
bool ServeWithUnansweredCommands(TFakeClock& clock, const sim::SimulatedInstrument& instrument, std::size_t from,
                                 std::function<bool(const std::string&)> unanswered, std::chrono::milliseconds timeout,
                                 const std::function<bool()>& done, std::chrono::milliseconds limit = 15s);

// The FailedPasses of a worker's successive reports (one per pass): each is 0 or one more
// than the one before. Fails naming the first report that breaks the rule.
template <typename TRecord>
::testing::AssertionResult FailuresCountedInARow(const std::vector<TRecord>& seen) {
    for (std::size_t i = 1; i < seen.size(); ++i) {
        const std::uint32_t count = seen[i].FailedPasses;
        if (count != 0 && count != seen[i - 1].FailedPasses + 1)
            return ::testing::AssertionFailure()
                   << "report " << i << " counts " << count << " after " << seen[i - 1].FailedPasses;
    }
    return ::testing::AssertionSuccess();
}

// The highest count of each run of failed passes in the reports.
template <typename TRecord>
std::vector<std::uint32_t> FailureStreaks(const std::vector<TRecord>& seen) {
    std::vector<std::uint32_t> streaks;
    std::uint32_t previous = 0;
    for (const TRecord& record : seen) {
        if (record.FailedPasses != 0 && previous == 0) streaks.push_back(0);
        if (record.FailedPasses != 0) streaks.back() = record.FailedPasses;
        previous = record.FailedPasses;
    }
    return streaks;
}

}  // namespace tessaro::test
