#pragma once
// A drop-down colour picker: a row of named colours with swatches and a last row that opens
// the colour dialog (alpha included) for any other colour.

#include <QColor>
#include <QComboBox>

namespace tessaro {

class TColorPickCombo : public QComboBox {
    Q_OBJECT

public:
    explicit TColorPickCombo(QWidget* parent = nullptr);

    QColor color() const;
    // Selects the colour, adding a row for it when none of the listed colours matches.
    void setColor(const QColor& color);

signals:
    void colorChanged(const QColor& color);

private:
    void AddColorRow(const QColor& color, const QString& name, int index);
    int RowOf(const QColor& color) const;
    void RowActivated(int index);
    void RowChanged(int index);

    int customRow_ = 0;  // index of the "Custom colour..." row, always the last one
    QColor current_;
};

}  // namespace tessaro
