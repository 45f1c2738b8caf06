#include "proxy/AnswerPath.h"

#include <algorithm>
#include <array>
#include <optional>
#include <string_view>

#include "proxy/DnsHeader.h"
#include "proxy/KeyText.h"
#include "proxy/MessageSend.h"
#include "proxy/QuestionDigest.h"
#include "proxy/QuestionReplies.h"
#include "proxy/TransactionId.h"

namespace corvane {

namespace {

// Where an answer came from: the transport, and for a stream the link.
struct AnswerSource {
    Transport transport;
    ConnectionId link;
};

bool cameFrom(const PendingQuery& record, const AnswerSource& source) {
    return record.transport == source.transport &&
           (source.transport == Transport::Datagram || record.upstream == source.link);
}

// An answer's line names the asker of its query, as the query's line did.
void logAnswerLine(const QueriesInFlight& q, const PendingQuery& record, std::u16string_view line,
                   const ProxyServices& s) {
    const Asker* asker = q.askers.asker(record.asker);
    const ClientKey* client = q.askers.client(record.asker);
    if (asker != nullptr && client != nullptr) {
        s.log.queryLine(line, *client, *asker);
    } else {
        s.log.logLine(line);
    }
}

// Every kind of answer: found by number and held against the question asked,
// the client's ID restored, then (cut short) turned into the truncated reply,
// relayed, logged and retired.
void relayAnswer(QueriesInFlight& q, std::uint8_t* message, std::int32_t length, bool cutShort,
                 const AnswerSource& source, const ProxyServices& s) {
    if (length < DnsHeaderLength) {
        return;
    }
    const KeyText key = transactionKey(message[0], message[1]);
    const PendingQuery* record = q.pendingQueries.find(key.view());
    if (record == nullptr || !cameFrom(*record, source)) {
        return;
    }
    // The question it carries must be the one asked: a number alone can be
    // guessed. (A reply cut short carries its question whole at its start.)
    const std::optional<std::uint64_t> question = questionDigest(message, length, q.questionKey);
    if (!question || question != record->question) {
        // A datagram may be forged, and the true answer may still come, so
        // the query waits for it. On the upstream connection nothing can be
        // forged and no second answer will come.
        if (source.transport == Transport::Stream) {
            retireQuery(q, s);
        }
        return;
    }
    message[0] = record->clientTxId[0];
    message[1] = record->clientTxId[1];
    if (cutShort) {
        length = makeTruncatedReply(message, length);
    }
    if (sendMessage(record->transport, record->client, message, length, true, s)) {
        // "A  [" ID "] = " length "b", built on the stack.
        std::array<char16_t, 32> line{};
        std::size_t used = 0;
        const auto append = [&](std::u16string_view piece) {
            used = static_cast<std::size_t>(
                std::copy(piece.begin(), piece.end(), line.begin() + used) - line.begin());
        };
        const std::array<char16_t, 4> id = transactionIdText(message[0], message[1]);
        append(u"A  [");
        append({id.data(), id.size()});
        append(u"] = ");
        append(KeyText(length).view());
        append(u"b");
        logAnswerLine(q, *record, {line.data(), used}, s);
    }
    // Retired whether or not the relay went out: the client gets no second
    // chance at this answer. The record is still current in pendingQueries.
    retireQuery(q, s);
}

}  // namespace

void handleAnswer(QueriesInFlight& q, std::uint8_t* message, std::int32_t length,
                  const ProxyServices& s) {
    relayAnswer(q, message, length, false, {Transport::Datagram, 0}, s);
}

void handleOversizedAnswer(QueriesInFlight& q, std::uint8_t* message, std::int32_t length,
                           const ProxyServices& s) {
    relayAnswer(q, message, length, true, {Transport::Datagram, 0}, s);
}

void handleStreamAnswer(QueriesInFlight& q, std::uint8_t* message, std::int32_t length,
                        ConnectionId link, const ProxyServices& s) {
    relayAnswer(q, message, length, false, {Transport::Stream, link}, s);
}

}  // namespace corvane
