// The layer's TCP side on 127.0.0.1: accepting, the events of a connection,
// output that the socket does not take at once, its bound, the upstream link's
// connect, and the idle wait waking for stream sockets.
#include <poll.h>

#include <gtest/gtest.h>

#include <set>
#include <vector>

#include "NetTestSupport.h"

namespace corvane::test {
namespace {

// A wait that ignores a ready socket hangs until the test runner gives up.
constexpr std::int32_t Forever = 600'000;

class StreamTest : public ::testing::Test {
protected:
    explicit StreamTest(std::size_t outputLimit = PosixNetwork::DefaultStreamOutputLimit)
        : net(outputLimit) {}

    void SetUp() override {
        ASSERT_EQ(net.netStartup(), 1);
        listener = net.listenerOpen(AnyNumber, 0, NetMode::Stream, "127.0.0.1");
        ASSERT_NE(listener, 0u);
    }

    // A connected client and the peer the listener accepted for it.
    ConnectionId accept(TcpProbe& client, int receiveBuffer = 0) {
        client = TcpProbe::connectTo(net.listenerPort(listener), receiveBuffer);
        EXPECT_TRUE(client.connected());
        EXPECT_EQ(nextListenerEvent(net, listener), NetEvent::Connect);
        return net.listenerLastPeer();
    }

    // Sends chunks to a client that does not read until some of them wait in
    // the layer's queue (bounded: the system buffers far less than this).
    // Returns every byte taken, in order.
    Bytes overfill(ConnectionId peer) {
        Bytes taken;
        for (std::uint8_t seed = 0; seed < 255 && net.connPendingOutput(peer) == 0; ++seed) {
            const Bytes chunk = pattern(65536, seed);
            EXPECT_EQ(net.connSend(peer, chunk.data(), 65536), 65536);
            taken.insert(taken.end(), chunk.begin(), chunk.end());
        }
        EXPECT_GT(net.connPendingOutput(peer), 0);
        return taken;
    }

