#include <gtest/gtest.h>

#include "NetTestSupport.h"

namespace corvane::test {
namespace {

class LinkTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(net.netStartup(), 1);
        ASSERT_TRUE(resolver.bound());
        link = net.linkOpen("127.0.0.1", resolver.port(), NetMode::Datagram, 30);
        ASSERT_NE(link, 0u);
    }

    // Sends a query on the link and returns the port it left from, as the
    // resolver saw it.
    std::uint16_t sendQuery(const Bytes& query) {
        EXPECT_EQ(net.connSend(link, query.data(), static_cast<std::int32_t>(query.size())),
                  static_cast<std::int32_t>(query.size()));
        const auto got = resolver.receive();
        EXPECT_TRUE(got.has_value());
        if (!got) {
            return 0;
        }
        EXPECT_EQ(got->bytes, query);
        return got->port;
    }

    PosixNetwork net;
    UdpProbe resolver;
    ConnectionId link = 0;
};

TEST_F(LinkTest, SilentAndUnboundUntilTheFirstSend) {
    EXPECT_EQ(net.linkLocalPort(link), 0);
    for (int poll = 0; poll < 3; ++poll) {
        EXPECT_EQ(net.linkPoll(link), NetEvent::None);
    }
    EXPECT_FALSE(resolver.receive(0).has_value());
}

TEST_F(LinkTest, AnswerToAQueryIsOneWholeDatagram) {
    const std::uint16_t linkPort = sendQuery(bytesOf("query"));
    EXPECT_EQ(linkPort, net.linkLocalPort(link));
    const Bytes answer = pattern(2048, 5);
    ASSERT_TRUE(resolver.sendTo("127.0.0.1", linkPort, answer));
    ASSERT_EQ(pollLinkForData(net, link), NetEvent::Data);
    std::uint8_t buffer[2048];
    ASSERT_EQ(net.connRecv(link, buffer, 2048), 2048);
    EXPECT_EQ(Bytes(buffer, buffer + 2048), answer);
    EXPECT_EQ(net.connRecv(link, buffer, 2048), 0);
    EXPECT_EQ(net.linkPoll(link), NetEvent::None);
}

TEST_F(LinkTest, EachWaitingAnswerIsItsOwnEventAndAnUnreadOneIsReplaced) {
    const std::uint16_t linkPort = sendQuery(bytesOf("q"));
    for (const char* text : {"one", "two", "three", "four"}) {
        ASSERT_TRUE(resolver.sendTo("127.0.0.1", linkPort, bytesOf(text)));
    }
    ASSERT_EQ(pollLinkForData(net, link), NetEvent::Data);
    EXPECT_EQ(readAll(net, link), bytesOf("one"));
    ASSERT_EQ(pollLinkForData(net, link), NetEvent::Data);
    EXPECT_EQ(readAll(net, link), bytesOf("two"));
    // Unlike a client peer, the link keeps one datagram only.
    ASSERT_EQ(pollLinkForData(net, link), NetEvent::Data);
    ASSERT_EQ(pollLinkForData(net, link), NetEvent::Data);
    EXPECT_EQ(readAll(net, link), bytesOf("four"));
}

TEST_F(LinkTest, OversizedAnswerKeepsItsFirstBytesAndTellsItsLength) {
    const std::uint16_t linkPort = sendQuery(bytesOf("q"));
    const Bytes oversized = pattern(3000, 1);
    ASSERT_TRUE(resolver.sendTo("127.0.0.1", linkPort, oversized));
    ASSERT_TRUE(resolver.sendTo("127.0.0.1", linkPort, bytesOf("fits")));
    ASSERT_EQ(pollLinkForData(net, link), NetEvent::Data);
    EXPECT_EQ(readAll(net, link), Bytes(oversized.begin(), oversized.begin() + 2048));
    EXPECT_EQ(net.linkLastLength(link), 3000);
    ASSERT_EQ(pollLinkForData(net, link), NetEvent::Data);
    EXPECT_EQ(readAll(net, link), bytesOf("fits"));
    EXPECT_EQ(net.linkLastLength(link), 4);
}

