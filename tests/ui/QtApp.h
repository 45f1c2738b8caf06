#pragma once

#include <QApplication>

namespace corvane::test {

// The one QApplication of the ui test program, made on first use on Qt's
// offscreen platform unless the environment picks another. Reuses one that
// another test file already made.
inline QApplication& ensureQtApp() {
    if (auto* existing = qobject_cast<QApplication*>(QCoreApplication::instance())) {
        return *existing;
    }
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    static int argc = 1;
    static char name[] = "ui_tests";
    static char* argv[] = {name, nullptr};
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}

}  // namespace corvane::test
