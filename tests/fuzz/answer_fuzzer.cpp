// One upstream datagram through handleAnswer, against a table of queries in
// flight seeded the same way for every input: clients with one or several
// queries, numbers on both sides of the signed wraps (keys -32768, 32767, -1,
// 0, 1), one client whose sends fail and one whose sends come out short.
//
// The datagram is the whole input, in a heap block exactly as long as it. If
// its first two bytes name a held number, exactly that query is relayed with
// the client's ID restored and retired; otherwise nothing at all happens.

#include <algorithm>
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
#include "proxy/TruncatedReply.h"

namespace corvane::fuzz {
namespace {

constexpr ConnectionId Upstream = 0xFFFF0001;
constexpr ConnectionId FailingClient = 42;        // every send to it fails
constexpr ConnectionId ShortClient = 0xFFFFFFFF;  // key "-1"; sends come out one byte short

struct Seed {
    std::uint16_t counterBefore;  // the query gets the number after this
    ConnectionId client;
};

// Numbers 0x7FFF, 0x8000, 0xFFFF, 0, 1, 2, 3 and 0x1234, shared by four clients.
constexpr Seed Seeds[] = {
    {0x7FFE, 3}, {0x7FFF, 0x80000000u},   {0xFFFE, 3},           {0xFFFF, ShortClient},
    {0x0000, 3}, {0x0001, FailingClient}, {0x0002, 0x80000000u}, {0x1233, 9},
};

void run(std::span<const std::uint8_t> input) {
    TrackingNetwork net(Upstream);
    RecordingLog log;
    SettableClock clock;
    ProxyServices services{net, log, clock, nullptr};
    QueriesInFlight q;
    std::uint8_t id = 0;
    for (const Seed& seed : Seeds) {
        q.txCounter = seed.counterBefore;
        std::vector<std::uint8_t> query = simpleQuery(0xC0, id++, "seed");
        net.receivedFrom(seed.client);
        handleQuery(q, query.data(), static_cast<std::int32_t>(query.size()), seed.client, Upstream,
                    services);
    }
    FUZZ_CHECK(q.pendingQueries.size() == std::size(Seeds), "harness: the table was not seeded");
    auditTables(q, net);
    net.sent.clear();
    log.lines.clear();
    const std::size_t length = input.size();
    net.setSendResult(FailingClient, -1);
    net.setSendResult(ShortClient, static_cast<std::int32_t>(length) - 1);
    std::unique_ptr<std::uint8_t[]> datagram(new std::uint8_t[length]);
    if (length != 0) {
        std::memcpy(datagram.get(), input.data(), length);
    }

    // What the datagram answers, looked up before the call.
    const PendingQuery* held = nullptr;
    PendingQuery answered{};
    std::int32_t inFlightBefore = 0;
    if (length >= 12) {
        held = q.pendingQueries.find(transactionKey(input[0], input[1]).view());
        if (held != nullptr) {
            answered = *held;
            inFlightBefore = q.clientRefs.readOrZero(clientKey(answered.client).view()).inFlight;
        }
    }
    const std::size_t recordsBefore = q.pendingQueries.size();

    handleAnswer(q, datagram.get(), static_cast<std::int32_t>(length), services);
    auditTables(q, net);

    if (held == nullptr) {
        FUZZ_CHECK(net.sent.empty() && log.lines.empty(), "a stray answer had an effect");
        FUZZ_CHECK(q.pendingQueries.size() == recordsBefore, "a stray answer retired a query");
        return;
    }
    FUZZ_CHECK(net.sent.size() == 1 && net.sent[0].to == answered.client,
               "one relay to the client that asked");
    const std::vector<std::uint8_t>& relayed = net.sent[0].bytes;
    FUZZ_CHECK(relayed.size() == length && relayed[0] == answered.clientTxId[0] &&
                   relayed[1] == answered.clientTxId[1] &&
                   std::equal(relayed.begin() + 2, relayed.end(), input.begin() + 2),
               "the relay is the answer under the client's ID");
    const bool delivered = answered.client != FailingClient && answered.client != ShortClient;
    const std::u16string line = u"A  [" + idText(answered.clientTxId[0], answered.clientTxId[1]) +
                                u"] = " + decimal(static_cast<std::int64_t>(length)) + u"b";
    FUZZ_CHECK(delivered ? log.lines.size() == 1 && log.lines[0] == line : log.lines.empty(),
               "the relay's log line");
    FUZZ_CHECK(q.pendingQueries.size() == recordsBefore - 1 &&
                   q.pendingQueries.find(transactionKey(input[0], input[1]).view()) == nullptr,
               "the answered query is retired");
    FUZZ_CHECK(net.isOpen(answered.client) == (inFlightBefore > 1),
               "the client's peer closes with its last query");
}

// The same bytes as the first part of an answer too long for the buffer:
// the truncated reply keeps the header, sets TC, clears the record counts,
// and keeps the question section as it came or none at all, reading nothing
// past the bytes that arrived.
void checkTruncatedReply(std::span<const std::uint8_t> input) {
    const std::size_t length = input.size();
    if (length < 12) {
        return;
    }
    std::unique_ptr<std::uint8_t[]> reply(new std::uint8_t[length]);
    std::memcpy(reply.get(), input.data(), length);
    const auto end = static_cast<std::size_t>(
        makeTruncatedReply(reply.get(), static_cast<std::int32_t>(length)));
    FUZZ_CHECK(end >= 12 && end <= length, "the reply lies within what arrived");
    FUZZ_CHECK(reply[2] == (input[2] | 0x02) && reply[3] == input[3], "flags with TC");
    FUZZ_CHECK(
        std::all_of(reply.get() + 6, reply.get() + 12, [](std::uint8_t b) { return b == 0; }),
        "no records counted");
    const bool questionsKept = reply[4] == input[4] && reply[5] == input[5];
    FUZZ_CHECK(questionsKept || (reply[4] == 0 && reply[5] == 0 && end == 12),
               "the questions as they came, or none");
    FUZZ_CHECK(std::equal(reply.get(), reply.get() + 2, input.begin()) &&
                   std::equal(reply.get() + 12, reply.get() + length, input.begin() + 12),
               "only the header changes");
}

}  // namespace
}  // namespace corvane::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    corvane::fuzz::run({data, size});
    corvane::fuzz::checkTruncatedReply({data, size});
    return 0;
}
