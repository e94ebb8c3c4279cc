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
#include "engine/DeviceSetup.h"
#include "registry/Brinvale_DeviceInfo.h"

namespace tessaro {

void FillPredefinedReferenceConditions(QComboBox* list) {
    for (const std::string& row : ReferenceConditionRows()) list->addItem(QString::fromStdString(row));
    list->setCurrentIndex(kPredefinedGramsRow);
    // The rows are long; the field stays narrow and the open list shows them whole.
    list->setMinimumContentsLength(20);
    list->view()->setMinimumWidth(list->view()->sizeHintForColumn(0));
}

void TGUIF::ComboBoxFlowUnitPredefinedChange() {
    const std::optional<TReferenceCondition> condition =
        ReferenceConditionOfRow(ComboBoxFlowUnitPredefined->currentIndex());
    if (!condition) return;
    if (!condition->Grams) {
        EditFlowUnitTemperatureC->setValue(condition->TemperatureC);
        EditFlowUnitPressureBar->setValue(condition->PressureBar);
    }
    EditFlowUnitName->setText(QString::fromStdString(condition->UnitName));
    ShowFlowUnitFields(!condition->Grams);
    // The notes show the values even when a row repeats the value an edit already held.
    EditFlowUnitTemperatureCValueChanged();
    EditFlowUnitPressureBarValueChanged();
}

void TGUIF::EditFlowUnitTemperatureCValueChanged() {
    LabelUnitTemp->setText(
        QString::fromStdString(FahrenheitNote(EditFlowUnitTemperatureC->value(), LocaleDecimalSeparator())));
}

void TGUIF::EditFlowUnitPressureBarValueChanged() {
    LabelPSI->setText(QString::fromStdString(PsiNote(EditFlowUnitPressureBar->value(), LocaleDecimalSeparator())));
}

void TGUIF::RefreshFlowDisplays() { UpdateGasFlowUnits(); }

void TGUIF::FullScaleChanged(const TDeviceInfo& device) {
    if (FocusedPort() == device.COMPort) UpdateGasFlowUnits();
}

namespace {

// A full scale not known yet reads "unknown" in the field, never a number.
void ShowFlowOrUnknown(TNumberEdit* display, std::optional<double> flow) {
    display->setSpecialValueText(kUnknownFlowText);
    display->setValue(flow.value_or(display->minimum()));
}

}  // namespace

void TGUIF::UpdateGasFlowUnits() {
    const std::optional<std::string> port = FocusedPort();
    if (!port) return;
    const std::optional<TFlowDisplays> shown =
        engine_->FlowDisplays(*port, RtDoubleEditSegmentFlow->value(), RtDoubleEditDirectControlDesiredFlow->value());
    if (!shown) return;
    const QString unitName = QString::fromStdString(shown->UnitName);
    ShowFlowOrUnknown(RtDoubleEditDevMaxFlow, shown->MaxFlow);
    ShowFlowOrUnknown(RtDoubleEditDirectControlMaxFlow, shown->MaxFlow);
    LabelSpecifiedFlowUnit->setText(unitName);
    LabelDirectControlMaxFlowUnit->setText(unitName);
    for (const auto& [text, label] : {std::pair{&shown->SegmentResult, LabelResultingFlowinSpecifiedUnit},
                                      {&shown->DirectResult, LabelDirectControlResultingFlow}})
        if (!text->empty()) label->setText(QString::fromStdString(*text));
}

}  // namespace tessaro
