// Any reply bytes as the answer to the full-scale query: nothing may crash, and a full
// scale is only ever taken from a four-field reply and is finite.
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
    const AlicatFullScale fullScale = ParseAlicatFullScale(reply);
    if (fullScale.MaxFlow_gpm && (!fullScale.FourFields || !std::isfinite(*fullScale.MaxFlow_gpm))) std::abort();
    if (!fullScale.FourFields && (!fullScale.Value.empty() || !fullScale.Unit.empty())) std::abort();
    // The raw bytes straight into the parser too: the number reader sees every byte.
    ParseAlicatFullScale(bytes);
    ParseDotNumber(bytes);
    return 0;
}
