// Who asked, on the road of a query: the query and answer paths with the
// attribution engine on a fake system of sockets and processes.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "ProxyPathsFixture.h"
#include "attribution/AskerEngine.h"
#include "tests/support/FakeAttributionSystem.h"

namespace corvane {
namespace {

using test::Bytes;

constexpr ConnectionId Client = 7;
constexpr ConnectionId Upstream = test::ProxyPathsFixture::Upstream;
constexpr std::uint16_t ClientPort = 51234;

// Network byte order of 127.0.0.1, as the layer gives addresses.
const std::uint32_t Loopback = [] {
    const unsigned char bytes[4] = {127, 0, 0, 1};
    std::uint32_t address = 0;
    std::memcpy(&address, bytes, sizeof address);
    return address;
}();

// The network as the paths see it, with both ends of each client, and a
// client that does what resolvers do: it closes its socket once it has its
// reply. Each send notes how many socket lookups were made before it.
class ClientNetwork final : public test::FakeNetwork {
public:
    explicit ClientNetwork(test::FakeAttributionSystem& system) : system_(system) {}

    std::map<ConnectionId, PeerEnds> ends;
    std::map<ConnectionId, ClientKey> closesOnReply;
    std::vector<int> lookupsBeforeSend;

    bool connEnds(ConnectionId id, PeerEnds& out) const override {
        const auto found = ends.find(id);
        if (found == ends.end()) {
            return false;
        }
        out = found->second;
        return true;
    }
    std::int32_t connSend(ConnectionId id, const std::uint8_t* data, std::int32_t length) override {
        lookupsBeforeSend.push_back(system_.socketLookups);
        if (const auto closing = closesOnReply.find(id); closing != closesOnReply.end()) {
            system_.removeSocket(closing->second);
        }
        return FakeNetwork::connSend(id, data, length);
    }

private:
    test::FakeAttributionSystem& system_;
};

// The plug-in stand-ins: FilterQuery, and FilterQueryFrom that asks for the
// asker when told to, each writing down what it was given.
struct PluginCalls {
    std::vector<std::string> calls;
    std::vector<CorvaneQueryClient> clients;
    std::vector<CorvaneAsker> answers;
    // The program texts of answers: valid only during the call, so copied.
    std::vector<std::u16string> programs;
    bool ask = true;
    std::int32_t verdict = Forward;
};
PluginCalls gPlugin;

std::int32_t filterQuery(const char16_t*) {
    gPlugin.calls.emplace_back("query");
    return gPlugin.verdict;
}

std::int32_t filterQueryFrom(const char16_t*, const CorvaneQueryClient* client) {
    gPlugin.calls.emplace_back("from");
    gPlugin.clients.push_back(*client);
    if (gPlugin.ask) {
        CorvaneAsker asker{sizeof(CorvaneAsker), 0, 0, nullptr};
        client->asker(client, &asker);
        gPlugin.answers.push_back(asker);
        gPlugin.programs.emplace_back(asker.program);
    }
    return gPlugin.verdict;
}

class QueryAttribution : public testing::Test {
protected:
    QueryAttribution() {
        gPlugin = PluginCalls{};
        system.clock = &clock;
        test::FakeProcess& firefox = system.processes[2412];
        firefox.executable = "/usr/lib/firefox-esr/firefox-esr";
        system.addSocket(client(), 77, 1000);
        system.hold(2412, 25, 77);
        net.ends[Client] = PeerEnds{Loopback, ClientPort, Loopback, 53};
        services.askers = &engine;
        services.lookupBudget = &budget;
    }

    static ClientKey client(IpProtocol protocol = IpProtocol::Udp) {
        return ClientKey{protocol, Loopback, ClientPort};
    }

