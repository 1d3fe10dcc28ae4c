// The Qt application object widget and network tests need, made once per test
// process (every test runs in a process of its own).
#pragma once

#include <QApplication>

namespace zorvex::test {

inline QApplication& TestApplication() {
    if (auto* existing = qobject_cast<QApplication*>(QCoreApplication::instance())) {
        return *existing;
    }
    // ctest's environment for the test may lack the platform (and no test
    // should need a display).
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "app_tests";
    static char* argv[] = {name, nullptr};
    // Never destroyed: Qt's thread-local storage outlives static destruction.
    static QApplication* application = new QApplication(argc, argv);
    return *application;
}

}  // namespace zorvex::test
