#include "ReflowRow.h"

#include <QBoxLayout>
#include <QResizeEvent>
#include <algorithm>

namespace tessaro {

TReflowRow::TReflowRow(QWidget* parent) : QWidget(parent), row_(new QBoxLayout(QBoxLayout::LeftToRight, this)) {}

void TReflowRow::AddPart(QWidget* part, int stretch) {
    row_->addWidget(part, stretch);
    Arrange(width());
}

void TReflowRow::AddPart(QLayout* part, int stretch) {
    row_->addLayout(part, stretch);
    Arrange(width());
}

bool TReflowRow::SideBySide() const { return row_->direction() == QBoxLayout::LeftToRight; }

int TReflowRow::SideBySideWidth() const {
    int needed = 0;
    int parts = 0;
    for (int i = 0; i < row_->count(); ++i) {
        QLayoutItem* item = row_->itemAt(i);
        if (item->isEmpty()) continue;
        needed += item->sizeHint().width();
        ++parts;
    }
    const QMargins margins = row_->contentsMargins();
    return needed + std::max(0, parts - 1) * row_->spacing() + margins.left() + margins.right();
}

QSize TReflowRow::minimumSizeHint() const {
    int widest = 0;
    for (int i = 0; i < row_->count(); ++i)
        if (!row_->itemAt(i)->isEmpty()) widest = std::max(widest, row_->itemAt(i)->minimumSize().width());
    const QMargins margins = row_->contentsMargins();
    return {widest + margins.left() + margins.right(), row_->minimumSize().height()};
}

void TReflowRow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    Arrange(event->size().width());
}

void TReflowRow::Arrange(int width) {
    const auto direction = width >= SideBySideWidth() ? QBoxLayout::LeftToRight : QBoxLayout::TopToBottom;
    if (row_->direction() == direction) return;
    row_->setDirection(direction);
    // The height needed changes with the arrangement; a scroll area around follows it.
    updateGeometry();
}

}  // namespace tessaro
