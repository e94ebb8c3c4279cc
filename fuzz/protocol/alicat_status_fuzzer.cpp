// Any reply bytes as a flow controller's status line, the way the driver sees them:
// converted, trimmed, parsed. Nothing may crash; a parsed line gives finite numbers, and a
// line that is not parsed leaves the record exactly as it was.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "protocol/AlicatMFCProtocol.h"
#include "protocol/ReplyText.h"
#include "text/TextScan.h"

using namespace tessaro;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const std::string reply(TrimBlanksAndControls(AnsiBytesToText(bytes)));

    TAlicatData record;
    record.Pressure = -7;
    record.GasSN = "sentinel";
    const AlicatStatusResult result = ParseAlicatStatus(reply, 'A', 1.5, record);
    if (result.Outcome == AlicatStatusParse::Applied) {
        for (double value : {record.Pressure, record.Temp, record.FlowRate_vol, record.FlowRate_mass,
                             record.SetpointFromDevice, record.Totalizer})
            if (!std::isfinite(value)) std::abort();
        if (record.DataTime != 1.5) std::abort();
    } else if (record.Pressure != -7 || record.GasSN != "sentinel" || record.DataTime != 0) {
        std::abort();
    }
    std::string explanations;
    if (record.Errors(explanations) == explanations.empty()) std::abort();
    return 0;
}
