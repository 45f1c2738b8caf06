#pragma once

#include <QApplication>
#include <QString>
#include <ostream>

#include "ui/EventPoll.h"
#include "ui/LoopDispatcher.h"

// Texts in failures as text, not as the bytes of each character.
inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}

namespace corvane::test {

// The one QApplication of the ui test program, made on first use on Qt's
// offscreen platform unless the environment picks another, with the
// program's own event dispatcher. Reuses one that another test file already
// made.
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
    LoopDispatcher::install();
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}

// Polls until nothing is pending; false if that never happens.
inline bool drainPoll() {
    for (int i = 0; i < 1000; ++i) {
        if (eventPoll() == 0) {
            return true;
        }
    }
    return false;
}

// Polls until `code` comes out of the queue; false if it never does.
inline bool pollFor(int code) {
    for (int i = 0; i < 1000; ++i) {
        if (eventPoll() == code) {
            return true;
        }
    }
    return false;
}

}  // namespace corvane::test
