#include "proxy/QueryPath.h"

#include <gtest/gtest.h>

#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "ProxyPathsFixture.h"

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

class QueryPath : public testing::Test, public test::ProxyPathsFixture {
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
    EXPECT_EQ(log.utf8Lines(), std::vector<std::string>{c.logLine});
    switch (c.sent) {
        case Sent::Upstream: {
            ASSERT_EQ(net.sent.size(), 1u);
            EXPECT_EQ(net.sent[0].to, Upstream);
            // A number of its own, low byte first; the rest of the datagram
            // goes as it came.
            const std::uint16_t number = lastNumber();
            Bytes expected = datagram;
            expected[0] = net.sent[0].bytes[0];
            expected[1] = net.sent[0].bytes[1];
            EXPECT_EQ(net.sent[0].bytes, expected);
            EXPECT_TRUE(q.heldNumbers.held(number));
            EXPECT_EQ(q.heldNumbers.size(), 1u);
            const PendingQuery* record = pending(transactionKey(number).view());
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
    EXPECT_EQ(log.utf8Lines(),
              (std::vector<std::string>{"Q  [00AB] : a", "Q  [ABCD] : a", "Q  [0005] : a"}));
}

TEST_F(QueryPath, ShortDatagramIsIgnoredButItsPeerForgotten) {
    Bytes datagram = test::message(0x12, 0x34, 1, {});
    for (std::int32_t length : {11, 0, -1}) {
        handleQuery(q, datagram.data(), length, Client, Upstream, services);
    }
    EXPECT_TRUE(net.sent.empty());
    EXPECT_TRUE(log.lines.empty());
    EXPECT_EQ(q.heldNumbers.size(), 0u);
    EXPECT_EQ(net.closed, std::vector<ConnectionId>(3, Client));

    // A client that still waits for an answer keeps its peer.
    net.closed.clear();
    ask(Client, {"a"});
    handleQuery(q, datagram.data(), 11, Client, Upstream, services);
    EXPECT_TRUE(net.closed.empty());
    EXPECT_EQ(inFlight(Client), 1);
}

// The reply says the name does not exist, for the question asked, so that a
// stub resolver stops at once; makeNameErrorReply has the rows of its own.
TEST_F(QueryPath, BlockReplyAnswersNameErrorWithTheQuestion) {
    const Bytes question = test::questions({"blocked.example"});
    Bytes datagram = test::message(0x12, 0x34, 1, question);
    // An EDNS record after the question; flags QR and RD, every count set.
    const Bytes header{0x12, 0x34, 0x81, 0x80, 0, 1, 0, 2, 0, 3, 0, 4};
    std::copy(header.begin(), header.end(), datagram.begin());
    datagram.resize(40, 0xEE);
    gVerdicts = {{u"blocked.example", 2}};
    query(Client, datagram);
    ASSERT_EQ(net.sent.size(), 1u);
    Bytes expected{0x12, 0x34, 0x81, 0x83, 0, 1, 0, 0, 0, 0, 0, 0};
    expected.insert(expected.end(), question.begin(), question.end());
    EXPECT_EQ(net.sent[0].bytes, expected);
    EXPECT_EQ(log.utf8Lines(), std::vector<std::string>{"Q  [1234] : block-F (blocked.example)"});
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

TEST_F(QueryPath, FailedForwardRecordsNothingAndHoldsNoNumber) {
    const Bytes datagram = test::message(0x12, 0x34, 1, test::questions({"a"}));
    for (std::int32_t result : {-1, static_cast<std::int32_t>(datagram.size()) - 1}) {
        net.sendResult[Upstream] = result;
        query(Client, datagram);
    }
    EXPECT_EQ(q.heldNumbers.size(), 0u);
    EXPECT_TRUE(log.lines.empty());
    EXPECT_EQ(q.pendingQueries.size(), 0u);
    // Nothing will ever answer this client: its peer is not left open.
    EXPECT_EQ(net.closed, std::vector<ConnectionId>(2, Client));
    EXPECT_FALSE(hasClientRef(Client));

    net.sendResult.clear();
    net.closed.clear();
    query(Client, datagram);
    ASSERT_NE(pending(transactionKey(lastNumber()).view()), nullptr);
    // A failed forward leaves a client with a query in flight open.
    net.sendResult[Upstream] = -1;
    query(Client, datagram);
    EXPECT_TRUE(net.closed.empty());
    EXPECT_EQ(inFlight(Client), 1);
    EXPECT_EQ(q.heldNumbers.size(), 1u);
}

// Every number can be held at once, and none twice. One more query then
// retires the oldest in flight to take its number: its client, left with
// nothing, is closed; a client with others in flight stays open.
TEST_F(QueryPath, WithEveryNumberHeldTheOldestQueryGivesWay) {
    constexpr ConnectionId Oldest = 8;
    constexpr ConnectionId Newcomer = 9;
    ask(Oldest, {"first"});
    const std::uint16_t oldestNumber = lastNumber();
    std::vector<bool> seen(0x10000);
    seen[oldestNumber] = true;
    for (int i = 1; i < 0x10000; ++i) {
        ask(Client, {"a"});
        ASSERT_FALSE(seen[lastNumber()]) << "number drawn twice: " << lastNumber();
        seen[lastNumber()] = true;
    }
    ASSERT_EQ(q.heldNumbers.size(), 0x10000u);
    EXPECT_EQ(q.heldNumbers.oldest(), oldestNumber);

    const std::uint16_t secondNumber = numberOf(net.sent[1].bytes);
    ask(Newcomer, {"b"}, 0x56, 0x78);
    EXPECT_EQ(lastNumber(), oldestNumber);
    EXPECT_EQ(net.closed, std::vector<ConnectionId>{Oldest});
    EXPECT_FALSE(hasClientRef(Oldest));
    const PendingQuery* record = pending(transactionKey(oldestNumber).view());
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->client, Newcomer);
    EXPECT_EQ(q.pendingQueries.size(), 0x10000u);

    ask(Newcomer, {"b"});
    EXPECT_EQ(lastNumber(), secondNumber);
    EXPECT_EQ(net.closed, std::vector<ConnectionId>{Oldest});
    EXPECT_EQ(inFlight(Client), 0xFFFE);
    EXPECT_EQ(inFlight(Newcomer), 2);

    // The answer to the first query of the newcomer reaches it, under its ID.
    Bytes answer = answerTo(net.sent[net.sent.size() - 2].bytes);
    deliver(answer);
    EXPECT_EQ(net.sent.back().to, Newcomer);
    EXPECT_EQ(net.sent.back().bytes[0], 0x56);
}

// One client can hold every transaction number at once. Its count must still
// read 65536 then, or a runt datagram would close its peer with every answer
// still due; and its own oldest query giving way must not close it either.
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

    answerLast();
    EXPECT_EQ(net.sent.back().to, Client);
    EXPECT_EQ(inFlight(Client), 0xFFFF);
    EXPECT_TRUE(net.closed.empty());
}

}  // namespace
}  // namespace corvane
