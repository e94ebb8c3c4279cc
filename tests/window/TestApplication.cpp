#include "TestApplication.h"

#include <QApplication>

namespace tessaro::test {

QApplication& TestApplication() {
    static int argc = 1;
    static char name[] = "window_tests";
    static char* argv[] = {name, nullptr};
    static QApplication* app = [] {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        return new QApplication(argc, argv);
    }();
    return *app;
}

}  // namespace tessaro::test
