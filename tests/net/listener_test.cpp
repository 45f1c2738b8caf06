#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "NetTestSupport.h"

namespace corvane::test {
namespace {

class ListenerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(net.netStartup(), 1);
        listener = net.listenerOpen(AnyNumber, 0, NetMode::Datagram, "127.0.0.1");
        ASSERT_NE(listener, 0u);
        port = net.listenerPort(listener);
        ASSERT_NE(port, 0);
    }

    // Sends from probe and returns the ConnectionId the listener reports for it.
    ConnectionId deliver(const UdpProbe& probe, const Bytes& data) {
        EXPECT_TRUE(probe.sendTo("127.0.0.1", port, data));
        EXPECT_EQ(pollListenerForData(net, listener), NetEvent::Data);
        return net.listenerLastPeer();
    }

    PosixNetwork net;
    ListenerHandle listener = 0;
    std::uint16_t port = 0;
    UdpProbe clientA;
    UdpProbe clientB;
};

TEST_F(ListenerTest, OnePeerPerAddressAndPort) {
    const ConnectionId first = deliver(clientA, bytesOf("a1"));
    EXPECT_EQ(readAll(net, first), bytesOf("a1"));
    const ConnectionId again = deliver(clientA, bytesOf("a2"));
    EXPECT_EQ(again, first);
    EXPECT_EQ(readAll(net, again), bytesOf("a2"));

    const ConnectionId other = deliver(clientB, bytesOf("b1"));
    EXPECT_NE(other, 0u);
    EXPECT_NE(other, first);
    EXPECT_EQ(readAll(net, other), bytesOf("b1"));
    EXPECT_EQ(net.openPeerCount(), 2u);
}

TEST_F(ListenerTest, ClosedPeerIsForgottenWithItsBytes) {
    const ConnectionId old = deliver(clientA, bytesOf("old"));
    net.connClose(old);
    EXPECT_EQ(net.openPeerCount(), 0u);
    std::uint8_t byte = 0;
    EXPECT_EQ(net.connRecv(old, &byte, 1), 0);
    EXPECT_EQ(net.connSend(old, &byte, 1), -1);

    const ConnectionId fresh = deliver(clientA, bytesOf("new"));
    EXPECT_NE(fresh, 0u);
    EXPECT_EQ(net.openPeerCount(), 1u);
    EXPECT_EQ(readAll(net, fresh), bytesOf("new"));
}

TEST_F(ListenerTest, ClientBytesAreReadInPiecesAndInOrder) {
    const Bytes datagram = pattern(30, 1);
    const ConnectionId id = deliver(clientA, datagram);
    std::uint8_t buffer[10];
    Bytes got;
    for (int piece = 0; piece < 3; ++piece) {
        ASSERT_EQ(net.connRecv(id, buffer, 10), 10);
        got.insert(got.end(), buffer, buffer + 10);
    }
    EXPECT_EQ(net.connRecv(id, buffer, 10), 0);
    EXPECT_EQ(got, datagram);
}

TEST_F(ListenerTest, UnreadClientBytesAreKeptAndNewOnesAppended) {
    const ConnectionId id = deliver(clientA, bytesOf("abc"));
    std::uint8_t first = 0;
    ASSERT_EQ(net.connRecv(id, &first, 1), 1);
    EXPECT_EQ(first, 'a');
    EXPECT_EQ(deliver(clientA, bytesOf("de")), id);
    EXPECT_EQ(readAll(net, id), bytesOf("bcde"));
}

// Each client keeps its peer while its query is in flight, up to a minute
// and more, so whatever a peer keeps is multiplied by every sender on the
// network. Once its datagram is read it must keep no buffer; one that still
// has bytes unread holds them.
TEST_F(ListenerTest, ClientsWhoseDatagramsWereReadHoldNoBuffer) {
    constexpr int Clients = 64;
    std::vector<std::unique_ptr<UdpProbe>> probes;
    for (int i = 0; i < Clients; ++i) {
        probes.push_back(std::make_unique<UdpProbe>());
        const Bytes datagram = pattern(2048, static_cast<std::uint8_t>(i));
        const ConnectionId id = deliver(*probes.back(), datagram);
        ASSERT_EQ(readAll(net, id), datagram);
    }
    EXPECT_EQ(net.openPeerCount(), static_cast<std::size_t>(Clients));
    EXPECT_EQ(net.pendingCapacity(), 0u);

    const ConnectionId unread = deliver(clientA, pattern(100, 7));
    EXPECT_GE(net.pendingCapacity(), 100u);
    EXPECT_EQ(readAll(net, unread), pattern(100, 7));
    EXPECT_EQ(net.pendingCapacity(), 0u);
}

