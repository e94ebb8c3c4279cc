#pragma once
// What the worker tests share: a QCoreApplication for the whole program (the workers'
// exchanges are queued calls to it), a loop that serves those exchanges until a condition
// holds, and passes of a worker paced by a fake clock.

#include <chrono>
#include <functional>

#include "QtEventLoopSupport.h"
#include "clock/Clock.h"

namespace tessaro::test {

using namespace std::chrono_literals;

// Processes the window thread's events until `done` holds; false after `limit` of real time.

// The same, moving `clock` on to the next wake time whenever a worker sleeps on it.
bool ServeAndTick(TFakeClock& clock, const std::function<bool()>& done, std::chrono::milliseconds limit = 15s);

// Lets a worker that pauses on `clock` make `pauses` pauses: each time, the exchanges are
// served until the worker sleeps, then the clock is moved to its wake time. False when the
// worker stops pausing within the time limit.
bool RunPauses(TFakeClock& clock, int pauses);

}  // namespace tessaro::test
