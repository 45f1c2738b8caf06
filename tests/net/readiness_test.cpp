// Polls act on what the layer's last look at its sockets found. These cases
// attack that record: it must never hide a datagram for longer than one
// wait, never stop short of what is queued, and never let a loop that is
// too busy to wait lose sight of its other sockets.
#include <poll.h>

#include <gtest/gtest.h>

#include "ListenerAndLinkFixture.h"

namespace corvane::test {
namespace {

class ReadinessTest : public ListenerAndLinkFixture {
protected:
    // Reads what the last Data event left, so the next poll starts clean.
    void drain(ConnectionId id) { readAll(net, id); }
};

TEST_F(ReadinessTest, PollsAfterOneLookReadEveryQueuedDatagramAndThenNothing) {
    constexpr int Queued = 5;
    for (int i = 0; i < Queued; ++i) {
        ASSERT_TRUE(sendToListener());
    }
    net.waitReady(Forever);
    for (int i = 0; i < Queued; ++i) {
        ASSERT_EQ(net.listenerPoll(listener), NetEvent::Data) << "datagram " << i;
        drain(net.listenerLastPeer());
    }
    EXPECT_EQ(net.listenerPoll(listener), NetEvent::None);
    EXPECT_EQ(net.listenerPoll(listener), NetEvent::None);
}

// How the loop waits: in the layer, or elsewhere on the layer's descriptor
// (the window's wait).
enum class WaitKind { InTheLayer, OnTheDescriptor };

class SeenWithinOneWait : public ReadinessTest, public ::testing::WithParamInterface<WaitKind> {
protected:
    void waitOnce() {
        if (GetParam() == WaitKind::InTheLayer) {
            net.waitReady(Forever);
            return;
        }
        const IdleWait wait = net.prepareIdleWait();
        if (!wait.eventDue) {
            pollfd entry{wait.descriptor, POLLIN, 0};
            ASSERT_EQ(::poll(&entry, 1, Forever), 1);
        }
    }
};

TEST_P(SeenWithinOneWait, ADatagramThatCameAfterTheLookFoundNothing) {
    net.waitReady(0);
    EXPECT_EQ(net.listenerPoll(listener), NetEvent::None);
    EXPECT_EQ(net.linkPoll(link), NetEvent::None);
    // The record says "nothing" for both; polls may go on saying so, but
    // the next wait must not sleep past the datagrams, nor the polls after
    // it miss them.
    ASSERT_TRUE(sendToListener());
    ASSERT_TRUE(sendToLink());
    waitOnce();
    EXPECT_EQ(net.listenerPoll(listener), NetEvent::Data);
    EXPECT_EQ(net.linkPoll(link), NetEvent::Data);
}

INSTANTIATE_TEST_SUITE_P(Waits, SeenWithinOneWait,
                         ::testing::Values(WaitKind::InTheLayer, WaitKind::OnTheDescriptor),
                         [](const auto& param) {
                             return param.param == WaitKind::InTheLayer ? "InTheLayer"
                                                                        : "OnTheDescriptor";
                         });

// A flood on one socket keeps every turn busy, so the loop never waits and
// never looks again on that account: the record of the others must still
// be renewed within a bounded number of polls.
TEST_F(ReadinessTest, ALoopThatNeverWaitsStillSeesTheLinkAndATcpClient) {
    const ListenerHandle tcp = net.listenerOpen(AnyNumber, 0, NetMode::Stream, "127.0.0.1");
    ASSERT_NE(tcp, 0u);
    net.waitReady(0);
    ASSERT_TRUE(sendToLink());
    TcpProbe tcpClient = TcpProbe::connectTo(net.listenerPort(tcp));
    ASSERT_TRUE(tcpClient.connected());

    bool linkSeen = false;
    bool clientSeen = false;
    // Three polls a turn: the bound on polls answered from one look gives
    // the bound on turns.
    for (int turn = 0; turn < PosixNetwork::StaleAfterDryPolls && !(linkSeen && clientSeen);
         ++turn) {
        ASSERT_TRUE(sendToListener());
        if (net.listenerPoll(listener) == NetEvent::Data) {
            drain(net.listenerLastPeer());
        }
        linkSeen = linkSeen || net.linkPoll(link) == NetEvent::Data;
        clientSeen = clientSeen || net.listenerPoll(tcp) == NetEvent::Connect;
    }
    EXPECT_TRUE(linkSeen);
    EXPECT_TRUE(clientSeen);
}

}  // namespace
}  // namespace corvane::test
