// The idle wait ends for whichever comes first: a descriptor, something Qt
// has to deliver, or the deadline. Each case asserts on what ended it.
#include "ui/IdleWait.h"

#include <unistd.h>

#include <gtest/gtest.h>

#include <QTimer>
#include <QWidget>

#include "tests/ui/QtApp.h"

namespace corvane {
namespace {

// Far longer than the test runner allows: a wait that misses its cause hangs
// and fails there, never by a timed assertion here.
constexpr int Forever = 600'000;

class IdleWaitTest : public testing::Test {
protected:
    void SetUp() override {
        test::ensureQtApp();
        ASSERT_EQ(::pipe(pipe_), 0);
        ASSERT_TRUE(test::drainPoll());
        uiEventQueue().clear();
    }
    void TearDown() override {
        // The next test's pipe may get these numbers: the wait must not
        // take it for the one it watched.
        forgetWaitDescriptors();
        ::close(pipe_[0]);
        ::close(pipe_[1]);
        uiEventQueue().clear();
    }
    void makeReadable() { ASSERT_EQ(::write(pipe_[1], "x", 1), 1); }

    int pipe_[2] = {-1, -1};
};

TEST_F(IdleWaitTest, EndsForAReadableDescriptorAmongSkippedOnes) {
    makeReadable();
    const int descriptors[] = {-1, pipe_[0]};
    EXPECT_EQ(waitForWork(descriptors, Forever), WaitEnd::Descriptor);
}

TEST_F(IdleWaitTest, EndsForAWindowEventWhichTheNextPollReturns) {
    QWidget window;
    new WindowEventBridge(&window, 9);
    window.show();
    ASSERT_TRUE(test::drainPoll());
    uiEventQueue().clear();

    window.move(40, 30);
    const int descriptors[] = {pipe_[0]};
    EXPECT_EQ(waitForWork(descriptors, Forever), WaitEnd::Window);
    EXPECT_TRUE(test::pollFor(MoveEvent)) << "what the wait delivered is not lost";
}

TEST_F(IdleWaitTest, EndsForAQtTimerAndAtTheDeadline) {
    bool fired = false;
    QTimer::singleShot(1, [&] { fired = true; });
    EXPECT_EQ(waitForWork({}, Forever), WaitEnd::Window);
    EXPECT_TRUE(fired);

    const int descriptors[] = {pipe_[0]};
    EXPECT_EQ(waitForWork(descriptors, 1), WaitEnd::Deadline);
    EXPECT_EQ(waitForWork(descriptors, 0), WaitEnd::Deadline) << "0 is no wait at all";

    // The descriptor's notifier is off between waits: later polls find nothing.
    makeReadable();
    EXPECT_TRUE(test::drainPoll());
    EXPECT_EQ(waitForWork(descriptors, Forever), WaitEnd::Descriptor);
}

}  // namespace
}  // namespace corvane
