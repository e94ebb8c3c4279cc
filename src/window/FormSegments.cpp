// The "Design segments" page's segment editing: the fields, the type button, the segment
// table with its context menu for program files, and the merged listing view. What a click
// does to a program is decided by the engine; the handlers read the page and show the result.

#include <QAction>
#include <QEvent>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTextCursor>
#include <QTreeWidget>

#include "Form.h"
#include "NumberEdit.h"
#include "registry/Brinvale_DeviceInfo.h"

namespace tessaro {

namespace {

constexpr int kSegmentCells = 4;
constexpr int kIconSize = 32;

// The two type icons, drawn: a rising diagonal arrow for a Ramp, a line that runs right and
// turns straight up for a Step.
QIcon TypeIcon(const char* iconName) {
    QPixmap pixmap(kIconSize, kIconSize);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(Qt::black, 3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    QPainterPath path;
    if (QString(iconName) == kRampIcon) {
        path.moveTo(5, 27);
        path.lineTo(26, 6);
        path.moveTo(14, 6);
        path.lineTo(26, 6);
        path.lineTo(26, 18);
    } else {
        path.moveTo(4, 26);
        path.lineTo(22, 26);
        path.lineTo(22, 5);
        path.moveTo(15, 12);
        path.lineTo(22, 5);
        path.lineTo(29, 12);
    }
    painter.drawPath(path);
    return QIcon(pixmap);
}

// "Text files (*.txt)|*.TXT": the description, then the pattern; Qt wants the patterns in
// the description's parentheses.
QString QtFileFilter(const std::string& filter) {
    const QString text = QString::fromStdString(filter);
    const qsizetype bar = text.indexOf('|');
    if (bar < 0) return text;
    QString description = text.left(bar);
    const QString pattern = text.mid(bar + 1);
    const qsizetype close = description.lastIndexOf(')');
    if (close < 0) return description + " (" + pattern + ")";
    if (!description.left(close).contains(pattern)) description.insert(close, " " + pattern);
    return description;
}

QString PathText(const std::filesystem::path& path) { return QString::fromStdU16String(path.u16string()); }

std::optional<std::filesystem::path> ChosenPath(const QString& chosen) {
    if (chosen.isEmpty()) return std::nullopt;
    return std::filesystem::path(chosen.toStdU16String());
}

}  // namespace

void TGUIF::ConnectSegmentControls() {
    connect(findChild<QPushButton*>("BitBtn4"), &QPushButton::clicked, this,
            [this] { Guarded([this] { ButtonSegmentApplyClick(); }); });
    connect(findChild<QPushButton*>("BitBtn5"), &QPushButton::clicked, this,
            [this] { Guarded([this] { ButtonSegmentDeleteClick(); }); });
    connect(ButtonSegmentType, &QPushButton::clicked, this, [this] { Guarded([this] { ButtonSegmentTypeClick(); }); });
    connect(ListViewSegmentProgram, &QTreeWidget::itemSelectionChanged, this,
            [this] { Guarded([this] { ListViewSegmentProgramChange(); }); });
    // The conversion follows the text as it is typed, too: a refused time has none, rather
    // than that of the last time taken.
    connect(RtDoubleEditSegmentTime, &QDoubleSpinBox::valueChanged, this,
            [this] { Guarded([this] { RtDoubleEditSegmentTimeValueChanged(); }); });
    connect(RtDoubleEditSegmentTime->findChild<QLineEdit*>(), &QLineEdit::textChanged, this,
            [this] { Guarded([this] { RtDoubleEditSegmentTimeValueChanged(); }); });
    connect(RtDoubleEditSegmentFlow, &QDoubleSpinBox::valueChanged, this,
            [this] { Guarded([this] { RtDoubleEditSegmentFlowValueChanged(); }); });
    connect(PopupMenuSegment->findChild<QAction*>("LoadSegmentProgram2"), &QAction::triggered, this,
            [this] { Guarded([this] { LoadSegmentProgram2Click(); }); });
    connect(PopupMenuSegment->findChild<QAction*>("SaveSegmentProgramAs1"), &QAction::triggered, this,
            [this] { Guarded([this] { SaveSegmentProgramAs1Click(); }); });
    ListViewSegmentProgram->viewport()->installEventFilter(this);

    saveSegmentFile_ = [this](const TFileDialogRequest& request) {
        return ChooseSaveFile(request, "Save Segment Program As");
    };
    openSegmentFile_ = [this](const TFileDialogRequest& request) { return ChooseOpenFile(request); };
}

// --- The segment table ----------------------------------------------------------------------

void TGUIF::ShowSegmentTable(const TSegmentTable& table) {
    // Filling the table selects nothing; the fields keep what was typed.
    const QSignalBlocker quiet(ListViewSegmentProgram);
    ListViewSegmentProgram->clear();
    QList<QTreeWidgetItem*> rows;
    rows.reserve(static_cast<qsizetype>(table.size()));
    for (const TSegmentTableRow& cells : table) {
        auto* row = new QTreeWidgetItem;
        for (int column = 0; column < static_cast<int>(cells.size()) && column < kSegmentCells; ++column)
            row->setText(column, QString::fromStdString(cells[static_cast<size_t>(column)]));
        // A row without a note cell stays without one when it is read back.
        row->setData(0, Qt::UserRole, static_cast<int>(cells.size()));
        rows.append(row);
    }
    ListViewSegmentProgram->addTopLevelItems(rows);
}

TSegmentTable TGUIF::SegmentTableShown() const {
    TSegmentTable table;
    table.reserve(static_cast<size_t>(ListViewSegmentProgram->topLevelItemCount()));
    for (int i = 0; i < ListViewSegmentProgram->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* row = ListViewSegmentProgram->topLevelItem(i);
        const int cells = std::clamp(row->data(0, Qt::UserRole).toInt(), 3, kSegmentCells);
        TSegmentTableRow cellTexts;
        for (int column = 0; column < cells; ++column) cellTexts.push_back(row->text(column).toStdString());
        table.push_back(std::move(cellTexts));
    }
    return table;
}

int TGUIF::SelectedSegmentRow() const {
    const QList<QTreeWidgetItem*> selected = ListViewSegmentProgram->selectedItems();
    return selected.isEmpty() ? -1 : ListViewSegmentProgram->indexOfTopLevelItem(selected.first());
}

// --- The fields ------------------------------------------------------------------------------

void TGUIF::ShowSegmentType(const std::string& caption) {
    const char* icon = SegmentTypeIcon(caption);
    ButtonSegmentType->setText(QString::fromStdString(caption));
    ButtonSegmentType->setIcon(TypeIcon(icon));
    ButtonSegmentType->setProperty("iconName", QString(icon));
}

TSegmentEntry TGUIF::SegmentEntryTyped() const {
    TSegmentEntry entry;
    entry.StartTime = RtDoubleEditSegmentTime->value();
    entry.Flow_pct = RtDoubleEditSegmentFlow->value();
    entry.aType = ButtonSegmentType->text().toStdString();
    entry.Note = EditNote->text().toStdString();
    return entry;
}

int TGUIF::TerminationItemSelected() const {
    const QList<QRadioButton*> items = RadioGroupSegmentTerminationType->findChildren<QRadioButton*>();
    for (int i = 0; i < items.size(); ++i)
        if (items[i]->isChecked()) return i;
    return -1;
}

// --- Handlers ----------------------------------------------------------------------------------

void TGUIF::ButtonSegmentApplyClick() {
    if (!FieldsAccepted({RtDoubleEditSegmentTime, RtDoubleEditSegmentFlow})) return;
    const TSegmentTableEdit edit =
        engine_->ApplySegment(FocusedPort(), SegmentTableShown(), SegmentEntryTyped(), TerminationItemSelected());
    if (!edit.Stored) ShowSegmentTable(edit.Table);
}

void TGUIF::ButtonSegmentDeleteClick() {
    const int row = SelectedSegmentRow();
    if (row < 0) return;
    const TSegmentTableEdit edit = engine_->DeleteSegment(FocusedPort(), SegmentTableShown(), row);
    if (!edit.Stored) ShowSegmentTable(edit.Table);
}

void TGUIF::ButtonSegmentTypeClick() { ShowSegmentType(ToggledSegmentType(ButtonSegmentType->text().toStdString())); }

void TGUIF::ListViewSegmentProgramChange() {
    const int row = SelectedSegmentRow();
    if (row < 0) return;
    const TSegmentEntry entry = SegmentEntryOfRow(SegmentTableShown()[static_cast<size_t>(row)], engine_->TimeFactor());
    RtDoubleEditSegmentTime->setValue(entry.StartTime);
    RtDoubleEditSegmentFlow->setValue(entry.Flow_pct);
    ShowSegmentType(entry.aType);
    EditNote->setText(QString::fromStdString(entry.Note));
}

void TGUIF::ListViewSegmentProgramMouseUp(Qt::MouseButton button, const QPoint& globalPos) {
    if (button == Qt::RightButton) PopupMenuSegment->popup(globalPos);
}

void TGUIF::RtDoubleEditSegmentTimeValueChanged() {
    const std::optional<double> typed =
        NumberInRange(RtDoubleEditSegmentTime->text().toStdString(), RtDoubleEditSegmentTime->AllowedRange());
    if (!typed) {
        LabelSegmentStartTimeTimeConversions->clear();
        return;
    }
    LabelSegmentStartTimeTimeConversions->setText(QString::fromStdString(
        StartTimeConversions(*typed, engine_->TimeFactor(), engine_->Settings().DecimalSeparator)));
}

void TGUIF::RtDoubleEditSegmentFlowValueChanged() { UpdateGasFlowUnits(); }

// --- Program files ---------------------------------------------------------------------------

void TGUIF::SetSegmentFileDialogs(TChooseFile save, TChooseFile open) {
    saveSegmentFile_ = std::move(save);
    openSegmentFile_ = std::move(open);
}

void TGUIF::SaveSegmentProgramAs1Click() { engine_->SaveSegmentProgram(FocusedPort(), saveSegmentFile_); }

void TGUIF::LoadSegmentProgram2Click() { engine_->LoadSegmentProgram(FocusedPort(), openSegmentFile_); }

std::optional<std::filesystem::path> TGUIF::ChooseSaveFile(const TFileDialogRequest& request, const QString& title) {
    const QString offered =
        PathText(request.Folder / std::filesystem::path(QString::fromStdString(request.FileName).toStdU16String()));
    return ChosenPath(QFileDialog::getSaveFileName(this, title, offered, QtFileFilter(request.Filter)));
}

std::optional<std::filesystem::path> TGUIF::ChooseOpenFile(const TFileDialogRequest& request, const QString& title) {
    return ChosenPath(
        QFileDialog::getOpenFileName(this, title, PathText(request.Folder), QtFileFilter(request.Filter)));
}

// --- The merged listing -------------------------------------------------------------------------

std::vector<std::string> TGUIF::ListedPorts() const {
    if (!MenuEntry("ShowSegmentPrograms1")->isChecked()) return {};
    return SelectedPorts();
}

void TGUIF::MergeSegments() {
    const TSegmentListing& listing = engine_->SegmentListing(ListedPorts());
    shownListingRevision_ = listing.Revision;
    if (!listing.Text.empty()) MemoSegments->setPlainText(QString::fromStdString(listing.Text));
}

void TGUIF::MemoSegmentsUpdate() {
    // Called on every tick: the engine rebuilds the listing only when its programs, the
    // selection or the time unit changed, and an unchanged listing is left alone in the view,
    // and with it the operator's place and selection.
    const TSegmentListing& listing = engine_->SegmentListing(ListedPorts());
    if (listing.Revision == shownListingRevision_) return;

    QScrollBar* vertical = MemoSegments->verticalScrollBar();
    QScrollBar* horizontal = MemoSegments->horizontalScrollBar();
    const int top = vertical->value();
    const int left = horizontal->value();
    const QTextCursor before = MemoSegments->textCursor();
    const int anchor = before.anchor();
    const int position = before.position();

    MemoSegments->clear();
    shownListingRevision_ = listing.Revision;
    if (!listing.Text.empty()) MemoSegments->setPlainText(QString::fromStdString(listing.Text));

    // A place past the new end of the text goes to the end.
    const int end = static_cast<int>(MemoSegments->document()->characterCount()) - 1;
    QTextCursor kept(MemoSegments->document());
    kept.setPosition(std::min(anchor, end));
    kept.setPosition(std::min(position, end), QTextCursor::KeepAnchor);
    MemoSegments->setTextCursor(kept);
    vertical->setValue(top);
    horizontal->setValue(left);
    MemoSegments->viewport()->update();
}

}  // namespace tessaro
