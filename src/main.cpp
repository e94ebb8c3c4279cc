// Tessaro: control program of the gas-delivery rig. Connects the core's outlets to the
// window, initialises the modules, opens the main window maximised and runs the event loop
// until it closes. `--data-folder DIR` chooses where segment programs and logs are kept.

#include <QApplication>
#include <QCommandLineParser>
#include <QScreen>
#include <optional>

#include "Form.h"
#include "Sinks.h"
#include "engine/Startup.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("Tessaro");
    QApplication::setApplicationVersion(TESSARO_VERSION);

    QCommandLineParser parser;
    parser.setApplicationDescription("Control program of the gas-delivery rig.");
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption dataFolder(
        "data-folder", "Keep segment programs and log files in <folder> (default: Tessaro in your documents folder).",
        "folder");
    parser.addOption(dataFolder);
    parser.process(app);

    tessaro::InstallWindowSinks();
    tessaro::InitializeModules();
    tessaro::InitializeMainFormModule();

    tessaro::TEngineSettings settings = tessaro::DefaultEngineSettings();
    if (parser.isSet(dataFolder))
        settings.DataFolder = tessaro::DefaultDataFolder(std::filesystem::path(parser.value(dataFolder).toStdU16String()));
    tessaro::TGUIF form(std::move(settings));
    // A bare X server without a window manager leaves the maximise request unanswered, so the
    // window is first sized to the screen's free area.
    if (const QScreen* screen = form.screen()) form.setGeometry(screen->availableGeometry());
    form.showMaximized();
    return QApplication::exec();
}
