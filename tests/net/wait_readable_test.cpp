#include <gtest/gtest.h>

#include "BlockingCall.h"
#include "ListenerAndLinkFixture.h"

// Each wait here has a time-out far beyond the test's own: a wait that ignored
// readiness would hang until the test runner gives up, and fail there. So a
// wait that returns was ended by readiness, never by its time-out.
namespace corvane::test {
namespace {

class WaitReadableTest : public ListenerAndLinkFixture {
protected:
    // A datagram for the listener (from a client) or for the link (from the
    // resolver).
    bool sendTo(bool toListener) { return toListener ? sendToListener() : sendToLink(); }
};

TEST_F(WaitReadableTest, EndsWhenTheListenerHasADatagram) {
    ASSERT_TRUE(sendToListener());
    net.waitReady(Forever);
    EXPECT_EQ(net.listenerPoll(listener), NetEvent::Data);
    EXPECT_EQ(net.linkPoll(link), NetEvent::None);
}

TEST_F(WaitReadableTest, EndsWhenTheLinkHasADatagram) {
    ASSERT_TRUE(sendToLink());
    net.waitReady(Forever);
    EXPECT_EQ(net.linkPoll(link), NetEvent::Data);
    EXPECT_EQ(net.listenerPoll(listener), NetEvent::None);
}

class WakesDuringTheWait : public WaitReadableTest, public ::testing::WithParamInterface<bool> {};

// The datagram is sent only once the kernel has the wait asleep: a wait that
// returned early, or polled only once, cannot pass.
TEST_P(WakesDuringTheWait, ForADatagramArrivingWhileItSleeps) {
    const bool toListener = GetParam();
    BlockingCall wait([&] { net.waitReady(Forever); });
    ASSERT_TRUE(wait.sleepsInAWait()) << "the wait returned with nothing to read";
    ASSERT_TRUE(sendTo(toListener));
    wait.join();
    EXPECT_EQ(net.listenerPoll(listener), toListener ? NetEvent::Data : NetEvent::None);
    EXPECT_EQ(net.linkPoll(link), toListener ? NetEvent::None : NetEvent::Data);
}

INSTANTIATE_TEST_SUITE_P(Endpoints, WakesDuringTheWait, ::testing::Values(true, false),
                         [](const auto& param) { return param.param ? "Listener" : "Link"; });

// With nothing to read only the time-out ends the wait, and a negative one
// (which poll would take as for ever) must end it before it ever sleeps,
// with the sockets and without any.
TEST_F(WaitReadableTest, NegativeTimeoutIsNoWaitAtAll) {
    {
        BlockingCall wait([&] { net.waitReady(-1); });
        EXPECT_FALSE(wait.sleepsInAWait()) << "slept with both sockets";
    }
    PosixNetwork empty;
    ASSERT_EQ(empty.netStartup(), 1);
    BlockingCall wait([&] { empty.waitReady(-1); });
    EXPECT_FALSE(wait.sleepsInAWait()) << "slept with no socket at all";
}

}  // namespace
}  // namespace corvane::test
