// The turn of the main loop: startup failures, when it pauses, when the
// expiry pass runs, and what ends it. The network, clock and window are fakes.
#include "proxy/ProxyLoop.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "attribution/AskerEngine.h"
#include "tests/support/FakeAttributionSystem.h"
#include "tests/support/FakeClock.h"
#include "tests/support/FakeLog.h"
#include "tests/support/FakeNetwork.h"
#include "tests/support/TestSeed.h"

namespace corvane {
namespace {

// Hands out the datagrams it was given, one per poll, and keeps the order of
// the calls the loop makes.
class ScriptedNetwork final : public test::FakeNetwork {
public:
    bool startupFails = false;
    bool listenerFails = false;
    bool linkFails = false;
    std::deque<std::vector<std::uint8_t>> clientDatagrams;    // one per listener Data event
    std::deque<std::vector<std::uint8_t>> upstreamDatagrams;  // one per link Data event
    std::vector<std::string> calls;
    std::vector<std::vector<std::uint8_t>> sentUpstream;
    std::vector<std::vector<std::uint8_t>> sentClient;
    int prepares = 0;                 // prepareIdleWait calls
    bool eventDue = false;            // what prepareIdleWait reports
    std::int32_t wakeWithinMs = -1;   // and the deadline it gives
    std::int32_t linkWireLength = 0;  // what linkLastLength reports

    static constexpr ListenerHandle Listener = 7;
    static constexpr ConnectionId Link = 100;
    static constexpr ConnectionId Client = 5;
    static constexpr int WaitDescriptor = 77;
    static constexpr ListenerHandle TcpListener = 8;
    bool tcpOpens = false;
    std::deque<ConnectionId> tcpConnects;  // one Connect a poll of the TCP listener

    int netStartup() override { return startupFails ? 0 : 1; }
    // The TCP listener opens only when a test asks: these tests script the
    // UDP turn, and the stream sessions have tests of their own.
    ListenerHandle listenerOpen(std::int32_t, std::int64_t, std::uint32_t mode,
                                std::string_view) override {
        if (mode == Stream) {
            return tcpOpens ? TcpListener : 0;
        }
        return listenerFails ? 0 : Listener;
    }
    NetEvent listenerPoll(ListenerHandle handle) override {
        if (handle == TcpListener) {
            if (tcpConnects.empty()) {
                return NetEvent::None;
            }
            lastPeer_ = tcpConnects.front();
            tcpConnects.pop_front();
            return NetEvent::Connect;
        }
        lastPeer_ = Client;
        calls.push_back("listenerPoll");
        if (clientDatagrams.empty()) {
            return NetEvent::None;
        }
        pending_ = std::move(clientDatagrams.front());
        clientDatagrams.pop_front();
        return NetEvent::Data;
    }
    ConnectionId listenerLastPeer() const override { return lastPeer_; }
    void listenerClose(ListenerHandle) override { calls.push_back("listenerClose"); }
    ConnectionId linkOpen(std::string_view, std::int64_t, std::uint32_t, std::int32_t,
                          std::string_view, std::int32_t) override {
        return linkFails ? 0 : Link;
    }
    NetEvent linkPoll(ConnectionId) override {
        calls.push_back("linkPoll");
        if (upstreamDatagrams.empty()) {
            return NetEvent::None;
        }
        linkPending_ = std::move(upstreamDatagrams.front());
        upstreamDatagrams.pop_front();
        return NetEvent::Data;
    }
    std::int32_t connRecv(ConnectionId id, std::uint8_t* buffer, std::int32_t) override {
        auto& source = id == Link ? linkPending_ : pending_;
        std::copy(source.begin(), source.end(), buffer);
        const auto length = static_cast<std::int32_t>(source.size());
        source.clear();
        calls.push_back(id == Link ? "recvAnswer" : "recvQuery");
        return length;
    }
    std::int32_t connSend(ConnectionId id, const std::uint8_t* data, std::int32_t length) override {
        (id == Link ? sentUpstream : sentClient).emplace_back(data, data + length);
        calls.push_back(id == Link ? "sendUpstream" : "sendClient");
        return FakeNetwork::connSend(id, data, length);
    }
    void connClose(ConnectionId id) override {
        calls.push_back(id == Link ? "linkClose" : "clientClose");
    }
    std::int32_t linkLastLength(ConnectionId) const override { return linkWireLength; }
    // The client's ends, when a test attributes its queries.
    std::optional<PeerEnds> clientEnds;
    bool connEnds(ConnectionId id, PeerEnds& out) const override {
        if (id != Client || !clientEnds) {
            return false;
        }
        out = *clientEnds;
        return true;
    }
    void waitReady(std::int32_t) override { ADD_FAILURE() << "the loop waits through the window"; }
    IdleWait prepareIdleWait() override {
        ++prepares;
        return {eventDue, WaitDescriptor, wakeWithinMs};
    }

private:
    ConnectionId lastPeer_ = Client;
    std::vector<std::uint8_t> pending_;
    std::vector<std::uint8_t> linkPending_;
};

class ScriptedWindow final : public WindowPoll {
public:
    std::deque<std::int32_t> events;
    int waits = 0;
    int lastDescriptor = 0;
    std::int32_t lastTimeoutMs = 0;
    std::int32_t eventPoll() override {
        if (events.empty()) {
            return 0;
        }
        const std::int32_t event = events.front();
        events.pop_front();
        return event;
    }
    void waitIdle(int descriptor, std::int32_t timeoutMs) override {
        ++waits;
        lastDescriptor = descriptor;
        lastTimeoutMs = timeoutMs;
    }
};

// A query for "a" with the client ID 0x12 0x34.
std::vector<std::uint8_t> query() {
    return {0x12, 0x34, 0x01, 0x00, 0x00, 0x01, 0, 0, 0, 0, 0, 0, 1, 'a', 0, 0, 1, 0, 1};
}

struct LoopFixture : ::testing::Test {
    ScriptedNetwork net;
    test::FakeClock clock;
    test::FakeLog log;
    ScriptedWindow window;
    ProxyLoop loop{net, log, clock, window, test::testSeed()};

