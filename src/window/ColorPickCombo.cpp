#include "ColorPickCombo.h"

#include <QColorDialog>
#include <QPainter>
#include <QPixmap>

namespace tessaro {

namespace {

constexpr int kColorRole = Qt::UserRole;

QIcon Swatch(const QColor& color) {
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setPen(Qt::black);
    painter.setBrush(color);
    painter.drawRect(0, 0, 15, 15);
    return QIcon(pixmap);
}

QString ColorName(const QColor& color) { return color.name(color.alpha() == 255 ? QColor::HexRgb : QColor::HexArgb); }

}  // namespace

TColorPickCombo::TColorPickCombo(QWidget* parent) : QComboBox(parent) {
    const std::pair<QColor, const char*> presets[] = {
        {QColor(0, 0, 0), "Black"},      {QColor(128, 0, 0), "Maroon"},    {QColor(0, 128, 0), "Green"},
        {QColor(128, 128, 0), "Olive"},  {QColor(0, 0, 128), "Navy"},      {QColor(128, 0, 128), "Purple"},
        {QColor(0, 128, 128), "Teal"},   {QColor(128, 128, 128), "Gray"},  {QColor(192, 192, 192), "Silver"},
        {QColor(255, 0, 0), "Red"},      {QColor(0, 255, 0), "Lime"},      {QColor(255, 255, 0), "Yellow"},
        {QColor(0, 0, 255), "Blue"},     {QColor(255, 0, 255), "Fuchsia"}, {QColor(0, 255, 255), "Aqua"},
        {QColor(255, 165, 0), "Orange"},
    };
    for (const auto& [color, name] : presets) AddColorRow(color, tr(name), count());
    addItem(tr("Custom colour..."));
    customRow_ = count() - 1;
    setMaxVisibleItems(count());
    current_ = itemData(0, kColorRole).value<QColor>();

    connect(this, &QComboBox::activated, this, &TColorPickCombo::RowActivated);
    connect(this, &QComboBox::currentIndexChanged, this, &TColorPickCombo::RowChanged);
}

QColor TColorPickCombo::color() const { return current_; }

void TColorPickCombo::setColor(const QColor& color) {
    int row = RowOf(color);
    if (row < 0) {
        // Move the custom row's index first: the insertion shifts the current index.
        row = customRow_++;
        AddColorRow(color, ColorName(color), row);
    }
    setCurrentIndex(row);
}

void TColorPickCombo::AddColorRow(const QColor& color, const QString& name, int index) {
    insertItem(index, Swatch(color), name, color);
}

int TColorPickCombo::RowOf(const QColor& color) const {
    for (int row = 0; row < customRow_; ++row)
        if (itemData(row, kColorRole).value<QColor>().rgba() == color.rgba()) return row;
    return -1;
}

void TColorPickCombo::RowActivated(int index) {
    if (index != customRow_) return;
    const QColor picked = QColorDialog::getColor(current_, this, tr("Device colour"), QColorDialog::ShowAlphaChannel);
    if (picked.isValid())
        setColor(picked);
    else
        setCurrentIndex(RowOf(current_));
}

void TColorPickCombo::RowChanged(int index) {
    if (index < 0 || index == customRow_) return;
    const QColor color = itemData(index, kColorRole).value<QColor>();
    if (color.rgba() == current_.rgba()) return;
    current_ = color;
    emit colorChanged(current_);
}

}  // namespace tessaro
