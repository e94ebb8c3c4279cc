#include "WindowFixture.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "StatusLed.h"
#include "TestApplication.h"
#include "engine/Startup.h"
#include "registry/Brinvale_DeviceInfo.h"

#include <chrono>
#include <thread>

namespace tessaro::test {

WindowFixture::WindowFixture() : app(TestApplication()) {
    InitializeModules();
    TEngineSettings settings;
    settings.DataFolder = std::filesystem::path(folder.path().toStdString());
    settings.Sleeps = false;
    form = std::make_unique<TGUIF>(settings);
}

WindowFixture::~WindowFixture() {
    form.reset();
    DevicesLocal().clear();
}

QTreeWidgetItem* WindowFixture::Row(const char* port) const {
    const QList<QTreeWidgetItem*> rows = Child<QTreeWidget>("ListViewDevices")->findItems(port, Qt::MatchExactly, 0);
    EXPECT_EQ(rows.size(), 1) << port;
    return rows.value(0);
}

void WindowFixture::Focus(const char* port) { Child<QTreeWidget>("ListViewDevices")->setCurrentItem(Row(port)); }

void WindowFixture::SelectRows(std::initializer_list<const char*> ports) {
    auto* list = Child<QTreeWidget>("ListViewDevices");
    list->clearSelection();
    for (const char* port : ports) {
        list->setCurrentItem(Row(port), 0, QItemSelectionModel::NoUpdate);
        Row(port)->setSelected(true);
    }
}

void WindowFixture::ChooseGas(int gasID) {
    auto* gases = Child<QComboBox>("ComboBoxDeviceFluid");
    // Row 0 is the header, whose tag 0 is also the number of air.
    for (int row = 1; row < gases->count(); ++row) {
        if (gases->itemData(row, Qt::UserRole).toInt() == gasID) {
            gases->setCurrentIndex(row);
            return;
        }
    }
    ADD_FAILURE() << "no gas " << gasID;
}

void WindowFixture::ClickApply() { Child<QPushButton>("BitBtn6")->click(); }

void WindowFixture::Configure(const char* port, int gasID) {
    Focus(port);
    ChooseGas(gasID);
    ClickApply();
}

bool WindowFixture::TickEngineUntil(const std::function<bool()>& done) {
    QElapsedTimer waited;
    waited.start();
    while (!done()) {
        if (waited.elapsed() > 5000) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        QCoreApplication::processEvents();
        form->Engine().TimerEngineTimer();
    }
    return true;
}

int WindowFixture::StatusBarLeds() const {
    return static_cast<int>(Child<QFrame>("PanelStatusBar")->findChildren<TLed*>(Qt::FindDirectChildrenOnly).size());
}

TDeviceInfo WindowFixture::Device(const char* port) const {
    TDeviceInfo device;
    EXPECT_TRUE(FindDevice(port, device)) << port;
    return device;
}

void WindowFixture::ExpectNoDeviceShown() const {
    EXPECT_EQ(Child<QLineEdit>("EditDeviceType")->text(), "No valid device selected");
    EXPECT_EQ(Child<QLineEdit>("EditDeviceName")->text(), "");
    EXPECT_EQ(Child<QLabel>("LabelDeviceColor")->text(), "");
    EXPECT_EQ(Child<QComboBox>("ComboBoxDeviceFluid")->currentIndex(), 0);
    EXPECT_EQ(Child<QLineEdit>("EditFlowUnitName")->text(), "");
    EXPECT_FALSE(Child<QWidget>("EditFlowUnitTemperatureC")->isVisibleTo(form.get()));
    for (const char* field : {"EditDeviceName", "RtColorPickComboDeviceColor", "ComboBoxDeviceFluid",
                              "GroupBoxFlowUnit", "GroupBoxConfigurePump", "BitBtn6"})
        EXPECT_FALSE(Child<QWidget>(field)->isEnabled()) << field;
}

}  // namespace tessaro::test
