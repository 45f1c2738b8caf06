#include "ui/EventPoll.h"

#include <gtest/gtest.h>

#include <QWidget>
#include <QWindow>

#include "tests/ui/QtApp.h"

namespace corvane {
namespace {

using test::drainPoll;
using test::pollFor;

class EventPollTest : public testing::Test {
protected:
    void SetUp() override {
        test::ensureQtApp();
        uiEventQueue().clear();
    }
    void TearDown() override { uiEventQueue().clear(); }
};

TEST_F(EventPollTest, QueuedEventsComeFirstThenPendingQtEventsThenZero) {
    ASSERT_TRUE(drainPoll());
    EXPECT_EQ(eventPoll(), 0);

    QObject target;
    QCoreApplication::postEvent(&target, new QEvent(QEvent::User));
    uiEventQueue().raise({MoveEvent, 0, 3, 0});
    EXPECT_EQ(eventPoll(), MoveEvent);
    EXPECT_EQ(eventPoll(), PlatformEventsHandled);
    EXPECT_EQ(eventPoll(), 0);
}

TEST_F(EventPollTest, CloseRequestQueuesCloseEventAndKeepsTheWindow) {
    QWidget window;
    auto* bridge = new WindowEventBridge(&window, 42);
    window.resize(200, 100);
    window.show();
    ASSERT_TRUE(drainPoll());

    ASSERT_NE(window.windowHandle(), nullptr);
    window.windowHandle()->close();  // what the close box does
    EXPECT_TRUE(pollFor(CloseEvent));
    EXPECT_TRUE(window.isVisible());

    EXPECT_FALSE(window.close());
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(uiEventQueue().pop(), (Event{CloseEvent, 0, 42, 0}));

    bridge->setCloseAllowed(true);
    EXPECT_TRUE(window.close());
    EXPECT_FALSE(window.isVisible());
}

TEST_F(EventPollTest, ResizeRunsTheBoundRelayoutBeforeThePollReturnsIt) {
    QWidget window;
    new WindowEventBridge(&window, 5);
    window.resize(200, 100);
    window.show();
    ASSERT_TRUE(drainPoll());
    uiEventQueue().clear();

    QSize seen;
    uiEventQueue().bind(BindKey::CodeWindow, {SizeEvent, 0, 5, 0},
                        [&](const Event&) { seen = window.size(); });
    window.resize(320, 240);
    EXPECT_TRUE(pollFor(SizeEvent));
    EXPECT_EQ(seen, QSize(320, 240));
    uiEventQueue().unbind(BindKey::CodeWindow, {SizeEvent, 0, 5, 0});
}

TEST_F(EventPollTest, StateChangesBecomeTheirEvents) {
    QWidget window;
    new WindowEventBridge(&window, 6);
    window.show();
    ASSERT_TRUE(drainPoll());
    uiEventQueue().clear();

    window.setWindowState(Qt::WindowMinimized);
    window.setWindowState(Qt::WindowNoState);
    std::vector<int> codes;
    while (auto event = uiEventQueue().pop()) {
        if (event->code == MinimiseEvent || event->code == RestoreEvent ||
            event->code == SizeEvent) {
            codes.push_back(event->code);
        }
    }
    ASSERT_GE(codes.size(), 3u);
    EXPECT_EQ(codes[0], MinimiseEvent);
    EXPECT_EQ(codes[1], RestoreEvent);
    EXPECT_EQ(codes[2], SizeEvent);
}

}  // namespace
}  // namespace corvane
