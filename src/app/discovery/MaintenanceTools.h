#pragma once
// The "Tools" page: prime a pump, bring a pump into position for a syringe change, run a
// flow controller's initialisation. Each works directly on the instrument of the focused
// device, off the window thread while the window refuses input and the engine timer stands,
// and refuses a configured device: its worker holds the same port. Window thread only.

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tessaro {

class TEngineTimer;
class TOperationWindow;

inline constexpr int kMinPrimingLoops = 1;
inline constexpr int kMaxPrimingLoops = 10;

// The pump's priming program: speed 3000, a loop of valve to input, fill to 24000, valve to
// output, empty to 0, repeated `loops` times (kept within 1..10), run.
std::string PrimingCommand(int loops);
// Speed 4000, valve to input, plunger to 24000, run.
inline constexpr const char* kChangeSyringeCommand = "V4000IA24000R";
inline constexpr const char* kPumpToolInitialisation = "ZN1R";

// What the operator is told after a flow controller initialisation: "Initialization done."
// when every command succeeded, otherwise which of them failed (positions in
// AlicatInitSequence()).
std::string InitializationOutcome(const std::vector<std::size_t>& failedSteps);

class TMaintenanceTools {
public:
    // `timer` may be null (nothing to stop).
    TMaintenanceTools(TOperationWindow& operations, TEngineTimer* timer);

    // The three buttons, on the device of the focused row; without one they do nothing.
    void ButtonPrimePumpClick(const std::optional<std::string>& focusedPort, int loops);
    void ButtonChangeSyringeClick(const std::optional<std::string>& focusedPort);
    void ButtonDeviceInitializeClick(const std::optional<std::string>& focusedPort);

private:
    bool MayUsePump(const std::optional<std::string>& focusedPort, std::string& port) const;
    // Runs `work` in the operation frame; false when another search or tool runs.
    bool RunFramed(const std::string& caption, const std::function<void()>& work);

    TOperationWindow& operations_;
    TEngineTimer* timer_;
};

}  // namespace tessaro
