#pragma once
// A row of parts that stands side by side while the width gives every part its preferred
// width, and otherwise puts them one below the other. Its minimum width is that of its
// widest part, so a scroll area around it never has to scroll sideways.

#include <QWidget>

class QBoxLayout;
class QLayout;

namespace tessaro {

class TReflowRow : public QWidget {
    Q_OBJECT

public:
    explicit TReflowRow(QWidget* parent = nullptr);

    void AddPart(QWidget* part, int stretch = 0);
    void AddPart(QLayout* part, int stretch = 0);
    // True while the parts stand side by side.
    bool SideBySide() const;

    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    // The width the parts need side by side at their preferred widths.
    int SideBySideWidth() const;
    void Arrange(int width);

    QBoxLayout* row_ = nullptr;
};

}  // namespace tessaro
