// The turn of the main loop: startup failures, when it pauses, when the
// expiry pass runs, and what ends it. The network, clock and window are fakes.
#include "proxy/ProxyLoop.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <string>
#include <vector>

namespace corvane {
namespace {

class ScriptedNetwork final : public Network {
public:
    bool startupFails = false;
    bool listenerFails = false;
    bool linkFails = false;
    std::deque<std::vector<std::uint8_t>> clientDatagrams;    // one per listener Data event
    std::deque<std::vector<std::uint8_t>> upstreamDatagrams;  // one per link Data event
    std::vector<std::string> calls;
    std::vector<std::vector<std::uint8_t>> sentUpstream;
    std::vector<std::vector<std::uint8_t>> sentClient;
    int waits = 0;
    std::int32_t lastWaitMs = -1;
    std::int32_t linkWireLength = 0;  // what linkLastLength reports

    static constexpr ListenerHandle Listener = 7;
    static constexpr ConnectionId Link = 100;
    static constexpr ConnectionId Client = 5;

    int netStartup() override { return startupFails ? 0 : 1; }
    void netShutdown() override {}
    // The TCP listener never opens here: these tests script the UDP turn,
    // and the stream sessions have tests of their own.
    ListenerHandle listenerOpen(std::int32_t, std::int64_t, std::uint32_t mode,
                                std::string_view) override {
        return listenerFails || mode == Stream ? 0 : Listener;
    }
    NetEvent listenerPoll(ListenerHandle) override {
        calls.push_back("listenerPoll");
        if (clientDatagrams.empty()) {
            return NetEvent::None;
        }
        pending_ = std::move(clientDatagrams.front());
        clientDatagrams.pop_front();
        return NetEvent::Data;
    }
    ConnectionId listenerLastPeer() const override { return Client; }
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
        return length;
    }
    void connClose(ConnectionId id) override {
        calls.push_back(id == Link ? "linkClose" : "clientClose");
    }
    std::int32_t linkLastLength(ConnectionId) const override { return linkWireLength; }
    std::int32_t connPendingOutput(ConnectionId) const override { return 0; }
    void waitReady(std::int32_t timeoutMs) override {
        ++waits;
        lastWaitMs = timeoutMs;
    }

private:
    std::vector<std::uint8_t> pending_;
    std::vector<std::uint8_t> linkPending_;
};

class SteppedClock final : public Clock {
public:
    std::int64_t now = 1'000'000;
    std::int64_t localSeconds() const override { return now; }
};

class RecordingLog final : public Log {
public:
    std::vector<std::u16string> lines;
    void logLine(std::u16string_view message) override { lines.emplace_back(message); }
};

class ScriptedWindow final : public WindowPoll {
public:
    std::deque<std::int32_t> events;
    int sleeps = 0;
    std::int32_t workDueMs = -1;  // -1: the window has nothing due
    std::int32_t eventPoll() override {
        if (events.empty()) {
            return 0;
        }
        const std::int32_t event = events.front();
        events.pop_front();
        return event;
    }
    void sleepMs(std::int32_t) override { ++sleeps; }
    std::int32_t pauseLimitMs(std::int32_t longest) override {
        return workDueMs < 0 ? longest : std::min(workDueMs, longest);
    }
};

// A query for "a" with the client ID 0x12 0x34.
std::vector<std::uint8_t> query() {
    return {0x12, 0x34, 0x01, 0x00, 0x00, 0x01, 0, 0, 0, 0, 0, 0, 1, 'a', 0, 0, 1, 0, 1};
}

struct LoopFixture : ::testing::Test {
    ScriptedNetwork net;
    SteppedClock clock;
    RecordingLog log;
    ScriptedWindow window;
    ProxyLoop loop{net, log, clock, window};

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

    // An idle proxy polls only the window and pauses only when it had nothing.
    net.clientDatagrams.push_back(query());
    window.events = {0, 13104};
    EXPECT_TRUE(loop.turn());
    EXPECT_TRUE(loop.turn());
    EXPECT_EQ(window.sleeps, 1);
    EXPECT_TRUE(net.calls.empty());
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
    EXPECT_EQ(net.waits, 0);

    // A window event was handled: no pause either.
    window.events = {13117};
    loop.turn();
    EXPECT_EQ(net.waits, 0);

    // Nothing anywhere: the readiness-waking pause, never the plain sleep.
    loop.turn();
    EXPECT_EQ(net.waits, 1);
    EXPECT_EQ(window.sleeps, 0);
}

TEST_F(LoopFixture, TheIdlePauseLastsUntilTheWindowHasWorkDue) {
    start();
    loop.turn();
    EXPECT_EQ(net.lastWaitMs, ProxyLoop::IdlePauseMs) << "nothing due: the whole pause";

    window.workDueMs = 3;
    loop.turn();
    EXPECT_EQ(net.lastWaitMs, 3) << "a repaint due in 3 ms ends the pause then";
    EXPECT_EQ(net.waits, 2);
    EXPECT_EQ(window.sleeps, 0);
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

    const int waitsBefore = net.waits;
    loop.turn();
    EXPECT_EQ(inFlight(), 1u) << "the 45 s old query is retired, the fresh one kept";
    EXPECT_EQ(net.waits, waitsBefore) << "a turn that ran the pass does not pause";
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
    ProxyLoop other{failed, log, clock, window};
    other.startNetwork({53, "8.8.8.8", 53});
    other.shutdownNetwork();
    EXPECT_EQ(failed.calls, (std::vector<std::string>{"linkClose"}));
}

}  // namespace
}  // namespace corvane
