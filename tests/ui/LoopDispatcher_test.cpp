// The program's event dispatcher. The ui test program runs every widget
// test under it; these cases attack what it adds: it must deliver what
// Qt's own would (posted events, timers, socket notifiers, a wake-up from
// another thread), keep the loop's descriptors out of nested event loops,
// and delete what was deleted later.
#include "ui/LoopDispatcher.h"

#include <unistd.h>

#include <gtest/gtest.h>

#include <QEventLoop>
#include <QPointer>
#include <QSocketNotifier>
#include <QTimer>

#include <thread>

#include "tests/ui/QtApp.h"

namespace corvane {
namespace {

// Far longer than the test runner allows: a wait that misses its cause
// hangs and fails there.
constexpr int Forever = 600'000;

class Counter final : public QObject {
public:
    int events = 0;

protected:
    bool event(QEvent* event) override {
        if (event->type() == QEvent::User) {
            ++events;
            return true;
        }
        return QObject::event(event);
    }
};

class LoopDispatcherTest : public testing::Test {
protected:
    void SetUp() override {
        test::ensureQtApp();
        ASSERT_NE(LoopDispatcher::current(), nullptr) << "the ui tests run under it";
        ASSERT_EQ(::pipe(pipe_), 0);
        ASSERT_TRUE(test::drainPoll());
    }
    void TearDown() override {
        forgetWaitDescriptors();
        ::close(pipe_[0]);
        ::close(pipe_[1]);
    }
    void makeReadable() { ASSERT_EQ(::write(pipe_[1], "x", 1), 1); }

    int pipe_[2] = {-1, -1};
};

TEST_F(LoopDispatcherTest, APollDeliversPostedEventsAndSaysSoThenNothing) {
    Counter target;
    QCoreApplication::postEvent(&target, new QEvent(QEvent::User));
    QCoreApplication::postEvent(&target, new QEvent(QEvent::User));
    EXPECT_EQ(eventPoll(), PlatformEventsHandled);
    EXPECT_EQ(target.events, 2);
    EXPECT_EQ(eventPoll(), 0);
}

TEST_F(LoopDispatcherTest, ASocketNotifierIsServedByPollsAndEndsAWait) {
    int activated = 0;
    QSocketNotifier notifier(pipe_[0], QSocketNotifier::Read);
    QObject::connect(&notifier, &QSocketNotifier::activated, [&] {
        char byte = 0;
        ASSERT_EQ(::read(pipe_[0], &byte, 1), 1);
        ++activated;
    });
    makeReadable();
    EXPECT_EQ(eventPoll(), PlatformEventsHandled) << "served without a wait";
    EXPECT_EQ(activated, 1);
    EXPECT_EQ(eventPoll(), 0);

    std::thread writer([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        makeReadable();
    });
    const WaitEnd end = waitForWork({}, Forever);
    writer.join();
    EXPECT_EQ(end, WaitEnd::Window);
    EXPECT_EQ(activated, 2);
}

// A handler that processes events itself (a nested loop, a progress
// dialog) while other notifiers are ready: each is still served once.
TEST_F(LoopDispatcherTest, ANotifierHandlerThatProcessesEventsServesEachOtherOnce) {
    int second[2] = {-1, -1};
    ASSERT_EQ(::pipe(second), 0);
    int first = 0;
    int other = 0;
    QSocketNotifier one(pipe_[0], QSocketNotifier::Read);
    QSocketNotifier two(second[0], QSocketNotifier::Read);
    QObject::connect(&one, &QSocketNotifier::activated, [&] {
        ++first;
        one.setEnabled(false);
        QCoreApplication::processEvents();
    });
    QObject::connect(&two, &QSocketNotifier::activated, [&] {
        ++other;
        two.setEnabled(false);
    });
    makeReadable();
    ASSERT_EQ(::write(second[1], "y", 1), 1);
    EXPECT_EQ(eventPoll(), PlatformEventsHandled);
    EXPECT_EQ(first, 1);
    EXPECT_EQ(other, 1);
    ::close(second[0]);
    ::close(second[1]);
}

TEST_F(LoopDispatcherTest, AnotherThreadsPostEndsAWaitThatHasBegun) {
    Counter target;
    std::thread poster([&] {
        // Late enough that the wait has most likely begun; a wake-up that
        // only set a flag would leave it asleep, and the test would hang.
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        QCoreApplication::postEvent(&target, new QEvent(QEvent::User));
    });
    const WaitEnd end = waitForWork({}, Forever);
    poster.join();
    EXPECT_EQ(end, WaitEnd::Window);
    EXPECT_EQ(target.events, 1);
}

// A nested event loop (a context menu's) waits for Qt alone: a readable
// descriptor of the main loop's wait must not wake it, or it would spin
// for as long as the menu is open.
TEST_F(LoopDispatcherTest, ANestedEventLoopDoesNotSpinOnTheLoopsDescriptor) {
    const int descriptors[] = {pipe_[0]};
    makeReadable();
    ASSERT_EQ(waitForWork(descriptors, Forever), WaitEnd::Descriptor);

    int wakes = 0;
    QObject::connect(LoopDispatcher::current(), &QAbstractEventDispatcher::awake, [&] { ++wakes; });
    QEventLoop nested;
    QTimer::singleShot(50, &nested, &QEventLoop::quit);
    nested.exec();
    QObject::disconnect(LoopDispatcher::current(), &QAbstractEventDispatcher::awake, nullptr,
                        nullptr);
    EXPECT_LE(wakes, 5) << "woke " << wakes << " times in 50 ms";
    ASSERT_TRUE(test::drainPoll());
    EXPECT_EQ(waitForWork(descriptors, Forever), WaitEnd::Descriptor) << "still watched";
}

TEST_F(LoopDispatcherTest, WhatWasDeletedLaterIsGoneAfterTheNextPoll) {
    QPointer<QObject> doomed = new QObject;
    doomed->deleteLater();
    EXPECT_EQ(eventPoll(), PlatformEventsHandled);
    EXPECT_TRUE(doomed.isNull());
}

}  // namespace
}  // namespace corvane
