// The notice of a run that did not end cleanly, and its resume.

#include <QMessageBox>
#include <QPushButton>

#include "Form.h"
#include "registry/Brinvale_DeviceInfo.h"

namespace tessaro {

namespace {

constexpr const char* kResumeCaption = "Resume the interrupted run";

}  // namespace

void TGUIF::ShowInterruptedRun() {
    const TInterruptedRunCheck& check = engine_->StopInterruptedRun();
    if (check.Report.empty()) return;
    auto* notice = new QMessageBox(QMessageBox::Warning, windowTitle(), QString::fromStdString(check.ReportText()),
                                   QMessageBox::Close, this);
    notice->setObjectName("NoticeInterruptedRun");
    notice->setAttribute(Qt::WA_DeleteOnClose);
    notice->setModal(false);
    if (check.Run) {
        QPushButton* resume = notice->addButton(kResumeCaption, QMessageBox::AcceptRole);
        resume->setObjectName("ButtonResumeInterruptedRun");
        connect(resume, &QPushButton::clicked, this, [this] { ButtonResumeInterruptedRunClick(); });
    }
    notice->show();
}

void TGUIF::ButtonResumeInterruptedRunClick() {
    Guarded([this] {
        std::vector<std::string> resumed;
        engine_->ResumeInterruptedRun(&resumed);
        for (const std::string& port : resumed) {
            TDeviceInfo device;
            if (!FindDevice(port, device)) continue;
            if (RowOf(port) == nullptr) AddDeviceRow(device);
            SetRowTexts(device);
        }
    });
}

}  // namespace tessaro
