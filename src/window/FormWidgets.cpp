#include "FormWidgets.h"

#include <QComboBox>
#include <QEvent>
#include <QFontDatabase>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <limits>

#include "NumberEdit.h"

namespace tessaro {

namespace {

constexpr int kListVisibleRows = 30;
constexpr int kDisplayDecimals = 6;

// Keeps a caption label shown exactly while its field is, so that code showing or hiding a
// field never has to know about the caption.
class CaptionFollowsField : public QObject {
public:
    CaptionFollowsField(QLabel* caption, QWidget* field) : QObject(caption), caption_(caption) {
        field->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::ShowToParent) caption_->show();
        if (event->type() == QEvent::HideToParent) caption_->hide();
        return QObject::eventFilter(watched, event);
    }

private:
    QLabel* caption_;
};

}  // namespace

QPlainTextEdit* NewTextView(const char* name, QWidget* parent) {
    auto* view = new QPlainTextEdit(parent);
    view->setObjectName(name);
    view->setReadOnly(true);
    view->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    view->setLineWrapMode(QPlainTextEdit::NoWrap);
    // Fixed-width columns line up only in a fixed-pitch font.
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setStyleHint(QFont::Monospace);
    font.setFixedPitch(true);
    view->setFont(font);
    view->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    view->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    return view;
}

QLabel* NewLabel(const char* name, const QString& caption, QWidget* parent) {
    auto* label = new QLabel(caption, parent);
    label->setObjectName(name);
    return label;
}

QLineEdit* NewLineEdit(const char* name, const QString& text, QWidget* parent) {
    auto* edit = new QLineEdit(text, parent);
    edit->setObjectName(name);
    return edit;
}

QPushButton* NewButton(const char* name, const QString& caption, QWidget* parent) {
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(name);
    return button;
}

TNumberEdit* NewNumberEdit(const char* name, double minimum, double maximum, double value, int decimals,
                           QWidget* parent) {
    auto* edit = new TNumberEdit(parent);
    edit->setObjectName(name);
    edit->setDecimals(decimals);
    edit->SetAllowedRange(minimum, maximum);
    edit->setValue(value);
    edit->setKeyboardTracking(false);
    return edit;
}

TNumberEdit* NewNumberDisplay(const char* name, QWidget* parent) {
    TNumberEdit* display = NewNumberEdit(name, std::numeric_limits<double>::lowest(),
                                         std::numeric_limits<double>::max(), 0, kDisplayDecimals, parent);
    display->setReadOnly(true);
    display->setButtonSymbols(QAbstractSpinBox::NoButtons);
    display->setFocusPolicy(Qt::NoFocus);
    return display;
}

QComboBox* NewFixedPitchList(const char* name, QWidget* parent) {
    auto* list = new QComboBox(parent);
    list->setObjectName(name);
    list->setEditable(false);
    list->setMaxVisibleItems(kListVisibleRows);
    list->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    list->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    list->setMinimumContentsLength(28);
    return list;
}

QLabel* AddCaptionedRow(QGridLayout* grid, int row, const char* captionName, const QString& caption, QWidget* field,
                        int columnSpan) {
    QLabel* label = NewLabel(captionName, caption, field->parentWidget());
    label->setBuddy(field);
    if (auto* number = qobject_cast<TNumberEdit*>(field)) number->SetCaption(caption);
    new CaptionFollowsField(label, field);
    grid->addWidget(label, row, 0);
    grid->addWidget(field, row, 1, 1, columnSpan);
    return label;
}

}  // namespace tessaro
