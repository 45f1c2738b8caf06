#include "ui/Tooltip.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QPushButton>
#include <QTest>
#include <QToolTip>
#include <QWidget>

#include "tests/ui/QtApp.h"

namespace corvane {
namespace {

// Processes events until the window is active; false if it never becomes so.
bool activate(QWidget& window) {
    window.activateWindow();
    for (int i = 0; i < 1000 && !window.isActiveWindow(); ++i) {
        QCoreApplication::processEvents();
    }
    return window.isActiveWindow();
}

TEST(Tooltip, ShowsWhileItsWindowIsNotActive) {
    test::ensureQtApp();
    QWidget window;
    auto* button = new QPushButton("1", &window);
    button->setGeometry(10, 10, 40, 24);
    window.resize(100, 50);
    window.show();
    QWidget other;
    other.show();
    ASSERT_TRUE(activate(other));
    ASSERT_FALSE(window.isActiveWindow());

    tooltipSet(button, u"does nothing");
    // The pointer comes to rest on the button; Qt shows the tip after its
    // wake-up delay, or, for an inactive window without the attribute, never.
    QTest::mouseMove(button, QPoint(5, 5));
    QElapsedTimer waited;
    waited.start();
    while (!QToolTip::isVisible() && waited.elapsed() < 10000) {
        QTest::qWait(20);
    }
    EXPECT_TRUE(QToolTip::isVisible());
    EXPECT_EQ(QToolTip::text(), "does nothing");
    QToolTip::hideText();
}

}  // namespace
}  // namespace corvane
