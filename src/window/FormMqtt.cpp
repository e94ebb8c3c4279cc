// Publishing to MQTT in the window: the status bar's light with its state in words, and the
// "Publish to MQTT…" dialog. What is published, where and when is decided by the app's
// TMqttControl.

#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QVBoxLayout>

#include "Form.h"
#include "StatusLed.h"
#include "mqtt/MqttControl.h"

namespace tessaro {

namespace {

template <typename Widget>
Widget* Named(QDialog* dialog, const char* name) {
    return dialog->findChild<Widget*>(name);
}

QLineEdit* NewLineEdit(QWidget* parent, const char* name, const std::string& text) {
    auto* edit = new QLineEdit(QString::fromStdString(text), parent);
    edit->setObjectName(name);
    return edit;
}

}  // namespace

void TGUIF::ShowMqttState() {
    const QString words = QString::fromStdString(mqtt_->StateText());
    LabelMqttState->setText("MQTT: " + words);
    LedMqtt->SetStateWords(words, words);
    // Green while connected; amber while publishing is on but the broker is away.
    LedMqtt->SetOffColor(mqtt_->IsOn() ? QColor(255, 176, 0) : QColor(192, 192, 192));
    LedMqtt->SetOn(mqtt_->IsConnected());
}

void TGUIF::PublishToMqtt1Click() {
    delete DialogMqtt;
    const TMqttSettings& settings = mqtt_->Settings();
    DialogMqtt = new QDialog(this);
    DialogMqtt->setObjectName("DialogMqtt");
    DialogMqtt->setWindowTitle("Publish to MQTT");
    auto* layout = new QVBoxLayout(DialogMqtt);
    auto* form = new QFormLayout;
    layout->addLayout(form);

    auto* enabled = new QCheckBox("Publish the live state to a broker", DialogMqtt);
    enabled->setObjectName("CheckBoxMqttEnabled");
    enabled->setChecked(settings.Enabled);
    form->addRow(enabled);
    form->addRow("Broker host", NewLineEdit(DialogMqtt, "EditMqttHost", settings.Host));
    auto* port = new QSpinBox(DialogMqtt);
    port->setObjectName("SpinBoxMqttPort");
    port->setRange(1, 65535);
    port->setValue(settings.Port);
    form->addRow("Port", port);
    form->addRow("Rig name", NewLineEdit(DialogMqtt, "EditMqttRig", settings.Rig));
    form->addRow("User name (optional)", NewLineEdit(DialogMqtt, "EditMqttUser", settings.User));
    QLineEdit* password = NewLineEdit(DialogMqtt, "EditMqttPassword", settings.Password);
    password->setEchoMode(QLineEdit::Password);
    form->addRow("Password (optional)", password);
    auto* tls = new QCheckBox("TLS", DialogMqtt);
    tls->setObjectName("CheckBoxMqttTls");
    tls->setChecked(settings.Tls);
    form->addRow(tls);
    form->addRow("CA file", NewLineEdit(DialogMqtt, "EditMqttCaFile", settings.CaFile));

    auto* problem = new QLabel(DialogMqtt);
    problem->setObjectName("LabelMqttProblem");
    problem->setWordWrap(true);
    layout->addWidget(problem);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, DialogMqtt);
    buttons->setObjectName("ButtonBoxMqtt");
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, [this] { Guarded([this] { DialogMqttAccepted(); }); });
    connect(buttons, &QDialogButtonBox::rejected, DialogMqtt, &QDialog::reject);
    DialogMqtt->open();
}

void TGUIF::DialogMqttAccepted() {
    TMqttSettings settings = mqtt_->Settings();
    settings.Enabled = Named<QCheckBox>(DialogMqtt, "CheckBoxMqttEnabled")->isChecked();
    settings.Host = Named<QLineEdit>(DialogMqtt, "EditMqttHost")->text().trimmed().toStdString();
    settings.Port = static_cast<std::uint16_t>(Named<QSpinBox>(DialogMqtt, "SpinBoxMqttPort")->value());
    settings.Rig = Named<QLineEdit>(DialogMqtt, "EditMqttRig")->text().trimmed().toStdString();
    settings.User = Named<QLineEdit>(DialogMqtt, "EditMqttUser")->text().toStdString();
    settings.Password = Named<QLineEdit>(DialogMqtt, "EditMqttPassword")->text().toStdString();
    settings.Tls = Named<QCheckBox>(DialogMqtt, "CheckBoxMqttTls")->isChecked();
    settings.CaFile = Named<QLineEdit>(DialogMqtt, "EditMqttCaFile")->text().trimmed().toStdString();
    const std::string problem = mqtt_->Apply(settings);
    if (!problem.empty()) {
        Named<QLabel>(DialogMqtt, "LabelMqttProblem")->setText(QString::fromStdString(problem));
        return;
    }
    DialogMqtt->accept();
}

}  // namespace tessaro
