#include <gtest/gtest.h>

#include <QApplication>

#include <cstdlib>

// Widget tests need one application object for the whole run; the offscreen
// platform keeps them off any display.
int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