TEST_F(ListenerTest, LastPeerChangesOnlyWithAListenerEvent) {
    EXPECT_EQ(net.listenerLastPeer(), 0u);
    const ConnectionId id = deliver(clientA, bytesOf("q"));
    EXPECT_NE(id, 0u);
    EXPECT_EQ(net.listenerPoll(listener), NetEvent::None);
    EXPECT_EQ(net.listenerLastPeer(), id);
    net.connClose(id);
    EXPECT_EQ(net.listenerLastPeer(), id);
    net.listenerClose(listener);
    EXPECT_EQ(net.listenerLastPeer(), id);
}

TEST_F(ListenerTest, ReplyLeavesFromTheListenersPort) {
    const ConnectionId id = deliver(clientA, bytesOf("query"));
    const Bytes reply = bytesOf("reply");
    EXPECT_EQ(net.connSend(id, reply.data(), static_cast<std::int32_t>(reply.size())), 5);
    const auto got = clientA.receive();
    ASSERT_TRUE(got.has_value());
    EXPECT_EQ(got->bytes, reply);
    EXPECT_EQ(got->port, port);
    EXPECT_EQ(got->address, "127.0.0.1");
}

TEST_F(ListenerTest, ReplyToAVanishedClientDoesNotStopLaterReceives) {
    const ConnectionId gone = deliver(clientA, bytesOf("q1"));
    clientA.close();
    const Bytes reply = bytesOf("r1");
    // The port unreachable message this provokes must not cost a datagram.
    net.connSend(gone, reply.data(), 2);
    net.connSend(gone, reply.data(), 2);
    net.connClose(gone);

    const ConnectionId next = deliver(clientB, bytesOf("q2"));
    EXPECT_EQ(readAll(net, next), bytesOf("q2"));
    EXPECT_EQ(deliver(clientB, bytesOf("q3")), next);
    EXPECT_EQ(readAll(net, next), bytesOf("q3"));
}

TEST_F(ListenerTest, ClosingTheListenerReleasesItsPeersAndPort) {
    const ConnectionId id = deliver(clientA, bytesOf("pending"));
    net.listenerClose(listener);
    EXPECT_EQ(net.openPeerCount(), 0u);
    std::uint8_t byte = 0;
    EXPECT_EQ(net.connRecv(id, &byte, 1), 0);
    EXPECT_EQ(net.connSend(id, &byte, 1), -1);
    EXPECT_EQ(net.listenerPoll(listener), NetEvent::None);
    EXPECT_TRUE(UdpProbe("127.0.0.1", port).bound());
}

// A datagram the listener cannot hand on whole, followed by a good one from
// another client: the good one must be the first event, and the bad one must
// leave no peer behind.
class DroppedDatagramTest : public ListenerTest,
                            public ::testing::WithParamInterface<std::size_t> {};

TEST_P(DroppedDatagramTest, LeavesNoEventAndNoPeer) {
    ASSERT_TRUE(clientA.sendTo("127.0.0.1", port, pattern(GetParam(), 3)));
    const Bytes whole = pattern(2048, 9);
    const ConnectionId id = deliver(clientB, whole);

    std::uint8_t buffer[2048];
    ASSERT_EQ(net.connRecv(id, buffer, 2048), 2048);
    EXPECT_EQ(Bytes(buffer, buffer + 2048), whole);
    EXPECT_EQ(net.connRecv(id, buffer, 2048), 0);
    EXPECT_EQ(net.openPeerCount(), 1u);
    EXPECT_EQ(net.listenerPoll(listener), NetEvent::None);
}

INSTANTIATE_TEST_SUITE_P(EmptyAndOversized, DroppedDatagramTest,
                         ::testing::Values(0, 2049, 4096, 65507));

}  // namespace
}  // namespace corvane::test
