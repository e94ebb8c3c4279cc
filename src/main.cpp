// Tessaro: control program of the gas-delivery rig. Connects the core's outlets to the
// window, opens the main window maximised and runs the event loop until it closes.

#include <QApplication>

#include "Form.h"
#include "Sinks.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("Tessaro");

    tessaro::InstallWindowSinks();
    tessaro::InitializeMainFormModule();

    tessaro::TGUIF form;
    form.showMaximized();
    return QApplication::exec();
}
