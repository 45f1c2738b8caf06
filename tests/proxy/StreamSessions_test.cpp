// DNS over TCP through the proxy engine: framing on both sides, pipelining,
// the source of answers, the loss of the upstream connection, and the bounds
// that keep clients from holding the loop. Fake network and clock.
#include "proxy/StreamSessions.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "StreamFakes.h"
#include "proxy/AnswerPath.h"
#include "proxy/KeyText.h"
#include "proxy/StreamUpstream.h"
#include "tests/support/TestSeed.h"

namespace corvane::test {
namespace {

constexpr ConnectionId Client = 7;

struct StreamBench : ::testing::Test {
    StreamNetwork net;
    FakeLog log;
    FakeClock clock;
    StreamSessions sessions{clock};
    StreamUpstream upstream;
    QueriesInFlight q{testSeed()};
    ProxyServices services{net, log, clock, nullptr, &sessions};

    void SetUp() override {
        sessions.setListener(StreamNetwork::Tcp);
        upstream.setAddress("127.0.0.1", 53);
    }
    // One turn's worth of TCP work, as the loop does it.
    void turn() {
        sessions.step(q, upstream, services);
        upstream.step(q, services);
        sessions.sweep(q, services);
    }
    void connect(ConnectionId client) {
        net.listenerEvents.push_back({NetEvent::Connect, client});
        turn();
    }
    void send(ConnectionId client, const Bytes& bytes) {
        append(net.input[client], bytes);
        net.listenerEvents.push_back({NetEvent::Data, client});
        turn();
    }
    static Bytes ask(std::uint8_t id0, std::uint8_t id1) {
        return message(id0, id1, 1, questions({"a.example"}));
    }
    // The queries that went up the current link, in order.
    std::vector<Bytes> sentUpstream() { return unframed(net.output[net.lastLink]); }
    // The upstream's answer of length bytes to forwarded: the query with QR
    // set, then records.
    static Bytes answer(const Bytes& forwarded, std::size_t length) {
        Bytes out = forwarded;
        out[2] |= 0x80;
        out.resize(length, 0xA5);
        return out;
    }
    void answerFromUpstream(const Bytes& bytes) {
        append(net.input[net.lastLink], bytes);
        net.linkEvents.push_back(NetEvent::Data);
        turn();
    }
};

TEST_F(StreamBench, PipelinedQueriesGoUpFramedAndTheirAnswersComeBackInArrivalOrder) {
    connect(Client);
    // Two queries in one read, the second split from the third byte on.
    Bytes both = framed(ask(0x11, 0x11));
    append(both, framed(ask(0x22, 0x22)));
    send(Client, Bytes(both.begin(), both.end() - 9));
    send(Client, Bytes(both.end() - 9, both.end()));

    // Each under a number of its own, and otherwise as the client sent it.
    const std::vector<Bytes> up = sentUpstream();
    ASSERT_EQ(up.size(), 2u);
    EXPECT_NE(Bytes(up[0].begin(), up[0].begin() + 2), Bytes(up[1].begin(), up[1].begin() + 2));
    const Bytes asked = ask(0, 0);
    for (const Bytes& query : up) {
        EXPECT_EQ(Bytes(query.begin() + 2, query.end()), Bytes(asked.begin() + 2, asked.end()));
    }

    // The second answer first, and the first one split across two reads.
    Bytes answers = framed(answer(up[1], 40));
    append(answers, framed(answer(up[0], 300)));
    answerFromUpstream(Bytes(answers.begin(), answers.end() - 100));
    answerFromUpstream(Bytes(answers.end() - 100, answers.end()));

    Bytes second = answer(up[1], 40);
    second[0] = second[1] = 0x22;
    Bytes first = answer(up[0], 300);
    first[0] = first[1] = 0x11;
    Bytes expectedDown = framed(second);
    append(expectedDown, framed(first));
    EXPECT_EQ(net.output[Client], expectedDown);
    ASSERT_EQ(log.lines.size(), 4u);
    EXPECT_EQ(log.utf8Lines()[2], "A  [2222] = 40b");
    EXPECT_EQ(log.utf8Lines()[3], "A  [1111] = 300b");
    EXPECT_EQ(q.pendingQueries.size(), 0u);
    EXPECT_EQ(q.clientRefs.size(), 0u);
    // Answered and idle again, but not closed: its session decides that.
    EXPECT_FALSE(net.closedIds.contains(Client));
}

TEST_F(StreamBench, AQueryForwardedOverTcpIsAnsweredOnlyByItsOwnLink) {
    connect(Client);
    send(Client, framed(ask(0x11, 0x11)));
    // A UDP datagram with the same number is not its answer...
    Bytes datagram = answer(sentUpstream().at(0), 30);
    handleAnswer(q, datagram.data(), static_cast<std::int32_t>(datagram.size()), services);
    // ...nor is a message on another TCP link.
    Bytes other = answer(sentUpstream().at(0), 30);
    handleStreamAnswer(q, other.data(), 30, net.lastLink + 1, services);
    EXPECT_TRUE(net.output[Client].empty());
    EXPECT_EQ(q.pendingQueries.size(), 1u);
}

// On the upstream connection nothing can be forged, and the upstream answers
// each query once: an answer that does not carry the question asked ends the
// query, with no relay and no log line, and leaves the others alone.
TEST_F(StreamBench, AnAnswerForAnotherQuestionRetiresItsQueryAlone) {
    connect(Client);
    send(Client, framed(ask(0x11, 0x11)));
    send(Client, framed(ask(0x22, 0x22)));
    const std::vector<Bytes> up = sentUpstream();
    ASSERT_EQ(up.size(), 2u);
    Bytes wrong = answer(up[0], 40);
    wrong[13] = 'b';  // b.example
    answerFromUpstream(framed(wrong));
    EXPECT_TRUE(net.output[Client].empty());
    EXPECT_EQ(log.lines.size(), 2u);
    EXPECT_EQ(q.pendingQueries.size(), 1u);
    EXPECT_EQ(q.heldNumbers.size(), 1u);
    EXPECT_EQ(q.clientRefs.readOrZero(clientKey(Client).view()).inFlight, 1);

    answerFromUpstream(framed(answer(up[1], 40)));
    ASSERT_EQ(unframed(net.output[Client]).size(), 1u);
    EXPECT_EQ(unframed(net.output[Client])[0][0], 0x22);
}

TEST_F(StreamBench, LosingTheUpstreamRetiresItsQueriesAndTheNextQueryReconnects) {
    connect(Client);
    send(Client, framed(ask(0x11, 0x11)));
    send(Client, framed(ask(0x22, 0x22)));
    const ConnectionId lost = net.lastLink;
    net.linkEvents.push_back(NetEvent::Disconnect);
    turn();
    EXPECT_TRUE(net.closedIds.contains(lost));
    EXPECT_EQ(q.pendingQueries.size(), 0u);
    EXPECT_EQ(q.heldNumbers.size(), 0u);
    EXPECT_EQ(q.clientRefs.size(), 0u);
    EXPECT_FALSE(net.closedIds.contains(Client));

    send(Client, framed(ask(0x33, 0x33)));
    EXPECT_NE(net.lastLink, lost);
    EXPECT_EQ(net.linksOpened, 2);
    EXPECT_EQ(q.pendingQueries.size(), 1u);
}

TEST_F(StreamBench, AConnectThatNeverCompletesIsGivenUp) {
    net.linksConnect = false;
    connect(Client);
    send(Client, framed(ask(0x11, 0x11)));
    clock.now += StreamUpstream::ConnectTimeoutSeconds;
    turn();
    EXPECT_TRUE(net.closedIds.contains(net.lastLink));
    EXPECT_EQ(q.pendingQueries.size(), 0u);
}

TEST_F(StreamBench, TheSixtyFifthConnectionIsClosedAtOnce) {
    for (ConnectionId client = 1; client <= StreamSessions::MaxSessions + 1; ++client) {
        connect(client);
    }
    EXPECT_EQ(sessions.size(), StreamSessions::MaxSessions);
    EXPECT_EQ(net.closedIds, (std::set<ConnectionId>{StreamSessions::MaxSessions + 1}));
}

TEST_F(StreamBench, IdleAndTricklingConnectionsCloseAfterTheLimitButNotOneAwaitingAnswers) {
    const ConnectionId idle = 1, trickling = 2, waiting = 3;
    connect(idle);
    connect(trickling);
    connect(waiting);
    send(trickling, Bytes{0x00, 0x20, 0x12});  // a message begun...
    send(waiting, framed(ask(0x11, 0x11)));
    clock.now += 5;
    send(trickling, Bytes{0x34});  // ...and fed a byte now and then: busy, never done

    clock.now += StreamSessions::IdleSeconds - 5;
    answerFromUpstream(framed(answer(sentUpstream().at(0), 30)));  // its answer counts as activity
    EXPECT_TRUE(net.closedIds.empty());
    clock.now += 1;
    turn();
    EXPECT_EQ(net.closedIds, (std::set<ConnectionId>{idle, trickling}));

    clock.now += StreamSessions::IdleSeconds - 1;
    turn();
    EXPECT_FALSE(net.closedIds.contains(waiting));
    clock.now += 1;
    turn();
    EXPECT_TRUE(net.closedIds.contains(waiting));
    EXPECT_EQ(sessions.size(), 0u);
}

TEST_F(StreamBench, AnUpstreamThatOwesAnswersAndStaysSilentIsReplaced) {
    connect(Client);
    send(Client, framed(ask(0x11, 0x11)));
    answerFromUpstream(framed(answer(sentUpstream().at(0), 30)));
    // Owing nothing, a quiet link is left alone (its client is not)...
    clock.now += 3 * StreamUpstream::IdleSeconds;
    turn();
    const ConnectionId wedged = net.lastLink;
    EXPECT_FALSE(net.closedIds.contains(wedged));
    const ConnectionId later = Client + 1;
    connect(later);
    send(later, framed(ask(0x22, 0x22)));
    // ...but one that owes an answer gets the idle limit from the query on.
    clock.now += StreamUpstream::IdleSeconds;
    turn();
    EXPECT_FALSE(net.closedIds.contains(wedged));
    clock.now += 1;
    turn();
    EXPECT_TRUE(net.closedIds.contains(wedged));
    EXPECT_EQ(q.pendingQueries.size(), 0u);

    const ConnectionId last = Client + 2;
    connect(last);
    send(last, framed(ask(0x33, 0x33)));
    EXPECT_EQ(net.linksOpened, 2);
    answerFromUpstream(framed(answer(sentUpstream().back(), 30)));
    EXPECT_EQ(net.output[last].size(), StreamFramer::PrefixLength + 30);
}

TEST_F(StreamBench, AClientThatEndsItsInputGetsItsAnswersAndThenIsClosed) {
    const ConnectionId quiet = 1, asking = 2;
    connect(quiet);
    connect(asking);
    net.listenerEvents.push_back({NetEvent::EndOfInput, quiet});
    turn();
    EXPECT_EQ(net.closedIds, (std::set<ConnectionId>{quiet})) << "nothing owed: closed at once";

    Bytes queryAndAHalf = framed(ask(0x11, 0x11));
    append(queryAndAHalf, Bytes{0x00, 0x40, 0x22});
    send(asking, queryAndAHalf);
    net.listenerEvents.push_back({NetEvent::EndOfInput, asking});
    turn();
    net.pendingOutput[asking] = 40;  // the answer will wait in the layer's queue
    const Bytes forwarded = sentUpstream().at(0);
    answerFromUpstream(framed(answer(forwarded, 30)));
    Bytes relayed = answer(forwarded, 30);
    relayed[0] = relayed[1] = 0x11;
    EXPECT_EQ(net.output[asking], framed(relayed));
    EXPECT_FALSE(net.closedIds.contains(asking)) << "closed before its answer went out";
    net.pendingOutput[asking] = 0;
    turn();
    EXPECT_TRUE(net.closedIds.contains(asking));
    EXPECT_EQ(sessions.size(), 0u);
}

TEST_F(StreamBench, AClosedConnectionLeavesNoQueryBehindForItsId) {
    connect(Client);
    send(Client, framed(ask(0x11, 0x11)));
    const Bytes forwarded = sentUpstream().at(0);
    net.listenerEvents.push_back({NetEvent::Disconnect, Client});
    turn();
    EXPECT_TRUE(net.closedIds.contains(Client));
    EXPECT_EQ(q.pendingQueries.size(), 0u);
    EXPECT_EQ(q.clientRefs.size(), 0u);
    EXPECT_EQ(q.heldNumbers.size(), 0u);

    // The id given to a new client later gets nothing meant for the old one.
    connect(Client);
    answerFromUpstream(framed(answer(forwarded, 30)));
    EXPECT_TRUE(net.output[Client].empty());
}

TEST_F(StreamBench, AClientWhoseRepliesAreRefusedIsClosed) {
    connect(Client);
    send(Client, framed(ask(0x11, 0x11)));
    net.refusing.insert(Client);
    answerFromUpstream(framed(answer(sentUpstream().at(0), 30)));
    clock.now += 1;
    turn();
    EXPECT_TRUE(net.closedIds.contains(Client));
    EXPECT_EQ(sessions.size(), 0u);
}

TEST_F(StreamBench, MalformedFramingClosesOnlyThatConnection) {
    connect(1);
    connect(2);
    send(1, Bytes{0x00, 0x0B});  // a length below a header
    EXPECT_EQ(net.closedIds, (std::set<ConnectionId>{1}));
    send(2, framed(ask(0x11, 0x11)));
    EXPECT_EQ(q.pendingQueries.size(), 1u);
}

TEST_F(StreamBench, QueriesOverTheInFlightBoundGetServerFailureAtOnce) {
    connect(Client);
    Bytes many;
    for (std::int32_t i = 0; i <= StreamSessions::MaxInFlight; ++i) {
        append(many, framed(ask(0xEE, static_cast<std::uint8_t>(i))));
    }
    send(Client, many);
    EXPECT_EQ(q.pendingQueries.size(), static_cast<std::size_t>(StreamSessions::MaxInFlight));
    const Bytes& reply = net.output[Client];
    ASSERT_EQ(reply.size(), StreamFramer::PrefixLength + 12);
    EXPECT_EQ(reply[2], 0xEE);
    EXPECT_EQ(reply[3], static_cast<std::uint8_t>(StreamSessions::MaxInFlight));
    EXPECT_EQ(reply[4], 0x81);      // a response, recursion desired as asked
    EXPECT_EQ(reply[5] & 0x0F, 2);  // SERVFAIL
}

}  // namespace
}  // namespace corvane::test
