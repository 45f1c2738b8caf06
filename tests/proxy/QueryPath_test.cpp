#include "proxy/QueryPath.h"

#include <gtest/gtest.h>

#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "ProxyFakes.h"

namespace corvane {
namespace {

using test::Bytes;

// The plug-in stand-in: a verdict per name (0 for the rest), and a record of
// the names it was offered.
std::map<std::u16string, std::int32_t> gVerdicts;
std::vector<std::u16string> gOffered;

std::int32_t scriptedFilter(const char16_t* name) {
    gOffered.emplace_back(name);
    const auto found = gVerdicts.find(name);
    return found != gVerdicts.end() ? found->second : 0;
}

class QueryPath : public testing::Test, public test::ProxyBench {
protected:
    static constexpr ConnectionId Client = 7;
    void SetUp() override {
        gVerdicts.clear();
        gOffered.clear();
        services.filter = scriptedFilter;
    }
    void query(ConnectionId client, const Bytes& datagram) {
        Bytes copy = datagram;
        handleQuery(q, copy.data(), static_cast<std::int32_t>(copy.size()), client, Upstream,
                    services);
    }
};

enum class Sent { Upstream, Reply, Nothing };

struct OutcomeCase {
    const char* label;
    bool filterLoaded;
    std::map<std::u16string, std::int32_t> verdicts;
    std::uint16_t qdcount;
    Bytes section;
    std::vector<std::u16string> offered;
    std::string logLine;
    Sent sent;
};
void PrintTo(const OutcomeCase& c, std::ostream* os) {
    *os << c.label;
}

const Bytes TwoNames = test::questions({"a.example", "b.example"});

const OutcomeCase Outcomes[] = {
    {"NoFilterForwards",
     false,
     {},
     1,
     test::questions({"host.example"}),
     {},
     "Q  [1234] : host.example",
     Sent::Upstream},
    {"AllowedNamesAreJoined",
     true,
     {},
     2,
     TwoNames,
     {u"a.example", u"b.example"},
     "Q  [1234] : a.example, b.example",
     Sent::Upstream},
    {"BlockOnSecondName",
     true,
     {{u"b.example", 1}},
     2,
     TwoNames,
     {u"a.example", u"b.example"},
     "Q  [1234] : block (b.example)",
     Sent::Nothing},
    {"BlockReplyStopsOffering",
     true,
     {{u"a.example", 2}},
     2,
     TwoNames,
     {u"a.example"},
     "Q  [1234] : block-F (a.example)",
     Sent::Reply},
    {"UnknownVerdictForwards",
     true,
     {{u"a.example", 7}},
     2,
     TwoNames,
     {u"a.example"},
     "Q  [1234] : a.example, b.example",
     Sent::Upstream},
    {"NegativeVerdictForwards",
     true,
     {{u"a.example", -1}},
     2,
     TwoNames,
     {u"a.example"},
     "Q  [1234] : a.example, b.example",
     Sent::Upstream},
    {"RootAloneIsNotOffered",
     true,
     {{u"", 1}},
     1,
     {0, 0, 1, 0, 1},
     {},
     "Q  [1234] : ",
     Sent::Upstream},
    {"HeaderOnly", true, {}, 0, {}, {}, "Q  [1234] : ", Sent::Upstream},
};

class QueryOutcome : public QueryPath, public testing::WithParamInterface<OutcomeCase> {};

TEST_P(QueryOutcome, OffersLogsAndSends) {
    const OutcomeCase& c = GetParam();
    gVerdicts = c.verdicts;
    if (!c.filterLoaded) {
        services.filter = nullptr;
    }
    const Bytes datagram = test::message(0x12, 0x34, c.qdcount, c.section);
    query(Client, datagram);

    EXPECT_EQ(gOffered, c.offered);
    EXPECT_EQ(log.lines, std::vector<std::string>{c.logLine});
    switch (c.sent) {
        case Sent::Upstream: {
            ASSERT_EQ(net.sent.size(), 1u);
            EXPECT_EQ(net.sent[0].to, Upstream);
            // The first forward carries number 1, low byte first; the rest
            // of the datagram goes as it came.
            Bytes expected = datagram;
            expected[0] = 0x01;
            expected[1] = 0x00;
            EXPECT_EQ(net.sent[0].bytes, expected);
            const PendingQuery* record = pending(u"1");
            ASSERT_NE(record, nullptr);
            EXPECT_EQ(record->client, Client);
            EXPECT_EQ(record->clientTxId, (std::array<std::uint8_t, 2>{0x12, 0x34}));
            EXPECT_EQ(record->stamp, clock.now);
            EXPECT_EQ(inFlight(Client), 1);
            EXPECT_EQ(q.clientRefs.find(clientKey(Client).view())->handle, Client);
            EXPECT_TRUE(net.closed.empty());
            break;
        }
        case Sent::Reply:
            ASSERT_EQ(net.sent.size(), 1u);
            EXPECT_EQ(net.sent[0].to, Client);
            EXPECT_EQ(net.closed, std::vector<ConnectionId>{Client});
            break;
        case Sent::Nothing:
            EXPECT_TRUE(net.sent.empty());
            EXPECT_EQ(net.closed, std::vector<ConnectionId>{Client});
            break;
    }
    if (c.sent != Sent::Upstream) {
        EXPECT_EQ(q.pendingQueries.size(), 0u);
        EXPECT_EQ(q.clientRefs.size(), 0u);
    }
}

INSTANTIATE_TEST_SUITE_P(Verdicts, QueryOutcome, testing::ValuesIn(Outcomes),
                         [](const auto& param) { return std::string(param.param.label); });

TEST_F(QueryPath, IdTextIsFourUpperCaseDigitsFirstByteHigh) {
    ask(Client, {"a"}, 0x00, 0xAB);
    ask(Client, {"a"}, 0xAB, 0xCD);
    ask(Client, {"a"}, 0x00, 0x05);
    EXPECT_EQ(log.lines,
              (std::vector<std::string>{"Q  [00AB] : a", "Q  [ABCD] : a", "Q  [0005] : a"}));
}

TEST_F(QueryPath, ShortDatagramIsIgnoredButItsPeerForgotten) {
    Bytes datagram = test::message(0x12, 0x34, 1, {});
    for (std::int32_t length : {11, 0, -1}) {
        handleQuery(q, datagram.data(), length, Client, Upstream, services);
    }
    EXPECT_TRUE(net.sent.empty());
    EXPECT_TRUE(log.lines.empty());
    EXPECT_EQ(q.txCounter, 0);
    EXPECT_EQ(net.closed, std::vector<ConnectionId>(3, Client));

    // A client that still waits for an answer keeps its peer.
    net.closed.clear();
    ask(Client, {"a"});
    handleQuery(q, datagram.data(), 11, Client, Upstream, services);
    EXPECT_TRUE(net.closed.empty());
    EXPECT_EQ(inFlight(Client), 1);
}

TEST_F(QueryPath, BlockReplyIsTheBareHeader) {
    Bytes datagram = test::message(0x12, 0x34, 1, test::questions({"blocked.example"}));
    datagram.resize(40, 0xEE);
    // Every header field non-zero: flags, QDCOUNT 1, ANCOUNT 2, NSCOUNT 3, ARCOUNT 4.
    const Bytes header{0x12, 0x34, 0x81, 0x80, 0, 1, 0, 2, 0, 3, 0, 4};
    std::copy(header.begin(), header.end(), datagram.begin());
    gVerdicts = {{u"blocked.example", 2}};
    query(Client, datagram);
    ASSERT_EQ(net.sent.size(), 1u);
    EXPECT_EQ(net.sent[0].bytes, (Bytes{0x12, 0x34, 0, 0, 0, 0, 0, 0, 0, 3, 0, 0}));
}

class BlockedClient : public QueryPath, public testing::WithParamInterface<std::int32_t> {};

TEST_P(BlockedClient, KeepsPeerOnlyWithQueriesInFlight) {
    gVerdicts = {{u"bad", GetParam()}};
    ask(Client, {"ok"});
    ask(Client, {"ok"});
    ask(Client, {"bad"});
    EXPECT_TRUE(net.closed.empty());
    EXPECT_EQ(inFlight(Client), 2);

    ask(8, {"bad"});
    EXPECT_EQ(net.closed, std::vector<ConnectionId>{8});
    EXPECT_FALSE(hasClientRef(8));
}

INSTANTIATE_TEST_SUITE_P(BlockAndBlockReply, BlockedClient, testing::Values(1, 2));

TEST_F(QueryPath, FailedForwardUsesTheNumberAndRecordsNothing) {
    const Bytes datagram = test::message(0x12, 0x34, 1, test::questions({"a"}));
    for (std::int32_t result : {-1, static_cast<std::int32_t>(datagram.size()) - 1}) {
        net.sendResult[Upstream] = result;
        query(Client, datagram);
    }
    EXPECT_EQ(q.txCounter, 2);
    EXPECT_TRUE(log.lines.empty());
    EXPECT_EQ(q.pendingQueries.size(), 0u);
    // Nothing will ever answer this client: its peer is not left open.
    EXPECT_EQ(net.closed, std::vector<ConnectionId>(2, Client));
    EXPECT_FALSE(hasClientRef(Client));

    net.sendResult.clear();
    net.closed.clear();
    query(Client, datagram);
    EXPECT_EQ(net.sent.back().bytes[0], 3);
    ASSERT_NE(pending(u"3"), nullptr);
    // A failed forward leaves a client with a query in flight open.
    net.sendResult[Upstream] = -1;
    query(Client, datagram);
    EXPECT_TRUE(net.closed.empty());
    EXPECT_EQ(inFlight(Client), 1);
}

TEST_F(QueryPath, KeysFollowTheCounterThroughItsWrap) {
    // Each query answered at once, so the tables stay small.
    for (std::uint32_t n = 1; n <= 65537; ++n) {
        net.sent.clear();
        ask(Client, {"a"});
        const Bytes& upstream = net.sent.at(0).bytes;
        const std::uint16_t number = static_cast<std::uint16_t>(upstream[0] | upstream[1] << 8);
        if (n == 1 || n == 32768 || n == 65536 || n == 65537) {
            SCOPED_TRACE(n);
            const std::u16string_view expected = n == 1       ? u"1"
                                                 : n == 32768 ? u"-32768"
                                                 : n == 65536 ? u"0"
                                                              : u"1";
            EXPECT_NE(pending(expected), nullptr);
            EXPECT_EQ(q.pendingQueries.size(), 1u);
        }
        answer(number);
        ASSERT_EQ(net.sent.size(), 2u);
    }
    EXPECT_EQ(q.pendingQueries.size(), 0u);
    EXPECT_FALSE(hasClientRef(Client));
}

TEST_F(QueryPath, AnswerFFFFFindsTheQuerySentWithFFFF) {
    q.txCounter = 0xFFFE;
    ask(Client, {"a"});
    EXPECT_EQ(net.sent.at(0).bytes[0], 0xFF);
    EXPECT_EQ(net.sent.at(0).bytes[1], 0xFF);
    ASSERT_NE(pending(u"-1"), nullptr);
    answer(0xFFFF);
    ASSERT_EQ(net.sent.size(), 2u);
    EXPECT_EQ(net.sent[1].to, Client);
    EXPECT_EQ(net.sent[1].bytes[0], 0x12);
}

// After the counter came round to a number still held, the old query is
// retired: its client no longer counts it and is closed if nothing is left.
TEST_F(QueryPath, WrapRetiresTheOverwrittenQueryOfAnotherClient) {
    ask(Client, {"a"});
    q.txCounter = 0;
    ask(8, {"b"}, 0x56, 0x78);
    EXPECT_EQ(net.closed, std::vector<ConnectionId>{Client});
    EXPECT_FALSE(hasClientRef(Client));
    EXPECT_EQ(inFlight(8), 1);
    EXPECT_EQ(q.pendingQueries.size(), 1u);

    answer(1);
    EXPECT_EQ(net.sent.back().to, 8u);
    EXPECT_EQ(net.sent.back().bytes[0], 0x56);
    EXPECT_EQ(net.closed, (std::vector<ConnectionId>{Client, 8}));
}

TEST_F(QueryPath, WrapKeepsAClientWithOtherQueriesOpen) {
    ask(Client, {"a"});
    ask(Client, {"a"});
    q.txCounter = 0;
    ask(8, {"b"});
    EXPECT_TRUE(net.closed.empty());
    EXPECT_EQ(inFlight(Client), 1);
}

TEST_F(QueryPath, WrapOntoTheSameClientsQueryKeepsItOpen) {
    ask(Client, {"a"}, 0x00, 0x01);
    q.txCounter = 0;
    ask(Client, {"a"}, 0x00, 0x02);
    EXPECT_TRUE(net.closed.empty());
    EXPECT_EQ(inFlight(Client), 1);
    EXPECT_EQ(pending(u"1")->clientTxId[1], 0x02);

    answer(1);
    EXPECT_EQ(net.sent.back().to, Client);
    EXPECT_EQ(net.sent.back().bytes[1], 0x02);
    EXPECT_EQ(net.closed, std::vector<ConnectionId>{Client});
    EXPECT_FALSE(hasClientRef(Client));
}

// One client can hold every transaction number at once. Its count must still
// read 65536 then, or a runt datagram would close its peer with every answer
// still due.
TEST_F(QueryPath, AClientHoldingEveryNumberKeepsItsPeer) {
    for (int i = 0; i < 0x10000; ++i) {
        ask(Client, {"a"});
    }
    ASSERT_EQ(q.pendingQueries.size(), 0x10000u);
    EXPECT_EQ(inFlight(Client), 0x10000);
    query(Client, Bytes(5, 0));
    ask(Client, {"a"});
    EXPECT_TRUE(net.closed.empty());
    EXPECT_EQ(inFlight(Client), 0x10000);

    answer(1);
    EXPECT_EQ(net.sent.back().to, Client);
    EXPECT_EQ(inFlight(Client), 0xFFFF);
    EXPECT_TRUE(net.closed.empty());
}

}  // namespace
}  // namespace corvane
