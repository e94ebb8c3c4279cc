#include "ColorPickCombo.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <vector>

#include "TestApplication.h"

namespace tessaro {
namespace {

TEST(ColorPickCombo, SelectsListedColoursAndAddsOthersOnce) {
    test::TestApplication();
    TColorPickCombo picker;
    std::vector<QColor> changes;
    QObject::connect(&picker, &TColorPickCombo::colorChanged, [&](const QColor& color) { changes.push_back(color); });
    const int rows = picker.count();

    picker.setColor(QColor(255, 0, 0));
    EXPECT_EQ(picker.color(), QColor(255, 0, 0));
    EXPECT_EQ(picker.count(), rows);

    const QColor translucent(10, 20, 30, 128);
    picker.setColor(translucent);
    picker.setColor(translucent);
    EXPECT_EQ(picker.color().rgba(), translucent.rgba());
    EXPECT_EQ(picker.count(), rows + 1);
    EXPECT_EQ(picker.itemText(picker.count() - 1), "Custom colour...");

    ASSERT_EQ(changes.size(), 2u);
    EXPECT_EQ(changes[1].rgba(), translucent.rgba());
}

}  // namespace
}  // namespace tessaro
