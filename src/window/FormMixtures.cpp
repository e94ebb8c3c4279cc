// The "Mixtures" page: a recipe naming devices by COM port and setpoint becomes a mixture
// report as it is typed, and "Add" puts its segments into the devices' programs. The engine
// and the recipe rules decide; the page reads its fields and shows the outcome.

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "Form.h"
#include "FormWidgets.h"
#include "NumberEdit.h"
#include "engine/MixRecipes.h"

namespace tessaro {

namespace {

constexpr double kLongestAddTime_min = 1e6;

QString ShownText(const std::string& text) {
    QString shown = QString::fromStdString(text);
    shown.replace("\r\n", "\n");
    return shown;
}

}  // namespace

QWidget* TGUIF::BuildMixturesTab() {
    auto* page = new QWidget(PageControlMain);
    auto* columns = new QHBoxLayout(page);

    auto* recipeGroup = new QGroupBox("Recipe", page);
    recipeGroup->setObjectName("GroupBoxMixRecipe");
    auto* recipeLayout = new QVBoxLayout(recipeGroup);
    MemoMixRecipe = new QPlainTextEdit("COM6 50", recipeGroup);
    MemoMixRecipe->setObjectName("MemoMixRecipe");
    MemoMixRecipe->setLineWrapMode(QPlainTextEdit::NoWrap);
    recipeLayout->addWidget(MemoMixRecipe, 1);
    EditMixtureName = NewLineEdit("EditMixtureName", "Name", recipeGroup);
    recipeLayout->addWidget(EditMixtureName);

    auto* addGroup = new QGroupBox("Add segments", recipeGroup);
    addGroup->setObjectName("GroupBoxMixSegmentsAdd");
    auto* addGrid = new QGridLayout(addGroup);
    RtDoubleEditMixSegmentsAddTime =
        NewNumberEdit("RtDoubleEditMixSegmentsAddTime", 0, kLongestAddTime_min, 0, 2, addGroup);
    AddCaptionedRow(addGrid, 0, "LabelMixSegmentsAddTime", "Time, m", RtDoubleEditMixSegmentsAddTime);
    EditNoteMixture = NewLineEdit("EditNoteMixture", "", addGroup);
    AddCaptionedRow(addGrid, 1, "LabelNoteMixture", "Note", EditNoteMixture);
    ButtonMixSegmentsAdd = NewButton("ButtonMixSegmentsAdd", "Add", addGroup);
    addGrid->addWidget(ButtonMixSegmentsAdd, 2, 1);
    recipeLayout->addWidget(addGroup);
    columns->addWidget(recipeGroup, 1);

    auto* resultGroup = new QGroupBox("Mixture", page);
    resultGroup->setObjectName("GroupBoxMixResult");
    auto* resultLayout = new QVBoxLayout(resultGroup);
    MemoMixResult = NewTextView("MemoMixResult", resultGroup);
    MemoMixResult->setPlaceholderText(
        "One line per device: its COM port, its setpoint in % of full scale and, optionally, S (Step) or R (Ramp), "
        "e.g. \"COM6 50 S\". The mixture they make is shown here.");
    resultLayout->addWidget(MemoMixResult);
    columns->addWidget(resultGroup, 2);
    return page;
}

void TGUIF::ConnectMixtures() {
    connect(MemoMixRecipe, &QPlainTextEdit::textChanged, this, [this] { Guarded([this] { MemoMixRecipeChange(); }); });
    connect(EditMixtureName, &QLineEdit::textChanged, this, [this] { Guarded([this] { MemoMixRecipeChange(); }); });
    connect(ButtonMixSegmentsAdd, &QPushButton::clicked, this,
            [this] { Guarded([this] { ButtonMixSegmentsAddClick(); }); });
}

void TGUIF::MemoMixRecipeChange() {
    MemoMixResult->clear();
    const TMixRecipeEvaluation evaluation =
        EvaluateMixRecipe(MemoMixRecipe->toPlainText().toStdString(), EditMixtureName->text().toStdString(),
                          engine_->Settings().DecimalSeparator);
    MixRecipeValid = evaluation.Valid;
    MemoMixResult->setPlainText(ShownText(evaluation.Text));
}

void TGUIF::ButtonMixSegmentsAddClick() {
    // The time is typed in the window's time unit; programs count minutes.
    const double time_min = RtDoubleEditMixSegmentsAddTime->value() * engine_->TimeFactor();
    engine_->AddMixSegments(MemoMixRecipe->toPlainText().toStdString(), MixRecipeValid, time_min,
                            EditNoteMixture->text().toStdString());
    ShowFocusedDevice();
}

}  // namespace tessaro
