#include "run/RunEnd.h"

#include "engine/Engine.h"
#include "run/ExitCodes.h"

namespace tessaro {

TRunEnd EndRunWithStopAll(TEngine& engine, const std::string& why, const std::function<void()>& beforeClose) {
    engine.MM(why);
    TRunEnd end;
    end.Unconfirmed = engine.StopAllFlowsAndWait();
    end.ExitCode = end.Unconfirmed.empty() ? kExitOk : kExitTempFail;
    engine.MM(end.Unconfirmed.empty() ? "Every device confirmed its stop"
                                      : "Ending although " + std::to_string(end.Unconfirmed.size()) +
                                            " device(s) did not confirm their stop");
    if (beforeClose) beforeClose();
    engine.FormCloseAfterStopAll();
    return end;
}

}  // namespace tessaro
