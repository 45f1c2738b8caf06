// One client datagram through the question-name reader and handleQuery.
//
// The datagram is the whole input, copied into a heap block exactly as long
// as the datagram, so that any read or write past its end is caught. The
// first byte (the high byte of the client's ID) also sets up the scene:
//   bit 0     no filter loaded
//   bit 1     the upstream link sends one byte short
//   bits 2-3  queries of the same client already in flight (0 to 3)
//   bit 4     the client's ConnectionId is 0x80000000 instead of 7
//   bits 5-7  queries of another client already in flight (0 to 7)
// The outcome is checked against what the datagram asks for: names read
// within the datagram, the filter offered them in order up to the first
// non-zero verdict, and exactly the send, records, close and log line of
// that verdict; a forward goes under a number no query held before.

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
#include "proxy/KeyText.h"
#include "proxy/QueryPath.h"
#include "proxy/QuestionNames.h"
#include "proxy/QuestionReplies.h"

namespace corvane::fuzz {
namespace {

constexpr ConnectionId Bystander = 5;

// The name reader alone: every name lies within the datagram and matches an
// independent reading.
void checkNames(std::span<const std::uint8_t> datagram) {
    QuestionNames names;
    names.read(datagram.data(), static_cast<std::int32_t>(datagram.size()));
    const std::vector<std::u16string> expected = expectedNames(datagram);
    FUZZ_CHECK(names.count() == expected.size(), "number of question names");
    std::size_t characters = 0;
    for (std::size_t i = 0; i < names.count(); ++i) {
        FUZZ_CHECK(names.name(i) == expected[i], "question name text");
        FUZZ_CHECK(std::u16string_view(names.terminatedName(i)) == expected[i],
                   "terminated name differs from the name");
        characters += names.name(i).size();
    }
    FUZZ_CHECK(characters <= datagram.size(), "names longer than the datagram");
}

void run(std::span<const std::uint8_t> input) {
    checkNames(input);

    const std::uint8_t scene = input.empty() ? 0 : input[0];
    const bool filterLoaded = (scene & 0x01) == 0;
    const bool shortSend = (scene & 0x02) != 0;
    const int prior = (scene >> 2) & 0x03;
    const ConnectionId client = (scene & 0x10) != 0 ? 0x80000000u : 7u;
    const int bystanders = (scene >> 5) & 0x07;

    TrackingNetwork net(UpstreamLink);
    test::FakeLog log;
    test::FakeClock clock;
    ProxyServices services{net, log, clock, nullptr};
    QueriesInFlight q(test::testSeed());

    for (int i = 0; i < prior; ++i) {
        std::vector<std::uint8_t> earlier = simpleQuery(0xAA, static_cast<std::uint8_t>(i), "e");
        net.receivedFrom(client);
        handleQuery(q, earlier.data(), static_cast<std::int32_t>(earlier.size()), client,
                    UpstreamLink, services);
    }
    for (int i = 0; i < bystanders; ++i) {
        std::vector<std::uint8_t> other = simpleQuery(0xBB, static_cast<std::uint8_t>(i), "other");
        net.receivedFrom(Bystander);
        handleQuery(q, other.data(), static_cast<std::int32_t>(other.size()), Bystander,
                    UpstreamLink, services);
    }
    FUZZ_CHECK(q.pendingQueries.size() == static_cast<std::size_t>(prior + bystanders),
               "harness: the scene was not set up");
    std::vector<std::uint16_t> heldBefore;
    q.pendingQueries.resetWalk();
    while (q.pendingQueries.nextInWalk() != nullptr) {
        heldBefore.push_back(*transactionNumberOf(q.pendingQueries.currentKey()));
    }
    auditTables(q, net);
    net.sent.clear();
    log.clear();
    offeredNames().clear();

    services.filter = filterLoaded ? scriptedFilter : nullptr;
    if (shortSend) {
        net.sendResult[UpstreamLink] = static_cast<std::int32_t>(input.size()) - 1;
    }

    // Exactly as long as the datagram: the code must not need a byte more.
    const std::size_t length = input.size();
    std::unique_ptr<std::uint8_t[]> datagram(new std::uint8_t[length]);
    if (length != 0) {
        std::memcpy(datagram.get(), input.data(), length);
    }
    net.receivedFrom(client);
    handleQuery(q, datagram.get(), static_cast<std::int32_t>(length), client, UpstreamLink,
                services);
    auditTables(q, net);

    const bool keptOpen = prior > 0;
    if (length < 12) {
        FUZZ_CHECK(net.sent.empty() && log.lines.empty(), "a runt datagram had an effect");
        FUZZ_CHECK(q.heldNumbers.size() == heldBefore.size(), "a runt datagram took a number");
        FUZZ_CHECK(net.isOpen(client) == keptOpen, "a runt datagram left its peer behind");
        return;
    }

    // What should have happened.
    const std::vector<std::u16string> names = expectedNames(input);
    std::int32_t verdict = 0;
    std::size_t matched = 0;
    std::vector<std::u16string> offered;
    std::u16string joined;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (verdict == 0 && filterLoaded) {
            offered.push_back(names[i]);
            verdict = verdictFor(names[i]);
            matched = i;
        }
        joined += (i == 0 ? u"" : u", ") + names[i];
    }
    FUZZ_CHECK(offeredNames() == offered, "names offered to the filter");
    const std::u16string prefix = u"Q  [" + idText(input[0], input[1]) + u"] : ";

