#include "proxy/AnswerPath.h"

#include <gtest/gtest.h>

#include <cctype>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "ProxyPathsFixture.h"

namespace corvane {
namespace {

using test::Bytes;

class AnswerPath : public testing::Test, public test::ProxyPathsFixture {
protected:
    static constexpr ConnectionId Client = 7;
    // Asks (a header alone for a 12-byte answer), then relays the upstream's
    // answer of length bytes to that query; returns the answer as received.
    Bytes relay(std::uint8_t id0, std::uint8_t id1, std::size_t length) {
        if (length == 12) {
            ask(Client, {}, id0, id1);
        } else {
            ask(Client, {"a"}, id0, id1);
        }
        Bytes datagram = answerTo(lastUpstream(), length);
        for (std::size_t i = lastUpstream().size(); i < length; ++i) {
            datagram[i] = static_cast<std::uint8_t>(i * 7 + 3);
        }
        Bytes received = datagram;
        deliver(datagram);
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
        EXPECT_EQ(log.utf8Lines()[1], c.logLine);
        // Retired: the record is gone, its number free, and the client, with
        // nothing left, closed.
        EXPECT_EQ(q.pendingQueries.size(), 0u);
        EXPECT_EQ(q.heldNumbers.size(), 0u);
        EXPECT_EQ(net.closed, std::vector<ConnectionId>{Client});
        EXPECT_FALSE(hasClientRef(Client));
    }
}

TEST_F(AnswerPath, ShortUnknownAndRepeatedAnswersAreDropped) {
    ask(Client, {"a"});
    const Bytes first = lastUpstream();
    ask(Client, {"b"});
    const std::uint16_t second = lastNumber();
    deliver(Bytes(first.begin(), first.begin() + 11));
    strayAnswer(freeNumber());
    // The number read the wrong way round, when that is not held too.
    const auto swapped = static_cast<std::uint16_t>(second << 8 | second >> 8);
    if (!q.heldNumbers.held(swapped)) {
        Bytes reversed = answerTo(lastUpstream());
        std::swap(reversed[0], reversed[1]);
        deliver(reversed);
    }
    EXPECT_EQ(net.sent.size(), 2u);
    EXPECT_EQ(log.lines.size(), 2u);
    EXPECT_EQ(q.pendingQueries.size(), 2u);

    deliver(answerTo(first));
    deliver(answerTo(first));
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
        net.sendResult[Client] = result;
        answerLast(30);
        EXPECT_EQ(net.sent.size(), 2u);
        EXPECT_EQ(log.lines.size(), 1u);
        EXPECT_EQ(q.pendingQueries.size(), 0u);
        EXPECT_EQ(net.closed, std::vector<ConnectionId>{Client});
    }
}

TEST_F(AnswerPath, ClientStaysOpenUntilItsLastQueryIsRetired) {
    std::vector<Bytes> forwarded;
    for (const char* name : {"a", "b", "c"}) {
        ask(Client, {name});
        forwarded.push_back(lastUpstream());
    }
    EXPECT_EQ(inFlight(Client), 3);
    deliver(answerTo(forwarded[1]));
    deliver(answerTo(forwarded[0]));
    EXPECT_TRUE(net.closed.empty());
    EXPECT_EQ(inFlight(Client), 1);

    // The third goes by expiry.
    clock.now += QueryLifetimeSeconds;
    expiryPass(q, services);
    EXPECT_EQ(net.closed, std::vector<ConnectionId>{Client});
    EXPECT_FALSE(hasClientRef(Client));
    EXPECT_EQ(q.heldNumbers.size(), 0u);
}

// Retiring must only ever count down a client that is counted: a lookup that
// adds what it does not find would file a record at -1 that nothing removes.
TEST_F(AnswerPath, RetiringAQueryOfAnUncountedClientFilesNoClientRecord) {
    ask(Client, {"a"});
    ASSERT_NE(q.clientRefs.find(clientKey(Client).view()), nullptr);
    q.clientRefs.deleteCurrent();
    answerLast();
    EXPECT_EQ(q.pendingQueries.size(), 0u);
    EXPECT_FALSE(hasClientRef(Client));
}

TEST_F(AnswerPath, OversizedAnswerReachesTheClientAsATruncatedReply) {
    ask(Client, {"big.example"}, 0x0A, 0x1B);
    // The first 2048 bytes of a longer answer: header, question, records.
    const Bytes question = test::questions({"big.example"});
    Bytes datagram = answerTo(lastUpstream(), 2048);
    datagram[7] = 90;
    handleOversizedAnswer(q, datagram.data(), 2048, services);

    Bytes expected = test::message(0x0A, 0x1B, 1, question);
    expected[2] = 0x83;  // TC added to what the upstream said
    ASSERT_EQ(net.sent.size(), 2u);
    EXPECT_EQ(net.sent[1].to, Client);
    EXPECT_EQ(net.sent[1].bytes, expected);
    ASSERT_EQ(log.lines.size(), 2u);
    EXPECT_EQ(log.utf8Lines()[1], "A  [0A1B] = " + std::to_string(expected.size()) + "b");
    EXPECT_EQ(q.pendingQueries.size(), 0u);
}

// An answer counts only if it asks what the query asked: a forger who has the
// number but not the question gets nothing through, and the query still
// waits for the true answer. Over UDP each of these is dropped without a word.
struct QuestionCase {
    const char* label;
    std::uint16_t qdcount;  // of the answer
    Bytes section;          // the answer's question section
    bool taken;
};
void PrintTo(const QuestionCase& c, std::ostream* os) {
    *os << c.label;
}

// The query asks for Host.Example.Test, type A, class IN.
const QuestionCase QuestionCases[] = {
    {"same", 1, test::questions({"Host.Example.Test"}), true},
    {"case differs", 1, test::questions({"hOST.eXAMPLE.tEST"}), true},
    {"other name", 1, test::questions({"evil.example.test"}), false},
    {"one letter more", 1, test::questions({"Host.Example.Tests"}), false},
    {"parent name", 1, test::questions({"Example.Test"}), false},
    {"other type",
     1,
     {4,   'H', 'o', 's', 't', 7,   'E', 'x', 'a', 'm', 'p', 'l',
      'e', 4,   'T', 'e', 's', 't', 0,   0,   28,  0,   1},
     false},
    {"other class",
     1,
     {4,   'H', 'o', 's', 't', 7,   'E', 'x', 'a', 'm', 'p', 'l',
      'e', 4,   'T', 'e', 's', 't', 0,   0,   1,   0,   3},
     false},
    {"no question", 0, {}, false},
    {"count 0 with the question after it", 0, test::questions({"Host.Example.Test"}), false},
    {"question twice", 2, test::questions({"Host.Example.Test", "Host.Example.Test"}), false},
    {"count 2, one question", 2, test::questions({"Host.Example.Test"}), false},
    {"type and class cut off",
     1,
     {4, 'H', 'o', 's', 't', 7, 'E', 'x', 'a', 'm', 'p', 'l', 'e', 4, 'T', 'e', 's', 't', 0},
     false},
    {"name never ends", 1, {4, 'H', 'o', 's', 't'}, false},
    {"pointer to the query's name", 1, {0xC0, 0x0C, 0, 1, 0, 1}, false},
};

class AnswerQuestion : public AnswerPath, public testing::WithParamInterface<QuestionCase> {};

TEST_P(AnswerQuestion, OnlyTheQuestionAskedIsTaken) {
    const QuestionCase& c = GetParam();
    ask(Client, {"Host.Example.Test"}, 0x0A, 0x1B);
    const Bytes forwarded = lastUpstream();
    Bytes forged = test::message(forwarded[0], forwarded[1], c.qdcount, c.section);
    forged[2] = 0x81;
    forged[3] = 0x80;
    deliver(forged);
    EXPECT_EQ(net.sent.size(), c.taken ? 2u : 1u);
    EXPECT_EQ(log.lines.size(), c.taken ? 2u : 1u);
    EXPECT_EQ(q.pendingQueries.size(), c.taken ? 0u : 1u);
    if (c.taken) {
        return;
    }
    // The oversized road holds the question the same way.
    forged.resize(2048, 0x5A);
    handleOversizedAnswer(q, forged.data(), 2048, services);
    EXPECT_EQ(net.sent.size(), 1u);
    // The true answer still gets through.
    deliver(answerTo(forwarded, 60));
    ASSERT_EQ(net.sent.size(), 2u);
    EXPECT_EQ(net.sent[1].to, Client);
    EXPECT_EQ(log.utf8Lines()[1], "A  [0A1B] = 60b");
}

INSTANTIATE_TEST_SUITE_P(Sections, AnswerQuestion, testing::ValuesIn(QuestionCases),
                         [](const testing::TestParamInfo<QuestionCase>& param) {
                             std::string name;
                             for (const char* c = param.param.label; *c != 0; ++c) {
                                 name += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
                             }
                             return name;
                         });

// A query whose own question cannot be read whole goes out, but no answer can
// be held against it, so none is taken.
TEST_F(AnswerPath, AQueryWithoutAWholeQuestionTakesNoAnswer) {
    Bytes cut = test::message(0x12, 0x34, 2, test::questions({"a.example"}));
    handleQuery(q, cut.data(), static_cast<std::int32_t>(cut.size()), Client, Upstream, services);
    ASSERT_EQ(q.pendingQueries.size(), 1u);
    answerLast();
    EXPECT_EQ(net.sent.size(), 1u);
    EXPECT_EQ(q.pendingQueries.size(), 1u);
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
    ask(Client, {"a"});
    ask(8, {"b"});
    // Which is walked first follows from the numbers the two were given.
    q.pendingQueries.resetWalk();
    const ConnectionId walkedFirst = q.pendingQueries.nextInWalk()->client;
    const ConnectionId walkedSecond = q.pendingQueries.nextInWalk()->client;
    clock.now += 29;
    clock.stepPerRead = 1;
    expiryPass(q, services);
    EXPECT_TRUE(hasClientRef(walkedFirst));
    EXPECT_FALSE(hasClientRef(walkedSecond));
    EXPECT_EQ(net.closed, std::vector<ConnectionId>{walkedSecond});
}

}  // namespace
}  // namespace corvane
