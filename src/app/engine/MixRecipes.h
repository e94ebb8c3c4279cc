#pragma once
// Mixture recipes of the "Mixtures" tab: a short text, one line per device ("COM6 50",
// "COM7 20 R"), that names a device by its COM port, its setpoint in percent of full scale
// and optionally the type of the segment to add. The recipe becomes a mixture of the
// devices' gases with the mass flows the setpoints give, and a report of that mixture; the
// engine adds its lines to the devices' segment programs (TEngine::AddMixSegments).
// Window thread only: the recipe reads the device registry.

#include <string>
#include <string_view>

#include "gases/GasMixtures.h"
#include "units/GasFlowUnitConversions.h"

namespace tessaro {

// The working mass unit of the recipe: g/min (temperature and pressure do not enter a
// conversion to grams).
TGasFlowDetails SetGramsPerMinuteUnit();

// The reference conditions of the report's tables, ºC and bar absolute: 0 and 21 ºC,
// 25 ºC at 1.01325 and at 2.01325 bar, 150 ºC.
const TVecArr& RecipeReferenceConditions();

// Appends one component per accepted recipe line to `mixture`: the device's gas with the
// mass flow its setpoint gives. `errors` receives the last error found (each error
// replaces the one before); once an error has occurred no further component is appended,
// but the remaining lines are still examined. True when no error was found.
bool ParseMixRecipe(std::string_view recipe, TGasItem& mixture, std::string& errors);

// The outcome of evaluating a recipe: whether it is valid, and the text the tab shows (the
// report, or the error text of an invalid recipe). Lines end with CR LF.
struct TMixRecipeEvaluation {
    bool Valid = false;
    std::string Text;
};
// The mixture named `name` made of `recipe`, reported in this order: its name, the inputs,
// the components, the partial pressures, the volumetric flows at the reference conditions
// and, when water is part of it, the humidity at those conditions. Numbers use
// `decimalSeparator`.
TMixRecipeEvaluation EvaluateMixRecipe(std::string_view recipe, const std::string& name, char decimalSeparator);

// The segment a recipe line adds: the time rounded to whole minutes (halves to even), the
// setpoint with '.', the type and the cleaned note, e.g. "2 50 Step my_note".
std::string MixSegmentLine(double time_min, double setpoint_pct, std::string_view type, std::string_view note);
// "Ramp" for a third item that starts with R (a lone "r" included), otherwise "Step".
std::string MixSegmentType(std::string_view thirdItem);

}  // namespace tessaro
