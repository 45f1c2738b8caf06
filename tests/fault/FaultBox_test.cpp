#include "ui/faultbox/FaultBox.h"

#include <gtest/gtest.h>

#include <QApplication>

namespace corvane {
namespace {

TEST(FaultBox, IsTheCriticalBoxWithOneOkButtonKeptOnTop) {
    int argc = 1;
    char name[] = "fault_tests";
    char* argv[] = {name, nullptr};
    QApplication application(argc, argv);

    const auto box = makeFaultBox(QStringLiteral("Corvane [12]\r\nDIVISION BY ZERO \r\n    "));
    EXPECT_EQ(box->windowTitle(), QStringLiteral("Critical shit"));
    EXPECT_EQ(box->icon(), QMessageBox::Critical);
    EXPECT_EQ(box->standardButtons(), QMessageBox::StandardButtons(QMessageBox::Ok));
    EXPECT_TRUE(box->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(box->textFormat(), Qt::PlainText);
    // One line break per CR LF, and the text otherwise as written.
    EXPECT_EQ(box->text(), QStringLiteral("Corvane [12]\nDIVISION BY ZERO \n    "));
}

}  // namespace
}  // namespace corvane