    void ask(std::initializer_list<std::string_view> names, std::uint8_t id = 0x34) {
        Bytes datagram = test::message(0x12, id, static_cast<std::uint16_t>(names.size()),
                                       test::questions(names));
        handleQuery(q, datagram.data(), static_cast<std::int32_t>(datagram.size()), Client,
                    Upstream, services);
    }
    void answerLast() {
        const Bytes* last = nullptr;
        for (const auto& sent : net.sent) {
            if (sent.to == Upstream) {
                last = &sent.bytes;
            }
        }
        ASSERT_NE(last, nullptr);
        Bytes answer = test::ProxyPathsFixture::answerTo(*last, 40);
        handleAnswer(q, answer.data(), static_cast<std::int32_t>(answer.size()), services);
    }
    // The asker of log line i; fails the test when the line has none.
    const Asker& askerOfLine(std::size_t i) {
        EXPECT_LT(i, log.askers.size());
        EXPECT_TRUE(log.askers.at(i).has_value()) << "line " << i << " carries no asker";
        static const Asker none;
        return log.askers.at(i) ? log.askers.at(i)->asker : none;
    }

    test::FakeMonotonicClock clock;
    test::FakeAttributionSystem system;
    AskerEngine engine{system, clock};
    LookupBudget budget{NanosecondsPerMillisecond};
    ClientNetwork net{system};
    test::FakeLog log;
    test::FakeClock logClock;
    ProxyServices services{net, log, logClock};
    QueriesInFlight q{test::testSeed()};
};

// Every outcome of the filter's verdict gives a line that names the asker,
// with one lookup per query: after the query went upstream for a forward
// (never holding it back), before the reply for a query answered at once
// (whose client closes its socket on the reply).
struct VerdictCase {
    const char* label;
    std::int32_t verdict;
    std::string line;
    int lookupsBeforeFirstSend;
};
void PrintTo(const VerdictCase& c, std::ostream* os) {
    *os << c.label;
}

class QueryAttributionVerdicts : public QueryAttribution,
                                 public testing::WithParamInterface<VerdictCase> {};

TEST_P(QueryAttributionVerdicts, TheLineNamesTheAskerLookedUpOnce) {
    services.filter = filterQuery;
    gPlugin.verdict = GetParam().verdict;
    net.closesOnReply[Client] = client();
    ask({"www.example"});
    ASSERT_EQ(log.utf8Lines(), std::vector<std::string>{GetParam().line});
    const Asker& asker = askerOfLine(0);
    EXPECT_EQ(asker.state, AskerState::Process);
    EXPECT_EQ(asker.pid, 2412);
    EXPECT_EQ(asker.program, "firefox-esr");
    EXPECT_EQ(log.askers[0]->client, client());
    EXPECT_EQ(system.socketLookups, 1);
    if (GetParam().lookupsBeforeFirstSend >= 0) {
        ASSERT_FALSE(net.lookupsBeforeSend.empty());
        EXPECT_EQ(net.lookupsBeforeSend[0], GetParam().lookupsBeforeFirstSend);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Verdicts, QueryAttributionVerdicts,
    testing::Values(VerdictCase{"forward", Forward, "Q  [1234] : www.example", 0},
                    VerdictCase{"block", Block, "Q  [1234] : block (www.example)", -1},
                    VerdictCase{"block reply", BlockReply, "Q  [1234] : block-F (www.example)", 1}),
    [](const auto& param) { return std::to_string(param.index); });

TEST_F(QueryAttribution, FilterQueryFromIsCalledInsteadOfFilterQueryWithTheClient) {
    services.filter = filterQuery;
    services.filterFrom = filterQueryFrom;
    ask({"a.example", "b.example"});
    EXPECT_EQ(gPlugin.calls, (std::vector<std::string>{"from", "from"}));
    ASSERT_EQ(gPlugin.clients.size(), 2u);
    const CorvaneQueryClient& seen = gPlugin.clients[0];
    EXPECT_EQ(seen.transport, CORVANE_TRANSPORT_UDP);
    EXPECT_EQ(seen.port, ClientPort);
    EXPECT_EQ(seen.address[0], 127);
    EXPECT_EQ(seen.address[3], 1);
    ASSERT_EQ(gPlugin.answers.size(), 2u);
    EXPECT_EQ(gPlugin.answers[1].pid, 2412);
    EXPECT_EQ(gPlugin.programs[1], u"firefox-esr");
    // The plug-in's lookup is the line's too.
    EXPECT_EQ(system.socketLookups, 1);
    EXPECT_EQ(askerOfLine(0).pid, 2412);
}

TEST_F(QueryAttribution, APlugInThatDoesNotAskHoldsNoQueryBack) {
    services.filterFrom = filterQueryFrom;
    gPlugin.ask = false;
    ask({"a.example"});
    ASSERT_EQ(gPlugin.calls.size(), 1u);
    ASSERT_FALSE(net.lookupsBeforeSend.empty());
    EXPECT_EQ(net.lookupsBeforeSend[0], 0) << "looked up before the query went upstream";
    EXPECT_EQ(askerOfLine(0).pid, 2412);
}

TEST_F(QueryAttribution, AnAnswersLineNamesItsQuerysAskerSettledMeanwhile) {
    // No budget: the socket is pinned (its owner known) and the search waits.
    budget = LookupBudget(0);
    ask({"www.example"});
    EXPECT_FALSE(askerOfLine(0).settled);
    EXPECT_EQ(askerOfLine(0).state, AskerState::Owner);
    // Later turns settle it, by key, for the query in flight and the log.
    struct ToStoreAndLog final : AskerSink {
        QueriesInFlight& queries;
        test::FakeLog& log;
        ToStoreAndLog(QueriesInFlight& q, test::FakeLog& l) : queries(q), log(l) {}
        void attributed(const ClientKey& key, const Asker& asker) override {
            queries.askers.settle(key, asker);
            log.askerSettled(key, asker);
        }
    } sink(q, log);
    LookupBudget later(NanosecondsPerSecond);
    engine.continueLookups(later, sink);
    ASSERT_EQ(log.settled.size(), 1u);
    EXPECT_EQ(log.settled[0].asker.pid, 2412);
    // Its port is now another program's: the answer is still the query's.
    system.removeSocket(client());
    system.addSocket(client(), 78, 1001);
    clock.now += 5 * NanosecondsPerSecond;
    answerLast();
    ASSERT_EQ(log.lines.size(), 2u);
    EXPECT_TRUE(askerOfLine(1).settled);
    EXPECT_EQ(askerOfLine(1).pid, 2412);
    EXPECT_EQ(askerOfLine(1).program, "firefox-esr");
    // Retired with its query: nothing is left kept.
    EXPECT_EQ(q.askers.size(), 0u);
}

TEST_F(QueryAttribution, ATcpClientIsLookedUpAsOne) {
    struct FixedLink final : UpstreamOnDemand {
        ConnectionId linkForQuery(const ProxyServices&) override { return Upstream; }
    } link;
    system.addSocket(client(IpProtocol::Tcp), 79, 1000);
    system.hold(2412, 26, 79);
    Bytes datagram = test::message(0x12, 0x34, 1, test::questions({"www.example"}));
    handleQuery(q, datagram.data(), static_cast<std::int32_t>(datagram.size()),
                QueryRoute{Client, 0, Transport::Stream, &link}, services);
    ASSERT_EQ(log.askers.size(), 1u);
    EXPECT_EQ(log.askers[0]->client, client(IpProtocol::Tcp));
    EXPECT_EQ(askerOfLine(0).pid, 2412);
}

TEST_F(QueryAttribution, WithoutTheEngineOrTheClientsEndsLinesCarryNoAsker) {
    services.filter = filterQuery;
    services.filterFrom = filterQueryFrom;
    services.askers = nullptr;
    ask({"a.example"});
    EXPECT_EQ(gPlugin.calls, std::vector<std::string>{"query"});
    services.askers = &engine;
    net.ends.clear();
    ask({"b.example"}, 0x35);
    ASSERT_EQ(log.askers.size(), 2u);
    EXPECT_FALSE(log.askers[0].has_value());
    EXPECT_FALSE(log.askers[1].has_value());
    EXPECT_EQ(system.socketLookups, 0);
}

}  // namespace
}  // namespace corvane
