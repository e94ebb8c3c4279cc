// The fixed-width mixture reports of the mixture tab and the flow designer.

#include "gases/GasMixtures.h"

#include <algorithm>

#include "segments/SegmentProgram.h"
#include "text/Messages.h"
#include "text/NumberFormat.h"

namespace tessaro {

namespace {

constexpr const char* kLineEnd = "\r\n";

std::string right(std::string_view text, int width) { return RightAligned(text, width, false); }

// Right-aligned without ever cutting: a longer text pushes the rest of its line along.
std::string rightWhole(std::string_view text, int width) {
    const auto length = static_cast<int>(text.size());
    return right(text, std::max(width, length));
}

// Reports show nothing meaningful for a mixture without molar mass; no moles then.
double molesPerMinute(const TGasItem& mixture) {
    const double molarMass = mixture.GetMolarMass();
    return molarMass != 0 ? mixture.MassFlow_gmin / molarMass : 0;
}

// A reference state in which gas takes a positive volume: above absolute zero and under a
// positive pressure. Tables write no numbers for any other.
bool HasGasState(const TDoubleVec& condition) { return condition.PresBarA > 0 && condition.TempC > -kKelvinOffset; }

std::string massFlowLine(const TGasItem& item, char separator) {
    return "    " + LeftAligned(item.NameShort, 10) + "    " +
           FormatPattern(item.MassFlow_gmin, "##0.000 000", separator) + " g/min" + kLineEnd;
}

std::string volumeLine(double moles, double temperatureC, std::string_view caption, char separator) {
    return right(FormatPattern(VolumeMlFromMoles(moles, temperatureC, 1.013), "0.0", separator), 10) +
           std::string(caption) + kLineEnd;
}

}  // namespace

std::string MixtureDetails(const TGasItem& mixture, char decimalSeparator) {
    if (!mixture.ComponentsNormalized) {
        DiagLog(kGasChannel, "MixtureDetails function cannot be called with design-time mixture.");
        return {};
    }
    const auto number = [decimalSeparator](double value) {
        return right(FormatPattern(value, "0.000 000", decimalSeparator), 10);
    };
    // Heavy gases have three digits before the point: the molar mass column takes one blank
    // of the gap after the name, so the other columns stay where they are.
    const auto molarMass = [decimalSeparator](double value) {
        return rightWhole(FormatPattern(value, "0.000 000", decimalSeparator), 11);
    };
    std::string text =
        "             Molar mass        Mass     Partial\r\n"
        "Components   g/mol         fraction    pressure\r\n";
    for (const TGasItem& component : mixture.Components) {
        text += right(component.NameShort, 10) + "  ";
        text += molarMass(component.GetMolarMass()) + "  ";
        text += number(component.MassFraction) + "  ";
        text += number(component.PartialPressure) + "  ";
        text += kLineEnd;
    }
    text += kLineEnd;
    text += "      Flow   Unit      Temperature     Pressure\r\n";
    const double moles = molesPerMinute(mixture);
    text += volumeLine(moles, 0, "   mln/min           0ºC    1.013 bar", decimalSeparator);
    text += volumeLine(moles, 25, "   ml/min           25ºC    1.013 bar", decimalSeparator);
    text += volumeLine(moles, 150, "   ml/min          150ºC    1.013 bar", decimalSeparator);
    text += number(mixture.MassFlow_gmin) + "   g/min" + kLineEnd;
    text += number(moles) + "   mol/min" + kLineEnd;
    return text;
}

std::string InputsReport(const TGasItem& mixture, char decimalSeparator) {
    std::string text = "  Inputs:\r\n";
    for (const TGasItem& component : mixture.Components) text += massFlowLine(component, decimalSeparator);
    return text;
}

std::string ComponentFlowsReport(const TGasItem& item, std::string accumulated, char decimalSeparator) {
    // Appended in place and handed on: the text grows once per gas and is never copied.
    if (item.Components.empty()) {
        accumulated += massFlowLine(item, decimalSeparator);
        return accumulated;
    }
    for (const TGasItem& component : item.Components)
        accumulated = ComponentFlowsReport(component, std::move(accumulated), decimalSeparator);
    return accumulated;
}

std::string PartialPressuresReport(const TGasItem& mixture, char decimalSeparator) {
    std::string text;
    for (const TGasItem& component : mixture.Components) {
        text += "    " + LeftAligned(component.NameShort, 12);
        const double ppm = component.PartialPressure * 1000000;
        if (ppm > 1)
            text += "    " + right(FormatPattern(ppm, "# ### ###", decimalSeparator) + " ppm", 13);
        else
            text += "     " + right(FormatPattern(ppm, "0.0## ###", decimalSeparator) + " ppm", 12);
        text += kLineEnd;
    }
    return text;
}

std::string VolumetricFlowsTable(const TGasItem& mixture, const TVecArr& conditions, char decimalSeparator) {
    std::string text = "   ºC     BarA  ";
    for (const TGasItem& component : mixture.Components) text += right(component.NameShort, 9) + " ";
    text += "      Tot";
    text += kLineEnd;
    for (const TDoubleVec& condition : conditions) {
        text += right(FormatGeneral(condition.TempC, decimalSeparator), 5) + "  ";
        text += right(FormatGeneral(condition.PresBarA, decimalSeparator), 7) + "  ";
        if (!HasGasState(condition)) {
            for (std::size_t column = 0; column <= mixture.Components.size(); ++column)
                text += right("Err", 9) + (column < mixture.Components.size() ? " " : kLineEnd);
            continue;
        }
        double total = 0;
        for (const TGasItem& component : mixture.Components) {
            const double molarMass = component.GetMolarMass();
            if (molarMass > 0) {
                const double volume =
                    VolumeMlFromMoles(component.MassFlow_gmin / molarMass, condition.TempC, condition.PresBarA);
                text += right(FormatPattern(volume, "0.0", decimalSeparator), 9) + " ";
                total += volume;
            } else {
                text += right("Err", 9) + " ";
            }
        }
        text += right(FormatPattern(total, "0.0", decimalSeparator), 9);
        text += kLineEnd;
    }
    return text;
}

std::string HumidityTable(const TGasItem& mixture, const TVecArr& conditions, char decimalSeparator) {
    std::string text = "    ºC      BarA  Max ppm/100%RH  Current ppm     RH %\r\n";
    const double fluid = mixture.FluidPartialPressure;
    for (const TDoubleVec& condition : conditions) {
        if (!HasGasState(condition)) continue;
        // mole fraction of water at 100 % relative humidity
        const double saturated = WaterSaturationPressure(condition.TempC) / 1000 / condition.PresBarA;
        text += "  " + right(FormatGeneral(condition.TempC, decimalSeparator), 4);
        text += "  " + right(FormatGeneral(condition.PresBarA, decimalSeparator), 8);
        text += "  " + right(FormatPattern(saturated * 1000000, "# ### ###", decimalSeparator), 14);
        text += "  " + right(FormatPattern(fluid * 1000000, "# ### ###", decimalSeparator), 11);
        text += "  " + right(FormatPattern(fluid / saturated * 100, "0.000", decimalSeparator), 7);
        text += "  ";
        text += kLineEnd;
    }
    return text;
}

}  // namespace tessaro
