// Adding a mixture recipe to the devices' segment programs.

#include "engine/Engine.h"
#include "engine/MixRecipes.h"
#include "registry/Brinvale_DeviceInfo.h"
#include "text/Errors.h"
#include "text/Messages.h"
#include "text/TextScan.h"

namespace tessaro {

bool TEngine::AddMixSegments(std::string_view recipe, bool recipeValid, double time_min, const std::string& note) {
    if (!recipeValid) {
        ShowMessage("Cannot add invalid recipe");
        return false;
    }
    bool added = false;
    for (std::string_view line : SplitProgramLines(recipe)) {
        const std::string_view trimmed = TrimBlanksAndControls(line);
        if (trimmed.empty()) continue;
        const std::vector<std::string_view> items = SplitAtEach(trimmed);
        const int index = DeviceIndexIgnoringCase(items[0]);
        if (index < 0) continue;
        TDeviceInfo device = DevicesLocal()[static_cast<std::size_t>(index)];
        MM("Segment Program Modify for Device: " + device.COMPort);
        const double setpoint = items.size() > 1 ? StrToFloatAnySeparator(TrimBlanksAndControls(items[1])) : 0;
        const std::string type = MixSegmentType(items.size() > 2 ? items[2] : std::string_view());
        const std::string segment = MixSegmentLine(time_min, setpoint, type, note);
        MM("Try adding: " + segment);
        std::string program = device.SegmentProgram;
        try {
            MergeSegmentLine(program, TrimBlanksAndControls(segment));
        } catch (const ConversionError& error) {
            ShowMessage(error.what());
            return false;
        }
        device.SegmentProgram = std::move(program);
        MM("Resulting segment program: \r\n" + device.SegmentProgram.Text());
        if (!StoreDevice(device)) {
            ShowMessage("Saving device configuration failed");
            return false;
        }
        window_.ShowDevice(device);
        added = true;
    }
    return added;
}

}  // namespace tessaro