    PosixNetwork net;
    ListenerHandle listener = 0;
};

TEST_F(StreamTest, EndOfInputComesAfterTheBytesAndTheClientStillTakesAnswersUntilItIsGone) {
    TcpProbe client;
    const ConnectionId peer = accept(client);
    ASSERT_NE(peer, 0u);
    ASSERT_TRUE(client.send(bytesOf("hello")));
    client.shutdownSending();

    // The bytes sent before the end come first, then the news of the end.
    ASSERT_EQ(nextListenerEvent(net, listener), NetEvent::Data);
    EXPECT_EQ(net.listenerLastPeer(), peer);
    EXPECT_EQ(readAll(net, peer), bytesOf("hello"));
    ASSERT_EQ(nextListenerEvent(net, listener), NetEvent::EndOfInput);
    EXPECT_EQ(net.listenerLastPeer(), peer);
    // A socket at its end of stream is readable for ever: watched for input,
    // it would end every idle wait at once.
    const IdleWait wait = net.prepareIdleWait();
    EXPECT_FALSE(wait.eventDue);
    pollfd entry{wait.descriptor, POLLIN, 0};
    EXPECT_EQ(::poll(&entry, 1, 100), 0) << "the ended input still wakes the wait";

    const Bytes answer = bytesOf("answer");
    ASSERT_EQ(net.connSend(peer, answer.data(), 6), 6);
    EXPECT_EQ(client.receive(6), answer);

    // Gone altogether, the client answers the next bytes with a reset.
    client.close();
    ASSERT_EQ(net.connSend(peer, answer.data(), 6), 6);
    ASSERT_EQ(nextListenerEvent(net, listener), NetEvent::Disconnect);
    EXPECT_EQ(net.listenerLastPeer(), peer);
    EXPECT_EQ(net.connSend(peer, answer.data(), 6), -1);
    for (int poll = 0; poll < 3; ++poll) {
        EXPECT_EQ(net.listenerPoll(listener), NetEvent::None) << "Disconnect is reported once";
    }
    net.connClose(peer);
    EXPECT_EQ(net.openPeerCount(), 0u);
}

TEST_F(StreamTest, EveryReadyConnectionIsServedBeforeAnyIsServedTwice) {
    constexpr int Connections = 64;
    std::vector<TcpProbe> clients(Connections);
    std::set<ConnectionId> peers;
    for (TcpProbe& client : clients) {
        peers.insert(accept(client));
    }
    for (const TcpProbe& client : clients) {
        ASSERT_TRUE(client.send(bytesOf("q")));
    }
    ASSERT_EQ(peers.size(), static_cast<std::size_t>(Connections));
    // Nothing is read, so every connection stays ready: two rounds, each
    // naming every peer exactly once.
    for (int round = 0; round < 2; ++round) {
        std::set<ConnectionId> served;
        for (int i = 0; i < Connections; ++i) {
            ASSERT_EQ(nextListenerEvent(net, listener), NetEvent::Data);
            served.insert(net.listenerLastPeer());
        }
        EXPECT_EQ(served, peers) << "round " << round;
    }
}

TEST_F(StreamTest, WriteThatStopsPartWayCarriesOnInLaterPolls) {
    TcpProbe client;
    const ConnectionId peer = accept(client, 4096);
    const Bytes answer = overfill(peer);

    Bytes received;
    for (int round = 0; round < 2000 && received.size() < answer.size(); ++round) {
        const Bytes now = client.receive(answer.size() - received.size(), 10);
        received.insert(received.end(), now.begin(), now.end());
        net.listenerPoll(listener);
    }
    EXPECT_EQ(received, answer);
    EXPECT_EQ(net.connPendingOutput(peer), 0);
}

// Every event the listener reports within ms, polled as the loop would.
std::vector<NetEvent> eventsWithin(PosixNetwork& net, ListenerHandle listener, int ms) {
    std::vector<NetEvent> events;
    for (int waited = 0; waited < ms; waited += 50) {
        for (NetEvent event = net.listenerPoll(listener); event != NetEvent::None;
             event = net.listenerPoll(listener)) {
            events.push_back(event);
        }
        net.waitReady(50);
    }
    return events;
}

// Connections waiting while the process has no descriptor for them: one
// report for the whole shortage, however many descriptors come free one at a
// time during it, and a new report for a new shortage once the backlog was
// found empty.
TEST_F(StreamTest, AShortageOfDescriptorsIsReportedOncePerEpisode) {
    TcpProbe first;
    const ConnectionId held = accept(first);
    std::vector<TcpProbe> waiting;
    for (int i = 0; i < 3; ++i) {
        waiting.push_back(TcpProbe::connectTo(net.listenerPort(listener)));
        ASSERT_TRUE(waiting.back().connected());
    }
    DescriptorShortage shortage;
    ASSERT_TRUE(shortage.inEffect());
    EXPECT_EQ(nextListenerEvent(net, listener), NetEvent::AcceptFailed);

    // Closing a connection frees one descriptor: the next client is taken,
    // the one behind it fails again, and the listener rests in silence
    // through more than one rest.
    net.connClose(held);
    const auto withOneFree = eventsWithin(net, listener, 3 * StreamEndpoints::AcceptRestMs);
    EXPECT_EQ(withOneFree, std::vector<NetEvent>{NetEvent::Connect});

    // Descriptors back: the two still waiting are taken, and the backlog
    // is found empty.
    shortage.release();
    const auto recovered = eventsWithin(net, listener, 3 * StreamEndpoints::AcceptRestMs);
    EXPECT_EQ(recovered, (std::vector<NetEvent>{NetEvent::Connect, NetEvent::Connect}));

    TcpProbe late = TcpProbe::connectTo(net.listenerPort(listener));
    ASSERT_TRUE(late.connected());
    DescriptorShortage again;
    ASSERT_TRUE(again.inEffect());
    EXPECT_EQ(nextListenerEvent(net, listener), NetEvent::AcceptFailed)
        << "a new shortage is not reported";
}

class BoundedStreamTest : public StreamTest {
protected:
    static constexpr std::size_t Limit = 65536;
    BoundedStreamTest() : StreamTest(Limit) {}
};

TEST_F(BoundedStreamTest, OutputPastTheBoundIsRefusedWhole) {
    TcpProbe client;
    const ConnectionId peer = accept(client, 4096);
    const Bytes chunk = pattern(10'000, 9);
    const auto length = static_cast<std::int32_t>(chunk.size());
    int taken = 0;
    // The system's buffers fill first, then the queue; bounded either way.
    while (taken < 1000 && net.connSend(peer, chunk.data(), length) == length) {
        ++taken;
    }
    ASSERT_LT(taken, 1000) << "the queue was never bounded";
    const std::int32_t pending = net.connPendingOutput(peer);
    EXPECT_LE(static_cast<std::size_t>(pending), Limit);
    EXPECT_GT(static_cast<std::size_t>(pending + length), Limit);
    // A refused send leaves nothing of itself behind, and what fits is taken.
    EXPECT_EQ(net.connSend(peer, chunk.data(), length), -1);
    EXPECT_EQ(net.connPendingOutput(peer), pending);
    EXPECT_EQ(net.connSend(peer, chunk.data(), 1), 1);
}

// The shared upstream connection carries every TCP client's queries: a
// length queued without its message would make every later message on it
// unreadable.
TEST_F(BoundedStreamTest, ALengthIsQueuedWithItsMessageOrNotAtAll) {
    TcpProbe client;
    const ConnectionId peer = accept(client, 4096);
    Bytes expected;
    // Small pieces until the system takes no more, so the queue is nearly empty.
    for (int piece = 0; piece < 20'000 && net.connPendingOutput(peer) == 0; ++piece) {
        const Bytes chunk = pattern(1000, static_cast<std::uint8_t>(piece));
        ASSERT_EQ(net.connSend(peer, chunk.data(), 1000), 1000);
        expected.insert(expected.end(), chunk.begin(), chunk.end());
    }
    const std::int32_t pending = net.connPendingOutput(peer);
    ASSERT_GT(pending, 0);
    const std::size_t room = Limit - static_cast<std::size_t>(pending);
    const Bytes length{0xAB, 0xCD};

    const Bytes tooLong = pattern(room - 1, 1);  // the length alone would fit
    EXPECT_EQ(net.connSendParts(peer, length, tooLong), -1);
    EXPECT_EQ(net.connPendingOutput(peer), pending);
    const Bytes fits = pattern(room - 2, 2);
    EXPECT_EQ(net.connSendParts(peer, length, fits), static_cast<std::int32_t>(room));
    expected.insert(expected.end(), length.begin(), length.end());
    expected.insert(expected.end(), fits.begin(), fits.end());

    Bytes received;
    for (int round = 0; round < 2000 && received.size() < expected.size(); ++round) {
        const Bytes now = client.receive(expected.size() - received.size(), 10);
        received.insert(received.end(), now.begin(), now.end());
        net.listenerPoll(listener);
    }
    EXPECT_EQ(received, expected);
}

TEST_F(StreamTest, LinkConnectsWithoutWaitingAndSendsWhatWasQueued) {
    TcpServer upstream;
    ASSERT_NE(upstream.port(), 0);
    const ConnectionId link = net.linkOpen("127.0.0.1", upstream.port(), NetMode::Stream, 30);
    ASSERT_NE(link, 0u);
    const Bytes query = bytesOf("query");
    ASSERT_EQ(net.connSend(link, query.data(), 5), 5);

    ASSERT_EQ(nextLinkEvent(net, link), NetEvent::Connect);
    TcpProbe server = upstream.accept();
    ASSERT_TRUE(server.connected());
    EXPECT_EQ(server.receive(5), query);

    ASSERT_TRUE(server.send(bytesOf("answer")));
    ASSERT_EQ(nextLinkEvent(net, link), NetEvent::Data);
    EXPECT_EQ(readAll(net, link), bytesOf("answer"));
    server.close();
    EXPECT_EQ(nextLinkEvent(net, link), NetEvent::Disconnect);
    net.connClose(link);
}

TEST_F(StreamTest, RefusedLinkReportsDisconnectAndRefusesSends) {
    std::uint16_t closedPort = 0;
    {
        TcpServer gone;
        closedPort = gone.port();
    }
    const ConnectionId link = net.linkOpen("127.0.0.1", closedPort, NetMode::Stream, 30);
    ASSERT_NE(link, 0u);
    EXPECT_EQ(nextLinkEvent(net, link), NetEvent::Disconnect);
    const Bytes query = bytesOf("q");
    EXPECT_EQ(net.connSend(link, query.data(), 1), -1);
    EXPECT_EQ(net.linkPoll(link), NetEvent::None);
    net.connClose(link);
    EXPECT_EQ(net.openPeerCount(), 0u);
}

// Each case leaves one stream socket ready and nothing else; the wait must
// return for it, and the poll then finds the event.
TEST_F(StreamTest, IdleWaitWakesForAWaitingConnection) {
    TcpProbe client = TcpProbe::connectTo(net.listenerPort(listener));
    ASSERT_TRUE(client.connected());
    net.waitReady(Forever);
    EXPECT_EQ(net.listenerPoll(listener), NetEvent::Connect);
}

TEST_F(StreamTest, IdleWaitWakesForBytesOnAConnection) {
    TcpProbe client;
    const ConnectionId peer = accept(client);
    ASSERT_TRUE(client.send(bytesOf("q")));
    net.waitReady(Forever);
    EXPECT_EQ(net.listenerPoll(listener), NetEvent::Data);
    EXPECT_EQ(net.listenerLastPeer(), peer);
}

TEST_F(StreamTest, IdleWaitWakesForALinksConnect) {
    TcpServer upstream;
    const ConnectionId link = net.linkOpen("127.0.0.1", upstream.port(), NetMode::Stream, 30);
    ASSERT_NE(link, 0u);
    net.waitReady(Forever);
    EXPECT_EQ(net.linkPoll(link), NetEvent::Connect);
}

TEST_F(StreamTest, IdleWaitWakesWhenQueuedOutputCanGo) {
    TcpProbe client;
    const ConnectionId peer = accept(client, 4096);
    const Bytes answer = overfill(peer);
    // The client takes everything the system holds for it; the queue can
    // then move, and the wait must see that.
    const std::int32_t before = net.connPendingOutput(peer);
    client.receive(answer.size() - static_cast<std::size_t>(before), 200);
    net.waitReady(Forever);
    EXPECT_EQ(net.listenerPoll(listener), NetEvent::None);
    EXPECT_LT(net.connPendingOutput(peer), before);
}

}  // namespace
}  // namespace corvane::test
