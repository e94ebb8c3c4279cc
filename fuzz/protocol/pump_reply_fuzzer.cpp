// Any reply bytes as a pump's answer: code-page conversion, status decoding, position
// digits and the serial number. Nothing may crash; the conversion must be reversible and
// the decoded state must be one the pump has.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "protocol/PSD4Protocol.h"
#include "protocol/ReplyText.h"
#include "text/TextScan.h"

using namespace tessaro;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const std::string text = AnsiBytesToText(bytes);
    if (TextToAnsiBytes(text) != bytes) std::abort();
    if (Utf8Length(text) != bytes.size()) std::abort();

    const std::string reply(TrimBlanksAndControls(text));
    const PumpStatusDecode decoded = DecodePumpStatus(reply);
    if (decoded.WellFormed != decoded.State.has_value()) std::abort();
    if (decoded.WellFormed && !reply.starts_with("/0")) std::abort();
    if (decoded.State) {
        if (*decoded.State < ps_No_error || *decoded.State >= kPumpStateCount) std::abort();
        if (PumpStatusAsString(*decoded.State, decoded.Busy).empty()) std::abort();
    }
    const std::string digits = PumpPositionDigits(reply);
    if (Utf8Length(digits) > 5) std::abort();
    ParsePumpSerial(digits + PumpPositionDigits(text));
    PumpSignatureStatus(reply);
    // Text that is not valid UTF-8 reaches the decoder too when it comes from elsewhere.
    DecodePumpStatus(bytes);
    PumpPositionDigits(bytes);
    TextToAnsiBytes(bytes);
    return 0;
}
