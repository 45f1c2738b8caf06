#include "proxy/AnswerPath.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ProxyFakes.h"

namespace corvane {
namespace {

using test::Bytes;

class AnswerPath : public testing::Test, public test::ProxyBench {
protected:
    static constexpr ConnectionId Client = 7;
    // Asks, then relays an answer of length bytes to that query.
    Bytes relay(std::uint8_t id0, std::uint8_t id1, std::size_t length) {
        ask(Client, {"a"}, id0, id1);
        Bytes datagram(length);
        for (std::size_t i = 0; i < length; ++i) {
            datagram[i] = static_cast<std::uint8_t>(i * 7 + 3);
        }
        datagram[0] = static_cast<std::uint8_t>(q.txCounter & 0xFF);  // low byte first
        datagram[1] = static_cast<std::uint8_t>(q.txCounter >> 8);
        Bytes received = datagram;
        handleAnswer(q, datagram.data(), static_cast<std::int32_t>(length), services);
        return received;
    }
};

TEST_F(AnswerPath, RelaysWithTheClientsIdAndLogsTheLength) {
    const struct {
        std::uint8_t id0, id1;
        std::size_t length;
        const char* logLine;
    } cases[] = {
        {0x12, 0x34, 12, "A  [1234] = 12b"},
        {0x0A, 0x1B, 45, "A  [0A1B] = 45b"},
        {0x00, 0x05, 512, "A  [0005] = 512b"},
        {0xAB, 0xCD, 2048, "A  [ABCD] = 2048b"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.logLine);
        net = {};
        log = {};
        Bytes expected = relay(c.id0, c.id1, c.length);
        expected[0] = c.id0;
        expected[1] = c.id1;
        ASSERT_EQ(net.sent.size(), 2u);
        EXPECT_EQ(net.sent[1].to, Client);
        EXPECT_EQ(net.sent[1].bytes, expected);
        ASSERT_EQ(log.lines.size(), 2u);
        EXPECT_EQ(log.lines[1], c.logLine);
        // Retired: the record is gone and the client, with nothing left, closed.
        EXPECT_EQ(q.pendingQueries.size(), 0u);
        EXPECT_EQ(net.closed, std::vector<ConnectionId>{Client});
        EXPECT_FALSE(hasClientRef(Client));
    }
}

TEST_F(AnswerPath, ShortUnknownAndRepeatedAnswersAreDropped) {
    ask(Client, {"a"});
    ask(Client, {"b"});
    answer(1, 11);
    answer(3);
    answer(0x0100);  // number 256, or 1 read the wrong way round
    EXPECT_EQ(net.sent.size(), 2u);
    EXPECT_EQ(log.lines.size(), 2u);
    EXPECT_EQ(q.pendingQueries.size(), 2u);

    answer(1);
    answer(1);
    EXPECT_EQ(net.sent.size(), 3u);
    EXPECT_EQ(log.lines.size(), 3u);
    EXPECT_EQ(inFlight(Client), 1);
    EXPECT_TRUE(net.closed.empty());
}

TEST_F(AnswerPath, FailedRelayIsRetiredWithoutALogLine) {
    for (std::int32_t result : {-1, 0, 29}) {
        SCOPED_TRACE(result);
        net = {};
        log = {};
        ask(Client, {"a"});
        const std::uint16_t number = q.txCounter;
        net.sendResult[Client] = result;
        answer(number, 30);
        EXPECT_EQ(net.sent.size(), 2u);
        EXPECT_EQ(log.lines.size(), 1u);
        EXPECT_EQ(q.pendingQueries.size(), 0u);
        EXPECT_EQ(net.closed, std::vector<ConnectionId>{Client});
    }
}

TEST_F(AnswerPath, ClientStaysOpenUntilItsLastQueryIsRetired) {
    for (int i = 0; i < 3; ++i) {
        ask(Client, {"a"});
    }
    EXPECT_EQ(inFlight(Client), 3);
    answer(2);
    answer(1);
    EXPECT_TRUE(net.closed.empty());
    EXPECT_EQ(inFlight(Client), 1);

    // The third goes by expiry.
    clock.now += QueryLifetimeSeconds;
    expiryPass(q, services);
    EXPECT_EQ(net.closed, std::vector<ConnectionId>{Client});
    EXPECT_FALSE(hasClientRef(Client));
}

// Retiring must only ever count down a client that is counted: a lookup that
// adds what it does not find would file a record at -1 that nothing removes.
TEST_F(AnswerPath, RetiringAQueryOfAnUncountedClientFilesNoClientRecord) {
    PendingQuery* held = q.pendingQueries.findOrAdd(transactionKey(1).view());
    ASSERT_NE(held, nullptr);
    held->client = Client;
    answer(1);
    EXPECT_EQ(q.pendingQueries.size(), 0u);
    EXPECT_FALSE(hasClientRef(Client));
}

TEST_F(AnswerPath, OversizedAnswerReachesTheClientAsATruncatedReply) {
    ask(Client, {"big.example"}, 0x0A, 0x1B);
    // The first 2048 bytes of a longer answer: header, question, records.
    const Bytes question = test::questions({"big.example"});
    Bytes datagram = test::message(static_cast<std::uint8_t>(q.txCounter & 0xFF),
                                   static_cast<std::uint8_t>(q.txCounter >> 8), 1, question);
    datagram[2] = 0x81;
    datagram[7] = 90;
    datagram.resize(2048, 0x5A);
    handleOversizedAnswer(q, datagram.data(), 2048, services);

    Bytes expected = test::message(0x0A, 0x1B, 1, question);
    expected[2] = 0x83;  // TC added to what the upstream said
    ASSERT_EQ(net.sent.size(), 2u);
    EXPECT_EQ(net.sent[1].to, Client);
    EXPECT_EQ(net.sent[1].bytes, expected);
    ASSERT_EQ(log.lines.size(), 2u);
    EXPECT_EQ(log.lines[1], "A  [0A1B] = " + std::to_string(expected.size()) + "b");
    EXPECT_EQ(q.pendingQueries.size(), 0u);
}

class Expiry : public AnswerPath, public testing::WithParamInterface<std::int64_t> {};

TEST_P(Expiry, ForgetsQueriesThirtySecondsAwayEitherWay) {
    const std::int64_t shift = GetParam();
    ask(Client, {"a"});
    ask(Client, {"b"});
    clock.now += shift;
    expiryPass(q, services);
    const bool expired = shift >= 30 || shift <= -30;
    EXPECT_EQ(q.pendingQueries.size(), expired ? 0u : 2u);
    EXPECT_EQ(net.closed.size(), expired ? 1u : 0u);
    EXPECT_EQ(log.lines.size(), 2u);  // the two forwards; expiry is silent
    EXPECT_EQ(net.sent.size(), 2u);
}

INSTANTIATE_TEST_SUITE_P(ClockShifts, Expiry, testing::Values(0, 29, 30, 31, -29, -30, 100000));

TEST_F(AnswerPath, ExpiryRetiresEveryOldRecordOfAFullWalk) {
    // Many clients, several queries each: records crowd consecutive slots.
    for (ConnectionId client = 1; client <= 40; ++client) {
        for (int i = 0; i < 30; ++i) {
            ask(client, {"a"});
        }
    }
    clock.now += 30;
    ask(41, {"fresh"});
    expiryPass(q, services);
    EXPECT_EQ(q.pendingQueries.size(), 1u);
    EXPECT_EQ(net.closed.size(), 40u);
    EXPECT_EQ(q.clientRefs.size(), 1u);
    EXPECT_EQ(inFlight(41), 1);
}

TEST_F(AnswerPath, ExpiryReadsTheClockForEveryRecord) {
    ask(Client, {"a"});  // number 1: walked first
    ask(8, {"b"});       // number 2: walked second
    clock.now += 29;
    clock.stepPerRead = 1;
    expiryPass(q, services);
    EXPECT_NE(pending(u"1"), nullptr);
    EXPECT_EQ(pending(u"2"), nullptr);
    EXPECT_EQ(net.closed, std::vector<ConnectionId>{8});
}

}  // namespace
}  // namespace corvane
