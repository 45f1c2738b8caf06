// One upstream datagram through handleAnswer, against a table of queries in
// flight seeded the same way for every input: clients with one or several
// queries, each query for a name of its own, one client whose sends fail and
// one whose sends come out short.
//
// The datagram is the input, in a heap block exactly as long as it. The
// numbers of the queries are drawn and cannot be guessed by a fuzzer, so a
// first byte below 16 puts the datagram under the number of the seeded query
// its second byte picks (modulo 8); any other first byte leaves the number as
// it came. If the number is held and the datagram carries the question that
// query asked, exactly that query is relayed with the client's ID restored and
// retired; otherwise nothing at all happens, and the query still waits.

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "FuzzCheck.h"
#include "ProxyHarness.h"
#include "TrackingNetwork.h"
#include "proxy/AnswerPath.h"
#include "proxy/KeyText.h"
#include "proxy/QueryPath.h"
#include "proxy/QuestionReplies.h"

namespace corvane::fuzz {
namespace {

constexpr ConnectionId FailingClient = 42;        // every send to it fails
constexpr ConnectionId ShortClient = 0xFFFFFFFF;  // key "-1"; sends come out one byte short

// Four clients, one of them with three queries in flight.
constexpr ConnectionId Seeds[] = {3, 0x80000000u, 3, ShortClient, 3, FailingClient, 0x80000000u, 9};
constexpr std::size_t SeedCount = std::size(Seeds);

void run(std::span<const std::uint8_t> input) {
    TrackingNetwork net(UpstreamLink);
    test::FakeLog log;
    test::FakeClock clock;
    ProxyServices services{net, log, clock, nullptr};
    QueriesInFlight q(test::testSeed());
    std::array<std::vector<std::uint8_t>, SeedCount> forwarded;
    for (std::size_t i = 0; i < SeedCount; ++i) {
        const char label[] = {'s', 'e', 'e', 'd', static_cast<char>('0' + i), '\0'};
        std::vector<std::uint8_t> query = simpleQuery(0xC0, static_cast<std::uint8_t>(i), label);
        net.receivedFrom(Seeds[i]);
        handleQuery(q, query.data(), static_cast<std::int32_t>(query.size()), Seeds[i],
                    UpstreamLink, services);
        FUZZ_CHECK(!net.sent.empty(), "harness: a seed was not forwarded");
        forwarded[i] = net.sent.back().bytes;
    }
    FUZZ_CHECK(q.pendingQueries.size() == SeedCount, "harness: the table was not seeded");
    auditTables(q, net);
    net.sent.clear();
    log.clear();
    const std::size_t length = input.size();
    net.sendResult[FailingClient] = -1;
    net.sendResult[ShortClient] = static_cast<std::int32_t>(length) - 1;
    std::unique_ptr<std::uint8_t[]> datagram(new std::uint8_t[length]);
    if (length != 0) {
        std::memcpy(datagram.get(), input.data(), length);
    }
    if (length >= 2 && input[0] < 16) {
        const std::vector<std::uint8_t>& chosen = forwarded[input[1] % SeedCount];
        datagram[0] = chosen[0];
        datagram[1] = chosen[1];
    }
    const std::span<const std::uint8_t> received(datagram.get(), length);
    const std::vector<std::uint8_t> copy(received.begin(), received.end());

    // What the datagram answers, looked up before the call.
    const PendingQuery* held = nullptr;
    PendingQuery answered{};
    std::int32_t inFlightBefore = 0;
    bool matches = false;
    if (length >= 12) {
        held = q.pendingQueries.find(transactionKey(copy[0], copy[1]).view());
        if (held != nullptr) {
            answered = *held;
            inFlightBefore = q.clientRefs.readOrZero(clientKey(answered.client).view()).inFlight;
            const auto asked = std::find_if(forwarded.begin(), forwarded.end(), [&](const auto& f) {
                return f[0] == copy[0] && f[1] == copy[1];
            });
            FUZZ_CHECK(asked != forwarded.end(), "harness: a held number no seed has");
            matches = sameQuestion(copy, *asked);
        }
    }
    const std::size_t recordsBefore = q.pendingQueries.size();

    handleAnswer(q, datagram.get(), static_cast<std::int32_t>(length), services);
    auditTables(q, net);

    if (!matches) {
        FUZZ_CHECK(net.sent.empty() && log.lines.empty(), "a stray or forged answer had an effect");
        FUZZ_CHECK(q.pendingQueries.size() == recordsBefore, "a stray answer retired a query");
        return;
    }
    FUZZ_CHECK(net.sent.size() == 1 && net.sent[0].to == answered.client,
               "one relay to the client that asked");
    const std::vector<std::uint8_t>& relayed = net.sent[0].bytes;
    FUZZ_CHECK(relayed.size() == length && relayed[0] == answered.clientTxId[0] &&
                   relayed[1] == answered.clientTxId[1] &&
                   std::equal(relayed.begin() + 2, relayed.end(), copy.begin() + 2),
               "the relay is the answer under the client's ID");
    const bool delivered = answered.client != FailingClient && answered.client != ShortClient;
    const std::u16string line = u"A  [" + idText(answered.clientTxId[0], answered.clientTxId[1]) +
                                u"] = " + decimal(static_cast<std::int64_t>(length)) + u"b";
    FUZZ_CHECK(delivered ? log.lines.size() == 1 && log.lines[0] == line : log.lines.empty(),
               "the relay's log line");
    FUZZ_CHECK(q.pendingQueries.size() == recordsBefore - 1 &&
                   q.pendingQueries.find(transactionKey(copy[0], copy[1]).view()) == nullptr,
               "the answered query is retired");
    FUZZ_CHECK(net.isOpen(answered.client) == (inFlightBefore > 1),
               "the client's peer closes with its last query");
}

// The same bytes as the first part of an answer too long for the buffer, and
// as a query blocked with a reply: each reply keeps the header with its flags
// set, clears the record counts, and keeps the question section as an
// independent reading finds it whole, or none at all, reading nothing past
// the bytes that arrived.
template <typename Make>
void checkReply(std::span<const std::uint8_t> input, Make make, std::uint8_t flagsHigh,
                std::uint8_t flagsLow, const char* what) {
    const std::size_t length = input.size();
    std::unique_ptr<std::uint8_t[]> reply(new std::uint8_t[length]);
    std::memcpy(reply.get(), input.data(), length);
    const auto end = static_cast<std::size_t>(make(reply.get(), static_cast<std::int32_t>(length)));
    FUZZ_CHECK(end >= 12 && end <= length, "the reply lies within what arrived");
    FUZZ_CHECK(reply[2] == flagsHigh && reply[3] == flagsLow, what);
    checkQuestionsOnlyReply(input, {reply.get(), end}, what);
}

void checkReplies(std::span<const std::uint8_t> input) {
    if (input.size() < 12) {
        return;
    }
    checkReply(input, makeTruncatedReply, static_cast<std::uint8_t>(input[2] | 0x02), input[3],
               "the truncated reply");
    checkReply(input, makeNameErrorReply, static_cast<std::uint8_t>(0x80 | (input[2] & 0x79)), 0x83,
               "the name error reply");
}

}  // namespace
}  // namespace corvane::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    corvane::fuzz::run({data, size});
    corvane::fuzz::checkReplies({data, size});
    return 0;
}