    void start() { loop.startNetwork({53, "8.8.8.8", 53}); }
    std::size_t inFlight() const {
        std::size_t count = 0;
        auto& table = const_cast<QueriesInFlight&>(loop.queriesInFlight()).pendingQueries;
        table.resetWalk();
        while (table.nextInWalk() != nullptr) {
            ++count;
        }
        return count;
    }
};

TEST_F(LoopFixture, EveryFailedStartupStepIsLoggedInOrderAndLeavesTheProxyIdle) {
    net.startupFails = true;
    net.listenerFails = true;
    net.linkFails = true;
    start();
    EXPECT_EQ(log.lines, (std::vector<std::u16string>{u"Failed to init network runtime",
                                                      u"Failed to open local UDP port (53)",
                                                      u"Failed to connect DNS server"}));
    EXPECT_FALSE(loop.running());

    // An idle proxy polls only the window and waits, for the window alone and
    // without a deadline, only when it had nothing.
    net.clientDatagrams.push_back(query());
    window.events = {0, 13104};
    EXPECT_TRUE(loop.turn());
    EXPECT_TRUE(loop.turn());
    EXPECT_EQ(window.waits, 1);
    EXPECT_EQ(window.lastDescriptor, -1);
    EXPECT_EQ(window.lastTimeoutMs, WindowPoll::NoDeadline);
    EXPECT_TRUE(net.calls.empty());
    EXPECT_EQ(net.prepares, 0);
}

TEST_F(LoopFixture, AFailedTcpListenerIsLoggedAndLeavesUdpServing) {
    start();
    EXPECT_EQ(log.lines, (std::vector<std::u16string>{u"Failed to open local TCP port (53)"}));
    EXPECT_TRUE(loop.running());
    net.clientDatagrams.push_back(query());
    ASSERT_TRUE(loop.turn());
    EXPECT_EQ(net.sentUpstream.size(), 1u);
}

TEST_F(LoopFixture, CloseEventEndsTheLoopBeforeAnyDatagramIsTaken) {
    start();
    net.clientDatagrams.push_back(query());
    window.events = {CloseEvent};
    EXPECT_FALSE(loop.turn());
    EXPECT_TRUE(net.calls.empty());
}

TEST_F(LoopFixture, BothPollsComeFirstThenTheQueryThenTheAnswer) {
    start();
    net.clientDatagrams.push_back(query());
    net.upstreamDatagrams.push_back({0x09, 0x00, 0x81, 0x80, 0, 1, 0, 0, 0, 0, 0, 0});
    ASSERT_TRUE(loop.turn());
    EXPECT_EQ(net.calls, (std::vector<std::string>{"listenerPoll", "linkPoll", "recvQuery",
                                                   "sendUpstream", "recvAnswer"}));
    EXPECT_EQ(inFlight(), 1u);
}

TEST_F(LoopFixture, PausesOnlyInIdleTurnsWithoutAWindowEvent) {
    start();
    // Both endpoints busy: neither a pause nor an expiry pass.
    net.clientDatagrams.push_back(query());
    net.upstreamDatagrams.push_back({0x00, 0x00, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    loop.turn();
    EXPECT_EQ(net.prepares, 0);

    // A window event was handled: no pause either.
    window.events = {13117};
    loop.turn();
    EXPECT_EQ(net.prepares, 0);
    EXPECT_EQ(window.waits, 0);

    // A socket that can make progress already: no wait, the next turn serves it.
    net.eventDue = true;
    loop.turn();
    EXPECT_EQ(net.prepares, 1);
    EXPECT_EQ(window.waits, 0);

    // Nothing anywhere: the window waits on the network's descriptor too.
    net.eventDue = false;
    loop.turn();
    EXPECT_EQ(window.waits, 1);
    EXPECT_EQ(window.lastDescriptor, ScriptedNetwork::WaitDescriptor);
}

TEST_F(LoopFixture, TheIdleWaitLastsUntilTheExpiryPassIsDue) {
    start();
    loop.turn();
    EXPECT_EQ(window.lastTimeoutMs, 45'000) << "the pass ran at startup: a whole interval";

    clock.now += 30;
    loop.turn();
    EXPECT_EQ(window.lastTimeoutMs, 15'000);

    // Set back, the clock's distance to the last pass counts, as for the pass.
    clock.now -= 40;
    loop.turn();
    EXPECT_EQ(window.lastTimeoutMs, 35'000);
    EXPECT_EQ(window.waits, 3);

    // The layer's own deadline (a listener resting) ends the wait sooner.
    net.wakeWithinMs = 500;
    loop.turn();
    EXPECT_EQ(window.lastTimeoutMs, 500);
}

// Lines the log holds back are written out in time however the loop runs:
// every turn gives the log its chance, and an idle wait, of a running or an
// idle proxy, ends when they come due.
TEST_F(LoopFixture, LinesTheLogHoldsBackEndTheIdleWaitInTime) {
    start();
    log.msUntilDue = 700;
    loop.turn();
    EXPECT_EQ(window.lastTimeoutMs, 700);
    log.msUntilDue = 60'000;
    loop.turn();
    EXPECT_EQ(window.lastTimeoutMs, 45'000) << "the expiry pass is due first";
    net.clientDatagrams.push_back(query());
    net.upstreamDatagrams.push_back({0x00, 0x00, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    loop.turn();
    EXPECT_EQ(log.writeOuts, 3) << "a busy turn too";
}

TEST_F(LoopFixture, LinesTheLogHoldsBackEndTheWaitOfAnIdleProxyInTime) {
    net.listenerFails = true;
    start();
    log.msUntilDue = 250;
    loop.turn();
    EXPECT_EQ(window.lastTimeoutMs, 250);
    log.msUntilDue = Log::NothingHeld;
    loop.turn();
    EXPECT_EQ(window.lastTimeoutMs, WindowPoll::NoDeadline);
    EXPECT_EQ(log.writeOuts, 2);
}

TEST_F(LoopFixture, AnOpenTcpConnectionKeepsTheIdleWaitShortUntilItIsClosed) {
    net.tcpOpens = true;
    start();
    loop.turn();
    EXPECT_EQ(window.lastTimeoutMs, 45'000);

    // Its idle time-out is counted by the turn: the wait must not sleep past it.
    net.tcpConnects.push_back(42);
    loop.turn();
    ASSERT_EQ(loop.streamSessions().size(), 1u);
    EXPECT_EQ(window.lastTimeoutMs, ProxyLoop::StreamTimeoutTickMs);

    clock.now += StreamSessions::IdleSeconds + 1;
    loop.turn();
    EXPECT_EQ(loop.streamSessions().size(), 0u);
    EXPECT_EQ(window.lastTimeoutMs, (45 - StreamSessions::IdleSeconds - 1) * 1000);
}

TEST_F(LoopFixture, ExpiryRunsAfter45SecondsAndOnlyInAnIdleTurn) {
    start();
    net.clientDatagrams.push_back(query());
    net.upstreamDatagrams.push_back({0x00, 0x00, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    loop.turn();
    ASSERT_EQ(inFlight(), 1u);

    clock.now += 44;
    loop.turn();
    EXPECT_EQ(inFlight(), 1u) << "no pass before 45 s";

    clock.now += 1;
    net.clientDatagrams.push_back(query());
    net.upstreamDatagrams.push_back({0x00, 0x00, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    loop.turn();
    EXPECT_EQ(inFlight(), 2u) << "no pass while both endpoints deliver";

    const int waitsBefore = window.waits;
    loop.turn();
    EXPECT_EQ(inFlight(), 1u) << "the 45 s old query is retired, the fresh one kept";
    EXPECT_EQ(window.waits, waitsBefore) << "a turn that ran the pass does not pause";
}

TEST_F(LoopFixture, ClockSetBackTriggersTheExpiryPass) {
    start();
    net.clientDatagrams.push_back(query());
    loop.turn();
    ASSERT_EQ(inFlight(), 1u);
    clock.now -= 45;
    loop.turn();
    EXPECT_EQ(inFlight(), 0u);
}

TEST_F(LoopFixture, OnlyAnAnswerLongerThanTheBufferBecomesTheTruncatedReply) {
    start();
    for (const std::int32_t wireLength : {NetBufferSize, 3000}) {
        net.clientDatagrams.push_back(query());
        loop.turn();
        // The first 2048 bytes of the answer: the query's header and question
        // as an answer with records, then the records.
        std::vector<std::uint8_t> answer = net.sentUpstream.back();
        answer[2] = 0x81;
        answer[7] = 60;
        answer.resize(NetBufferSize, 0x5A);
        net.upstreamDatagrams.push_back(answer);
        net.linkWireLength = wireLength;
        loop.turn();
    }
    ASSERT_EQ(net.sentClient.size(), 2u);
    EXPECT_EQ(net.sentClient[0].size(), 2048u) << "an answer that fits is relayed whole";
    std::vector<std::uint8_t> truncated = query();
    truncated[2] = 0x83;  // TC added to the upstream's flags
    EXPECT_EQ(net.sentClient[1], truncated);
}

TEST_F(LoopFixture, ShutdownClosesTheListenerThenTheLinkAndOnlyWhatWasOpened) {
    start();
    loop.shutdownNetwork();
    EXPECT_EQ(net.calls, (std::vector<std::string>{"listenerClose", "linkClose"}));

    ScriptedNetwork failed;
    failed.listenerFails = true;
    ProxyLoop other{failed, log, clock, window, test::testSeed()};
    other.startNetwork({53, "8.8.8.8", 53});
    other.shutdownNetwork();
    EXPECT_EQ(failed.calls, (std::vector<std::string>{"linkClose"}));
}

// A lookup that a turn's millisecond cannot finish goes on in the turns
// after: the loop does not pause while one waits and the allowance has time
// for it, pauses until the allowance has refilled when it has none, and
// once it settled (the log told of it) sleeps as long as ever.
TEST_F(LoopFixture, LookupsLeftForLaterTurnsKeepTheLoopAwakeUntilTheySettle) {
    test::FakeMonotonicClock steady;
    test::FakeAttributionSystem system;
    system.clock = &steady;
    system.costPerCall = 300'000;
    for (std::int32_t pid = 100; pid < 130; ++pid) {
        for (int fd = 0; fd < 12; ++fd) {
            system.processes[pid].descriptors[fd] = "/dev/null";
        }
    }
    const std::uint32_t loopback = htonl(0x7F000001);
    const ClientKey client{IpProtocol::Udp, loopback, 5353};
    system.addSocket(client, 77, 1000);
    // The oldest process, so that the search reads every other first.
    system.hold(50, 3, 77);
    system.processes[50].executable = "/usr/bin/late";
    AskerEngine engine(system, steady);
    loop.setAttribution(engine);
    net.clientEnds = PeerEnds{loopback, 5353, loopback, 53};
    start();
    log.clear();

    net.clientDatagrams.push_back(query());
    loop.turn();
    ASSERT_EQ(log.askers.size(), 1u);
    ASSERT_TRUE(log.askers[0].has_value());
    EXPECT_FALSE(log.askers[0]->asker.settled);
    EXPECT_EQ(window.lastTimeoutMs, 0) << "a lookup waits and the allowance has time";

    int turns = 1;
    bool restedForTheAllowance = false;
    while (log.settled.empty() && turns < 10'000) {
        // Time passes as the loop waits: for the engine, and for the
        // allowance, which goes by the log clock's milliseconds.
        const std::int32_t waited = std::max(window.lastTimeoutMs, 0);
        steady.now += std::int64_t{waited} * NanosecondsPerMillisecond;
        clock.monotonic += waited;
        loop.turn();
        ++turns;
        if (log.settled.empty()) {
            EXPECT_LE(window.lastTimeoutMs, 1000);
            restedForTheAllowance = restedForTheAllowance || window.lastTimeoutMs > 0;
        }
    }
    ASSERT_EQ(log.settled.size(), 1u);
    EXPECT_EQ(log.settled[0].client, client);
    EXPECT_EQ(log.settled[0].asker.pid, 50);
    EXPECT_EQ(log.settled[0].asker.program, "late");
    EXPECT_TRUE(restedForTheAllowance) << "the search took more than the allowance holds";
    EXPECT_FALSE(engine.hasQueuedLookups());
    loop.turn();
    EXPECT_EQ(window.lastTimeoutMs, 45'000);
}

}  // namespace
}  // namespace corvane
