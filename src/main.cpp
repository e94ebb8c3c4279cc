// Tessaro: control program of the gas-delivery rig. Reads the command line before any
// application object exists: a headless run needs no display, so it gets a QCoreApplication
// and the window a QApplication. See CommandLineHelp for the options.

#include <QApplication>
#include <QCoreApplication>
#include <QLocale>
#include <QScreen>
#include <QTimer>
#include <iostream>
#include <optional>

#include "Form.h"
#include "Sinks.h"
#include "engine/Startup.h"
#include "run/CommandLine.h"
#include "run/ExitCodes.h"
#include "run/HeadlessRun.h"
#include "run/RunEnd.h"
#include "run/RunFile.h"
#include "run/RunStart.h"
#include "run/StopSignals.h"

namespace {

using namespace tessaro;

void NameApplication() {
    QCoreApplication::setApplicationName("Tessaro");
    QCoreApplication::setApplicationVersion(TESSARO_VERSION);
}

std::optional<std::filesystem::path> ChosenDataFolder(const TCommandLine& options) {
    if (!options.DataFolder) return std::nullopt;
    return DefaultDataFolder(*options.DataFolder);
}

int RunWithoutWindow(int argc, char* argv[], const TCommandLine& options) {
    QCoreApplication app(argc, argv);
    NameApplication();
    InstallDiagnosticSink();
    InitializeModules();
    TEngineSettings settings;
    settings.DataFolder = DefaultDataFolder(options.DataFolder);
    settings.DecimalSeparator = QLocale().decimalPoint().at(0).toLatin1();
    settings.FallbackFolders = DefaultFallbackFolders();
    THeadlessSettings run;
    run.RunFile = *options.RunFile;
    run.Duration_min = options.Duration_min;
    run.ResumeInterruptedRun = options.ResumeInterruptedRun;
    run.MqttAddress = options.MqttAddress;
    run.Rig = options.Rig;
    return RunHeadless(run, std::move(settings), std::cout, std::cerr);
}

int RunWindow(int argc, char* argv[], const TCommandLine& options) {
    QApplication app(argc, argv);
    NameApplication();
    InstallWindowSinks();
    InitializeModules();
    InitializeMainFormModule();

    TEngineSettings settings = DefaultEngineSettings();
    if (const auto folder = ChosenDataFolder(options)) settings.DataFolder = *folder;
    TGUIF form(std::move(settings));
    // A bare X server without a window manager leaves the maximise request unanswered, so the
    // window is first sized to the screen's free area.
    if (const QScreen* screen = form.screen()) form.setGeometry(screen->availableGeometry());
    form.showMaximized();

    // A stop signal ends the program as "Stop all flows" and a close would: the window's own
    // close has nothing left to do afterwards.
    bool signalled = false;
    TStopSignals stopSignals([&](int signal) {
        if (signalled) return;
        signalled = true;
        const TRunEnd end =
            EndRunWithStopAll(form.Engine(), SignalName(signal) + " received: every flow is stopped and Tessaro ends");
        QCoreApplication::exit(end.ExitCode);
    });
    if (options.RunFile)
        QTimer::singleShot(0, &form, [&form, file = *options.RunFile, resume = options.ResumeInterruptedRun] {
            StartRunFileInWindow(form.Engine(), file, SystemRunDeviceFinder(), resume);
        });
    else if (options.ResumeInterruptedRun)
        QTimer::singleShot(0, &form, [&form] { form.ButtonResumeInterruptedRunClick(); });
    return QApplication::exec();
}

}  // namespace

int main(int argc, char* argv[]) {
    const TCommandLineParse parse = ParseCommandLine(argc, argv);
    if (!parse.Error.empty()) {
        std::cerr << "tessaro: " << parse.Error << "\nSee tessaro --help for the options.\n";
        return kExitUsage;
    }
    switch (StartModeOf(parse.Options)) {
        case TStartMode::Help:
            std::cout << CommandLineHelp();
            return kExitOk;
        case TStartMode::Version:
            std::cout << "Tessaro " << TESSARO_VERSION << "\n";
            return kExitOk;
        case TStartMode::ListGases:
            InitializeModules();
            std::cout << GasListText();
            return kExitOk;
        case TStartMode::Headless:
            return RunWithoutWindow(argc, argv, parse.Options);
        case TStartMode::Window:
            return RunWindow(argc, argv, parse.Options);
    }
    return kExitSoftware;
}
