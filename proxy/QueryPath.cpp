#include "proxy/QueryPath.h"

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "proxy/DnsHeader.h"
#include "proxy/KeyText.h"
#include "proxy/MessageSend.h"
#include "proxy/QueryAsker.h"
#include "proxy/QuestionDigest.h"
#include "proxy/QuestionNames.h"
#include "proxy/QuestionReplies.h"
#include "proxy/TransactionId.h"

namespace corvane {

namespace {

// Storage reused from one datagram to the next, so that a query costs no
// allocation once the buffers have grown to the largest query seen.
struct QueryScratch {
    QuestionNames names;
    std::u16string message;
    Asker asker;
};

QueryScratch& scratch() {
    thread_local QueryScratch instance;
    return instance;
}

// A UDP client with nothing in flight is forgotten by the network layer at
// once; one with queries in flight keeps its ConnectionId for their answers.
// A TCP client's connection lives as long as its session.
void releaseClient(QueriesInFlight& q, const QueryRoute& route, const ProxyServices& s) {
    const KeyText key = clientKey(route.client);
    const ClientRef* ref = q.clientRefs.find(key.view());
    if (ref != nullptr && ref->inFlight != 0) {
        return;
    }
    if (route.transport == Transport::Datagram) {
        s.net.connClose(route.client);
    }
    if (ref != nullptr) {
        q.clientRefs.deleteCurrent();
    }
}

// Files the query just sent upstream under its number and counts it for its
// client. False when no record could be had for it; the number is then left
// free.
bool recordForward(QueriesInFlight& q, const QueryRoute& route, std::uint16_t number,
                   const std::array<std::uint8_t, 2>& clientTxId,
                   const std::optional<std::uint64_t>& question, QueryAsker& asker,
                   const ProxyServices& s) {
    const ConnectionId client = route.client;
    const KeyText txKey = transactionKey(number);
    PendingQuery* record = q.pendingQueries.findOrAdd(txKey.view());
    if (record == nullptr) {
        return false;
    }
    record->client = client;
    record->clientTxId = clientTxId;
    record->stamp = s.clock.localSeconds();
    record->upstream = route.upstream;
    record->transport = route.transport;
    record->question = question;

    const KeyText key = clientKey(client);
    ClientRef* ref = q.clientRefs.findOrAdd(key.view());
    if (ref == nullptr) {
        q.pendingQueries.deleteCurrent();
        return false;
    }
    ref->inFlight = ref->inFlight + 1;
    ref->handle = client;
    ref->transport = route.transport;
    record->asker = asker.keepIn(q.askers);
    q.heldNumbers.take(number);
    return true;
}

void forward(QueriesInFlight& q, std::uint8_t* buffer, std::int32_t length, const QueryRoute& asked,
             const ProxyServices& s, QueryAsker& asker, std::u16string_view message) {
    QueryRoute route = asked;
    if (route.onDemand != nullptr) {
        route.upstream = route.onDemand->linkForQuery(s);
    }
    if (route.upstream == 0) {
        releaseClient(q, route, s);
        return;
    }
    // All an answer will be held against; the ID is not part of it.
    const std::optional<std::uint64_t> question = questionDigest(buffer, length, q.questionKey);
    const std::uint16_t number = freeUpstreamNumber(q, route.client, s);
    const std::array<std::uint8_t, 2> clientTxId{buffer[0], buffer[1]};
    // Low byte first: the answer path reads the number back in this order.
    buffer[0] = static_cast<std::uint8_t>(number & 0xFF);
    buffer[1] = static_cast<std::uint8_t>(number >> 8);
    if (!sendMessage(route.transport, route.upstream, buffer, length, false, s)) {
        // Abandoned without a word; but a client with nothing else in
        // flight would otherwise keep its peer open for the rest of the run.
        releaseClient(q, route, s);
        return;
    }
    // The query is on its way before its asker is looked up: the lookup
    // never holds it back, and the client keeps its socket until the answer.
    asker.lookUp();
    if (!recordForward(q, route, number, clientTxId, question, asker, s)) {
        releaseClient(q, route, s);
        return;
    }
    asker.logLine(message);
}

// The verdict on one name: from FilterQueryFrom, told who asked, when the
// plug-in exports it and the query is attributed, else from FilterQuery.
std::int32_t verdictOn(const char16_t* name, QueryAsker& asker, const ProxyServices& s) {
    if (s.filterFrom != nullptr) {
        if (const CorvaneQueryClient* client = asker.pluginView()) {
            return s.filterFrom(name, client);
        }
    }
    return s.filter != nullptr ? s.filter(name) : Forward;
}

}  // namespace

void handleQuery(QueriesInFlight& q, std::uint8_t* buffer, std::int32_t length,
                 const QueryRoute& route, const ProxyServices& s) {
    if (length < DnsHeaderLength) {
        // Not a query; forget the peer unless it still waits for answers,
        // so that runt datagrams cannot pile up peers.
        releaseClient(q, route, s);
        return;
    }
    QueryScratch& work = scratch();
    QuestionNames& names = work.names;
    names.read(buffer, length);

    std::u16string& message = work.message;
    const std::array<char16_t, 4> id = transactionIdText(buffer[0], buffer[1]);
    message.assign(u"Q  [");
    message.append(id.data(), id.size());
    message.append(u"] : ");
    const std::size_t prefixLength = message.size();

    QueryAsker asker(route, s, work.asker);
    // Offer the names in datagram order until the first non-zero verdict;
    // every name still joins the log line.
    const bool filtered = s.filter != nullptr || s.filterFrom != nullptr;
    std::int32_t verdict = Forward;
    std::size_t matched = 0;
    for (std::size_t i = 0; i < names.count(); ++i) {
        if (verdict == Forward && filtered) {
            verdict = verdictOn(names.terminatedName(i), asker, s);
            matched = i;
        }
        if (i != 0) {
            message.append(u", ");
        }
        message.append(names.name(i));
    }

    switch (verdict) {
        case Block:
            asker.lookUp();
            releaseClient(q, route, s);
            message.resize(prefixLength);
            message.append(u"block (").append(names.name(matched)).append(u")");
            asker.logLine(message);
            break;
        case BlockReply:
            // Looked up first: a client told at once closes its socket, and
            // nothing would be left to find.
            asker.lookUp();
            // "No such name", at once: the client neither waits nor asks
            // another server.
            sendMessage(route.transport, route.client, buffer, makeNameErrorReply(buffer, length),
                        true, s);
            releaseClient(q, route, s);
            message.resize(prefixLength);
            message.append(u"block-F (").append(names.name(matched)).append(u")");
            asker.logLine(message);
            break;
        default:
            // Forward, and any value a filter should not have returned.
            forward(q, buffer, length, route, s, asker, message);
            break;
    }
}

}  // namespace corvane
