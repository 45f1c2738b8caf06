#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "NetTestSupport.h"

// Each wait here has a time-out far beyond the test's own: a wait that ignored
// readiness would hang until the test runner gives up, and fail there.
namespace corvane::test {
namespace {

constexpr std::int32_t Forever = 600'000;

class WaitReadableTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(net.netStartup(), 1);
        listener = net.listenerOpen(AnyNumber, 0, NetMode::Datagram, "127.0.0.1");
        ASSERT_NE(listener, 0u);
        ASSERT_TRUE(resolver.bound());
        link = net.linkOpen("127.0.0.1", resolver.port(), NetMode::Datagram, 30);
        ASSERT_NE(link, 0u);
        const Bytes query = bytesOf("q");
        ASSERT_EQ(net.connSend(link, query.data(), 1), 1);
        ASSERT_TRUE(resolver.receive().has_value());
    }

    PosixNetwork net;
    ListenerHandle listener = 0;
    UdpProbe resolver;
    UdpProbe client;
    ConnectionId link = 0;
};

TEST_F(WaitReadableTest, EndsWhenTheListenerHasADatagram) {
    ASSERT_TRUE(client.sendTo("127.0.0.1", net.listenerPort(listener), bytesOf("q")));
    net.waitReady(Forever);
    EXPECT_EQ(net.listenerPoll(listener), NetEvent::Data);
    EXPECT_EQ(net.linkPoll(link), NetEvent::None);
}

TEST_F(WaitReadableTest, EndsWhenTheLinkHasADatagram) {
    ASSERT_TRUE(resolver.sendTo("127.0.0.1", net.linkLocalPort(link), bytesOf("a")));
    net.waitReady(Forever);
    EXPECT_EQ(net.linkPoll(link), NetEvent::Data);
    EXPECT_EQ(net.listenerPoll(listener), NetEvent::None);
}

TEST_F(WaitReadableTest, WakesForADatagramArrivingDuringTheWait) {
    const std::uint16_t port = net.listenerPort(listener);
    std::thread sender([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        client.sendTo("127.0.0.1", port, bytesOf("late"));
    });
    net.waitReady(Forever);
    sender.join();
    EXPECT_EQ(net.listenerPoll(listener), NetEvent::Data);
}

TEST_F(WaitReadableTest, NegativeTimeoutIsNoWaitAtAll) {
    net.waitReady(-1);
    EXPECT_EQ(net.listenerPoll(listener), NetEvent::None);
}

}  // namespace
}  // namespace corvane::test