    if (verdict == 1 || verdict == 2) {
        FUZZ_CHECK(q.heldNumbers.size() == heldBefore.size(), "a blocked query took a number");
        FUZZ_CHECK(net.isOpen(client) == keptOpen, "block: the client's peer");
        const std::u16string expectedLine =
            prefix + (verdict == 1 ? u"block (" : u"block-F (") + names[matched] + u")";
        FUZZ_CHECK(log.lines.size() == 1 && log.lines[0] == expectedLine, "block log line");
        if (verdict == 1) {
            FUZZ_CHECK(net.sent.empty(), "a plain block sent something");
        } else {
            FUZZ_CHECK(net.sent.size() == 1 && net.sent[0].to == client,
                       "one reply, to the client");
            const std::vector<std::uint8_t>& reply = net.sent[0].bytes;
            FUZZ_CHECK(
                reply.size() >= 12 && reply[2] == (0x80 | (input[2] & 0x79)) && reply[3] == 0x83,
                "the reply is a name error");
            checkQuestionsOnlyReply(input, reply, "the name error carries the question");
        }
        return;
    }

    // Forward, also for verdicts outside 0 to 2.
    FUZZ_CHECK(net.sent.size() == 1 && net.sent[0].to == UpstreamLink, "one datagram upstream");
    const std::vector<std::uint8_t>& up = net.sent[0].bytes;
    FUZZ_CHECK(up.size() == length && std::equal(up.begin() + 2, up.end(), input.begin() + 2),
               "the datagram upstream is the query under a number of its own");
    const std::uint16_t number = numberOf(up);
    FUZZ_CHECK(std::find(heldBefore.begin(), heldBefore.end(), number) == heldBefore.end(),
               "a forward took a number another query holds");
    const PendingQuery* record = q.pendingQueries.find(transactionKey(number).view());
    if (shortSend) {
        FUZZ_CHECK(log.lines.empty(), "a failed forward was logged");
        FUZZ_CHECK(record == nullptr || record->client != client, "a failed forward was recorded");
        FUZZ_CHECK(net.isOpen(client) == keptOpen, "failed forward: the client's peer");
        return;
    }
    FUZZ_CHECK(log.lines.size() == 1 && log.lines[0] == prefix + joined, "forward log line");
    FUZZ_CHECK(record != nullptr && record->client == client && record->clientTxId[0] == input[0] &&
                   record->clientTxId[1] == input[1] && record->stamp == clock.now,
               "the record of the forwarded query");
    FUZZ_CHECK(record->question.has_value() == readSection(input).whole,
               "a digest exactly for a question section read whole");
    FUZZ_CHECK(q.pendingQueries.size() == heldBefore.size() + 1,
               "a forward retired another query while numbers were free");
}

}  // namespace
}  // namespace corvane::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    corvane::fuzz::run({data, size});
    return 0;
}
