// Any bytes as a program text, a table or a merged line: nothing may crash, hang or
// produce a setpoint outside 0..100 for a program that validated.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "segments/SegmentProgram.h"
#include "text/Errors.h"
#include "text/Messages.h"

using namespace tessaro;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool silenced = [] {
        SetMessageSink([](const std::string&) {});
        return true;
    }();
    (void)silenced;
    const std::string text(reinterpret_cast<const char*>(data), size);

    const bool valid = ValidateSegmentProgram(text);
    const int count = SegmentCount(text);
    for (int i = -1; i <= count && i < 8; ++i) ReadSegment(i, text);
    for (double t : {-1.0, 0.0, 0.5, 7.0, 1e6, std::nan("")}) {
        const double setpoint = SegmentAtTime(text, t).Setpoint;
        if (valid && !(setpoint >= 0 && setpoint <= 100)) std::abort();
    }
    ProgramDuration(text);

    TSegmentTable table;
    ProgramTextToTable(text, table);
    const std::string back = TableToProgramText(table);
    ProgramTextToTable(back, table);

    std::string merged = "10 50 Step\r\n20 30 Ramp";
    const size_t split = size / 2;
    try {
        MergeSegmentLine(merged, text.substr(0, split));
        std::string other = text.substr(split);
        MergeSegmentLine(other, "5 1 Step");
    } catch (const ConversionError&) {
    }
    DurationToText(DurationStyle::Compact, static_cast<double>(size) * 0.37);
    SanitizeNote(text);
    return 0;
}