TEST_F(LinkTest, AnswerFromAnotherPortIsDroppedAndNeverClobbersAPendingOne) {
    const std::uint16_t linkPort = sendQuery(bytesOf("q"));
    UdpProbe forger;
    ASSERT_TRUE(forger.bound());

    ASSERT_TRUE(forger.sendTo("127.0.0.1", linkPort, bytesOf("forged")));
    ASSERT_TRUE(resolver.sendTo("127.0.0.1", linkPort, bytesOf("genuine")));
    ASSERT_EQ(pollLinkForData(net, link), NetEvent::Data);
    EXPECT_EQ(readAll(net, link), bytesOf("genuine"));

    ASSERT_TRUE(resolver.sendTo("127.0.0.1", linkPort, bytesOf("held")));
    ASSERT_EQ(pollLinkForData(net, link), NetEvent::Data);
    ASSERT_TRUE(forger.sendTo("127.0.0.1", linkPort, bytesOf("forged")));
    // Readable means the forged datagram is there; this poll must drop it.
    net.waitReady(2000);
    EXPECT_EQ(net.linkPoll(link), NetEvent::None);
    EXPECT_EQ(readAll(net, link), bytesOf("held"));
}

TEST_F(LinkTest, RefusedQueryDoesNotBreakTheLink) {
    UdpProbe gone;
    const std::uint16_t closedPort = gone.port();
    gone.close();
    const ConnectionId refused = net.linkOpen("127.0.0.1", closedPort, NetMode::Datagram, 30);
    ASSERT_NE(refused, 0u);
    const Bytes query = bytesOf("q");
    net.connSend(refused, query.data(), 1);
    EXPECT_EQ(net.linkPoll(refused), NetEvent::None);
    net.connSend(refused, query.data(), 1);

    UdpProbe revived("127.0.0.1", closedPort);
    if (!revived.bound()) {
        GTEST_SKIP() << "port taken in between by another program";
    }
    ASSERT_TRUE(revived.sendTo("127.0.0.1", net.linkLocalPort(refused), bytesOf("late")));
    ASSERT_EQ(pollLinkForData(net, refused), NetEvent::Data);
    EXPECT_EQ(readAll(net, refused), bytesOf("late"));
    net.connClose(refused);
}

TEST_F(LinkTest, LinkEventsLeaveTheLastListenerPeerAlone) {
    const ListenerHandle listener = net.listenerOpen(AnyNumber, 0, NetMode::Datagram, "127.0.0.1");
    ASSERT_NE(listener, 0u);
    UdpProbe client;
    ASSERT_TRUE(client.sendTo("127.0.0.1", net.listenerPort(listener), bytesOf("q")));
    ASSERT_EQ(pollListenerForData(net, listener), NetEvent::Data);
    const ConnectionId clientId = net.listenerLastPeer();
    EXPECT_NE(clientId, link);

    const std::uint16_t linkPort = sendQuery(bytesOf("q"));
    ASSERT_TRUE(resolver.sendTo("127.0.0.1", linkPort, bytesOf("a")));
    ASSERT_EQ(pollLinkForData(net, link), NetEvent::Data);
    EXPECT_EQ(net.listenerLastPeer(), clientId);
    // A client's id is no link: polling it as one finds nothing.
    EXPECT_EQ(net.linkPoll(clientId), NetEvent::None);
}

TEST_F(LinkTest, ClosedLinkIsGone) {
    sendQuery(bytesOf("q"));
    net.connClose(link);
    EXPECT_EQ(net.openPeerCount(), 0u);
    const Bytes query = bytesOf("q");
    EXPECT_EQ(net.connSend(link, query.data(), 1), -1);
    EXPECT_EQ(net.linkPoll(link), NetEvent::None);
    EXPECT_EQ(net.linkLocalPort(link), 0);
}

}  // namespace
}  // namespace corvane::test
