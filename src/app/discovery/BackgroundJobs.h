#pragma once
// Long instrument work (probing ports, priming a pump) runs off the window thread so the
// window keeps painting and worker messages still reach it, while its input is refused.

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "engine/EngineTimer.h"

namespace tessaro {

class TOperationWindow;

// Starts every job at once, each on a thread of its own, and serves the calling thread's
// events until all have ended. `ended(i)` runs on the calling thread as job i ends, in the
// order the jobs end. An exception a job throws is thrown here once all have ended.
void RunJobsServingEvents(const std::vector<std::function<void()>>& jobs,
                          const std::function<void(std::size_t)>& ended);

// Whether a search or a maintenance tool runs now.
bool OperationRunning();
inline constexpr const char* kOperationBusyMessage =
    "Another device search or maintenance task is still running. Wait until it has finished, then try again.";

// The frame of a search or a tool: while it lives, no other one starts, the window refuses
// input and shows the progress panel, and the engine timer is stopped; the timer runs again
// afterwards when it ran before. Take it only when OperationRunning() is false.
class TOperationFrame {
public:
    TOperationFrame(TOperationWindow& window, TEngineTimer* timer, const std::string& caption);
    ~TOperationFrame();
    TOperationFrame(const TOperationFrame&) = delete;
    TOperationFrame& operator=(const TOperationFrame&) = delete;

private:
    TOperationWindow& window_;
    TEngineTimer* timer_;
    bool timerWasActive_;
};

}  // namespace tessaro
