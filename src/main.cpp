// Tessaro: control program of the gas-delivery rig. Connects the core's outlets to the
// window, initialises the modules, opens the main window maximised and runs the event loop
// until it closes.

#include <QApplication>
#include <QScreen>

#include "Form.h"
#include "Sinks.h"
#include "engine/Startup.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("Tessaro");

    tessaro::InstallWindowSinks();
    tessaro::InitializeModules();
    tessaro::InitializeMainFormModule();

    tessaro::TGUIF form;
    // A bare X server without a window manager leaves the maximise request unanswered, so the
    // window is first sized to the screen's free area.
    if (const QScreen* screen = form.screen()) form.setGeometry(screen->availableGeometry());
    form.showMaximized();
    return QApplication::exec();
}
