// The flow unit group of the Configure tab and the flow displays of the segment and
// direct-control tabs: the selected device's full scale and the flow its entered percentage
// gives, in the operator's unit.

#include <QAbstractItemView>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>

#include "Form.h"
#include "FormWidgets.h"
#include "NumberEdit.h"
#include "pump/PSD4_Speeds.h"
#include "registry/Brinvale_DeviceInfo.h"
#include "text/NumberFormat.h"
#include "units/GasFlowUnitConversions.h"

namespace tessaro {

namespace {

const char* const kPredefinedReferenceConditions[] = {
    "ºC    ºF     Bar      Standard",
    "n/a    n/a   n/a      g, grams",
    "0      32    1.01325  NIST, ISO 10780, (IUPAC until 1982)",
    "20     68    1.01325  EPA, NIST",
    "25     77    1.01325  SATP, EPA",
    "0      32    1        IUPAC since 1982",
    "0      32    1.01325  DIN 1343:1990",
    "15     59    0.9999   U.S. Army Standard Metro (RH: 78%)",
    "15     59    1.00000  SPE",
    "15     59    1.0133   ISO 2314, ISO 3977-2, ASHRAE Fundamentals Handbook (RH: 60%)",
    "15     59    1.013    FAA",
    "15     59    1.01325  ICAO's ISA, ISO 13443, EEA, EGIA (SI Definition)",
    "15     59    1.01325  ISO 2533:1975, ISO 13443:2005, ISO 7504:2015",
    "15.56  60    1.0133   SPE, U.S. OSHA, SCAQMD",
    "15.56  60    1.016    EGIA (Imperial System Definition)",
    "15.56  60    1.0135   U.S. DOT (SCF)",
    "20     68    1.00000  CAGI",
    "20     68    1.013    ISO 5011 (RH: 50%)",
    "20     68    1.0133   GOST 2939-63",
    "20     68    1.01325  EN 14511-1:2013",
    "21.11  70    1.013    AMCA, air density = 0.075 lbm/ft3. This AMCA standard applies only to air;",
    "22     71.6  1.01325  American Association of Physicists in Medicine (RH: 20-80%)",
};

constexpr int kBlankRunPasses = 11;
constexpr double kPsiPerBar = 14.5038;
constexpr double kMicrogramsPerMicrolitre = 1000;  // the planning record counts water in µg
const char* const kMassUnitName = "g/min";
const char* const kVolumeUnitName = "ml/min";
const char* const kFlowPattern = "### ##0.### ### ###";
const char* const kPumpFlowPattern = "####0.### ###";
const char* const kPumpErrorPattern = "###0.###";

// "Desired/Achievable || 12.5 / 12.498 || µl/min || Relative error:0.016 %"
QString PumpFlowText(const TPumpSpeedDetails& plan, const std::string& unitName, char separator) {
    const double achieved = plan.AchievedDispense_µgpm / kMicrogramsPerMicrolitre / plan.FluidDensity;
    QString text = QString::fromStdString(
        "Desired/Achievable || " +
        FormatPattern(plan.DesiredDispense_µgpm / kMicrogramsPerMicrolitre, kPumpFlowPattern, separator) + " / " +
        FormatPattern(achieved, kPumpFlowPattern, separator) + " || " + unitName +
        " || Relative error:" + FormatPattern(plan.Error_pct, kPumpErrorPattern, separator) + " %");
    return text.replace("  ", " ");
}

}  // namespace

void FillPredefinedReferenceConditions(QComboBox* list) {
    for (const char* row : kPredefinedReferenceConditions) list->addItem(row);
    list->setCurrentIndex(kPredefinedGramsRow);
    // The rows are long; the field stays narrow and the open list shows them whole.
    list->setMinimumContentsLength(20);
    list->view()->setMinimumWidth(list->view()->sizeHintForColumn(0));
}

void TGUIF::ComboBoxFlowUnitPredefinedChange() {
    const int row = ComboBoxFlowUnitPredefined->currentIndex();
    if (row < kPredefinedGramsRow) return;
    QString text = ComboBoxFlowUnitPredefined->itemText(row);
    for (int pass = 0; pass < kBlankRunPasses; ++pass) text.replace("  ", " ");
    if (row != kPredefinedGramsRow) {
        const QStringList words = text.split(' ');
        EditFlowUnitTemperatureC->setValue(StrToFloatDot(words.value(0).toStdString()));
        EditFlowUnitPressureBar->setValue(StrToFloatDot(words.value(2).toStdString()));
    }
    EditFlowUnitName->setText(row == kPredefinedGramsRow ? kMassUnitName : kVolumeUnitName);
    ShowFlowUnitFields(EditFlowUnitName->text() != kMassUnitName);
    // The notes show the values even when a row repeats the value an edit already held.
    EditFlowUnitTemperatureCValueChanged();
    EditFlowUnitPressureBarValueChanged();
}

void TGUIF::EditFlowUnitTemperatureCValueChanged() {
    const double fahrenheit = TemperatureConversion(tcCtoF, EditFlowUnitTemperatureC->value());
    LabelUnitTemp->setText(QString::fromStdString(FormatGeneral(fahrenheit, LocaleDecimalSeparator())) + "ºF");
}

void TGUIF::EditFlowUnitPressureBarValueChanged() {
    const double psi = EditFlowUnitPressureBar->value() * kPsiPerBar;
    LabelPSI->setText(QString::fromStdString(FormatPattern(psi, "0.000", LocaleDecimalSeparator())) + " psi");
}

void TGUIF::RefreshFlowDisplays() { UpdateGasFlowUnits(); }

void TGUIF::UpdateGasFlowUnits() {
    TDeviceInfo device;
    if (!GetSelectedDevice(device)) return;
    if (device.DevType == dtPump)
        ShowPumpFlows(device);
    else
        ShowFlowControllerFlows(device);
}

void TGUIF::ShowPumpFlows(const TDeviceInfo& device) {
    const QString unitName = QString::fromStdString(device.FlowUnitUser.Name);
    RtDoubleEditDevMaxFlow->setValue(device.MaxFlow_µlpm);
    RtDoubleEditDirectControlMaxFlow->setValue(device.MaxFlow_µlpm);
    LabelSpecifiedFlowUnit->setText(unitName);
    LabelDirectControlMaxFlowUnit->setText(unitName);

    const char separator = LocaleDecimalSeparator();
    const std::pair<TNumberEdit*, QLabel*> displays[] = {
        {RtDoubleEditSegmentFlow, LabelResultingFlowinSpecifiedUnit},
        {RtDoubleEditDirectControlDesiredFlow, LabelDirectControlResultingFlow}};
    for (const auto& [percentField, resultLabel] : displays) {
        TPumpSpeedDetails plan;
        plan.Init();
        plan.SyringeVolume_µl = device.SyringeSizeµL;
        plan.DesiredDispense_µgpm = percentField->value() / 100 * device.MaxFlow_µlpm * kMicrogramsPerMicrolitre;
        PlanPumpSpeed(plan, separator);
        resultLabel->setText(PumpFlowText(plan, device.FlowUnitUser.Name, separator));
        MM(plan.Command);
    }
}

void TGUIF::ShowFlowControllerFlows(const TDeviceInfo& device) {
    const char separator = LocaleDecimalSeparator();
    TGasFlowDetails source = FlowUnitMlnAir();
    const double fullScale = device.FlowUnitDevice.GasFlowMax();
    source.GasFlowValue = fullScale;
    source.GasMolarMass = device.FlowUnitUser.GasMolarMass;
    TGasFlowDetails target = device.FlowUnitUser;
    std::string errors, feedback;
    if (!GasFlowConversion(source, target, errors, feedback, separator)) return;

    const QString unitName = QString::fromStdString(target.Name);
    RtDoubleEditDevMaxFlow->setValue(target.GasFlowValue);
    RtDoubleEditDirectControlMaxFlow->setValue(target.GasFlowValue);
    LabelSpecifiedFlowUnit->setText(unitName);
    LabelDirectControlMaxFlowUnit->setText(unitName);

    const std::pair<TNumberEdit*, QLabel*> displays[] = {
        {RtDoubleEditSegmentFlow, LabelResultingFlowinSpecifiedUnit},
        {RtDoubleEditDirectControlDesiredFlow, LabelDirectControlResultingFlow}};
    for (const auto& [percentField, resultLabel] : displays) {
        source.GasFlowValue = fullScale * percentField->value() / 100;
        if (!GasFlowConversion(source, target, errors, feedback, separator)) continue;
        resultLabel->setText(QString::fromStdString(FormatPattern(target.GasFlowValue, kFlowPattern, separator)) + " " +
                             unitName);
    }
}

}  // namespace tessaro
