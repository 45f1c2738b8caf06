#include <gtest/gtest.h>

#include <QApplication>

#include <cstdlib>

#include "ui/LoopDispatcher.h"

// Widget tests need one application object for the whole run; the offscreen
// platform keeps them off any display. Its event dispatcher is the
// program's own, so every widget test runs under it.
int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    corvane::LoopDispatcher::install();
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
