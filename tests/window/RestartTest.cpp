// The window's side of the safe restart: the notice of a run that did not end cleanly and
// its button that resumes the run.

#include <QMessageBox>
#include <QPushButton>

#include "WindowFixture.h"
#include "engine/Startup.h"
#include "registry/Brinvale_DeviceInfo.h"
#include "run/RunState.h"

namespace tessaro::test {
namespace {

class RestartTest : public WindowFixture {
protected:
    // A new window over the data folder, once a killed run has left its state file there.
    void RestartAfterKilledRun() {
        form.reset();
        DevicesLocal().clear();
        InitializeModules();
        TEngineSettings settings;
        settings.DataFolder = std::filesystem::path(folder.path().toStdString());
        settings.Sleeps = false;

        TRunStateDevice device;
        device.Port = "COMX";
        device.Kind = dtMFCDemo;
        device.Name = "Carrier";
        device.FluidID = kNitrogen;
        device.UnitName = "g/min";
        device.Program = "0 20 Step\r\n100 20 Step";
        device.ProgramTime_min = 12.5;
        TRunState run;
        run.Written = QDateTime::currentDateTime().addSecs(-60);
        run.Devices = {device};
        std::string error;
        ASSERT_TRUE(WriteRunStateFile(settings.DataFolder / kRunStateFileName, run, error)) << error;
        form = std::make_unique<TGUIF>(settings);
    }
};

TEST_F(RestartTest, NoticeNamesTheDevicesAndProgramTimesAndItsButtonResumesTheRun) {
    RestartAfterKilledRun();
    auto* notice = Child<QMessageBox>("NoticeInterruptedRun");
    ASSERT_NE(notice, nullptr);
    EXPECT_TRUE(notice->isVisible());
    EXPECT_TRUE(notice->text().contains("Carrier (MFC on COMX): simulated, nothing to send"));
    EXPECT_TRUE(notice->text().contains("Program times then: Carrier 12.5 min"));
    EXPECT_EQ(Row("COMX")->text(1), "Unknown");

    auto* resume = notice->findChild<QPushButton*>("ButtonResumeInterruptedRun");
    ASSERT_NE(resume, nullptr);
    EXPECT_EQ(resume->text(), "Resume the interrupted run");
    resume->click();

    const TDeviceInfo device = Device("COMX");
    EXPECT_EQ(device.ControlMode, dcmSegment);
    EXPECT_EQ(device.NameRole, "Carrier");
    EXPECT_NEAR(device.ProgramTime_min(), 12.5, 0.1);
    EXPECT_EQ(Row("COMX")->text(1), "Segment");
    EXPECT_EQ(Row("COMX")->text(4), "Carrier");
}

TEST_F(RestartTest, WithoutAStateFileNoNoticeIsShown) {
    EXPECT_EQ(form->findChild<QMessageBox*>("NoticeInterruptedRun"), nullptr);
}

}  // namespace
}  // namespace tessaro::test
