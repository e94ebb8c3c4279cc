// Publishing to MQTT in the window: the Preferences dialog reaches the app, and the status
// bar shows the publisher's state in words.

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QAction>
#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <filesystem>

#include "WindowFixture.h"
#include "mqtt/MqttControl.h"

namespace tessaro::test {
namespace {

std::uint16_t RefusingLoopbackPort() {
    const int socket = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(socket, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    ::getsockname(socket, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(socket);
    return ntohs(address.sin_port);
}

class MqttWindowTest : public WindowFixture {
protected:
    QDialog* OpenDialog() {
        Child<QAction>("PublishToMqtt1")->trigger();
        return Child<QDialog>("DialogMqtt");
    }
    void Fill(QDialog* dialog, const char* host, int port, const char* rig) {
        dialog->findChild<QCheckBox*>("CheckBoxMqttEnabled")->setChecked(true);
        dialog->findChild<QLineEdit*>("EditMqttHost")->setText(host);
        dialog->findChild<QSpinBox*>("SpinBoxMqttPort")->setValue(port);
        dialog->findChild<QLineEdit*>("EditMqttRig")->setText(rig);
        dialog->findChild<QLineEdit*>("EditMqttPassword")->setText("p4ss");
    }
    void ClickOk(QDialog* dialog) {
        dialog->findChild<QDialogButtonBox*>("ButtonBoxMqtt")->button(QDialogButtonBox::Ok)->click();
    }
    QString StateWords() const { return Child<QLabel>("LabelMqttState")->text(); }
};

TEST_F(MqttWindowTest, SettingsEnteredInTheDialogStartPublishingAndTheStatusBarFollows) {
    EXPECT_EQ(StateWords(), "MQTT: Off");
    QDialog* dialog = OpenDialog();
    ASSERT_NE(dialog, nullptr);
    const std::uint16_t port = RefusingLoopbackPort();
    Fill(dialog, "127.0.0.1", port, "r1");
    ClickOk(dialog);

    EXPECT_FALSE(dialog->isVisible());
    const TMqttSettings& taken = form->MqttControl().Settings();
    EXPECT_TRUE(taken.Enabled);
    EXPECT_EQ(taken.Host, "127.0.0.1");
    EXPECT_EQ(taken.Port, port);
    EXPECT_EQ(taken.Rig, "r1");
    EXPECT_EQ(taken.Password, "p4ss");
    EXPECT_TRUE(form->MqttControl().IsOn());
    // Nobody listens on the port: the publisher retries and says so.
    EXPECT_TRUE(TickEngineUntil([&] { return StateWords() == "MQTT: Reconnecting"; })) << StateWords().toStdString();
    EXPECT_EQ(Child<QWidget>("LedMqtt")->toolTip(), "MQTT: Reconnecting");
    EXPECT_TRUE(std::filesystem::exists(std::filesystem::path(folder.path().toStdString()) / "Tessaro.ini"));

    // Turned off again.
    dialog = OpenDialog();
    dialog->findChild<QCheckBox*>("CheckBoxMqttEnabled")->setChecked(false);
    ClickOk(dialog);
    EXPECT_EQ(StateWords(), "MQTT: Off");
    EXPECT_FALSE(form->MqttControl().IsOn());
}

TEST_F(MqttWindowTest, UnusableSettingsKeepTheDialogOpenWithTheReasonAndChangeNothing) {
    QDialog* dialog = OpenDialog();
    Fill(dialog, "127.0.0.1", 1883, "rig one");
    ClickOk(dialog);

    EXPECT_TRUE(dialog->isVisible());
    EXPECT_TRUE(dialog->findChild<QLabel*>("LabelMqttProblem")->text().contains("rig name"));
    EXPECT_FALSE(form->MqttControl().Settings().Enabled);
    EXPECT_EQ(StateWords(), "MQTT: Off");
}

}  // namespace
}  // namespace tessaro::test
