// The timers of the program's event dispatcher, on a clock the test sets.
#include "ui/TimerList.h"

#include <gtest/gtest.h>

#include <QObject>
#include <QTimerEvent>

#include <functional>
#include <vector>

#include "tests/ui/QtApp.h"

namespace corvane {
namespace {

constexpr std::int64_t Ms = 1'000'000;

// Records the timer events it gets and runs an action inside each.
class Receiver final : public QObject {
public:
    std::vector<int> fired;
    std::function<void(int)> onEvent;

protected:
    void timerEvent(QTimerEvent* event) override {
        fired.push_back(event->timerId());
        if (onEvent) {
            onEvent(event->timerId());
        }
    }
};

class TimerListTest : public testing::Test {
protected:
    void SetUp() override { test::ensureQtApp(); }

    TimerList timers;
    Receiver receiver;
};

TEST_F(TimerListTest, ARepeatingTimerKeepsItsBeatAndCatchesUpWithoutBursts) {
    timers.add(1, 10, Qt::PreciseTimer, &receiver, 0);
    EXPECT_EQ(timers.activateDue(9 * Ms), 0);
    EXPECT_EQ(timers.nsUntilNext(9 * Ms), 1 * Ms);
    EXPECT_EQ(timers.activateDue(12 * Ms), 1);
    EXPECT_EQ(timers.nsUntilNext(12 * Ms), 8 * Ms) << "due at 20, not 22: the beat holds";
    // Far behind: one event, and the next a whole interval later, not a burst.
    EXPECT_EQ(timers.activateDue(95 * Ms), 1);
    EXPECT_EQ(timers.activateDue(95 * Ms), 0);
    EXPECT_EQ(timers.nsUntilNext(95 * Ms), 10 * Ms);
    EXPECT_EQ(receiver.fired, (std::vector<int>{1, 1}));
}

TEST_F(TimerListTest, DueTimersFireOldestFirstAndEachOncePerActivation) {
    timers.add(1, 30, Qt::PreciseTimer, &receiver, 0);
    timers.add(2, 10, Qt::PreciseTimer, &receiver, 0);
    timers.add(3, 0, Qt::PreciseTimer, &receiver, 0);
    EXPECT_EQ(timers.activateDue(40 * Ms), 3);
    EXPECT_EQ(receiver.fired, (std::vector<int>{3, 2, 1}));
    EXPECT_EQ(timers.nsUntilNext(40 * Ms), 0) << "a zero timer is always due";
}

TEST_F(TimerListTest, AHandlerMayStopItsTimerOrAnotherAndStartNewOnes) {
    timers.add(1, 5, Qt::PreciseTimer, &receiver, 0);
    timers.add(2, 5, Qt::PreciseTimer, &receiver, 0);
    receiver.onEvent = [this](int id) {
        if (id == 1) {
            timers.remove(1);  // a single shot stops itself
            timers.remove(2);  // and takes another with it
            timers.add(7, 0, Qt::PreciseTimer, &receiver, 5 * Ms);
        }
    };
    EXPECT_EQ(timers.activateDue(5 * Ms), 1) << "the removed timer is not sent";
    EXPECT_EQ(receiver.fired, (std::vector<int>{1}));
    EXPECT_EQ(timers.remainingMs(1, 5 * Ms), -1);
    EXPECT_EQ(timers.activateDue(6 * Ms), 1) << "the new one fires in a later activation";
    EXPECT_EQ(receiver.fired.back(), 7);
}

TEST_F(TimerListTest, ATimerIsNotSentAgainFromInsideItsOwnEvent) {
    timers.add(1, 0, Qt::PreciseTimer, &receiver, 0);
    int nested = -1;
    receiver.onEvent = [&](int) {
        // What a nested event loop in the handler would do.
        nested = timers.activateDue(50 * Ms);
        EXPECT_EQ(timers.nsUntilNext(50 * Ms), -1) << "a nested wait must not spin on it";
    };
    EXPECT_EQ(timers.activateDue(1 * Ms), 1);
    EXPECT_EQ(nested, 0);
    EXPECT_EQ(timers.activateDue(2 * Ms), 1) << "and is sent again once out of it";
}

TEST_F(TimerListTest, RemainingTimeRoundsUpAndVeryCoarseTimersKeepWholeSeconds) {
    timers.add(1, 10, Qt::PreciseTimer, &receiver, 0);
    EXPECT_EQ(timers.remainingMs(1, 9 * Ms + 1), 1) << "a wait that long never ends early";
    EXPECT_EQ(timers.remainingMs(1, 11 * Ms), 0);
    EXPECT_EQ(timers.remainingMs(9, 0), -1);

    timers.add(2, 1400, Qt::VeryCoarseTimer, &receiver, 0);
    EXPECT_EQ(timers.remainingMs(2, 0), 1000);
    ASSERT_EQ(timers.timersOf(&receiver).size(), 2);
    EXPECT_TRUE(timers.removeAll(&receiver));
    EXPECT_TRUE(timers.empty());
}

}  // namespace
}  // namespace corvane
