#include "proxy/StreamSessions.h"

#include <algorithm>
#include <array>
#include <new>
#include <span>

#include "proxy/DnsHeader.h"
#include "proxy/KeyText.h"
#include "proxy/MessageSend.h"
#include "proxy/QueryPath.h"

namespace corvane {

namespace {

// One read takes up to this much; what is left is read in a later turn.
constexpr std::size_t ReadAreaSize = 16 * 1024;

std::int32_t inFlightOf(QueriesInFlight& q, ConnectionId client) {
    return q.clientRefs.readOrZero(clientKey(client).view()).inFlight;
}

// The answer to a query over the per-connection bound: its ID and opcode,
// SERVFAIL, no sections, so the client knows at once instead of waiting.
std::array<std::uint8_t, DnsHeaderLength> serverFailure(const std::uint8_t* query) {
    std::array<std::uint8_t, DnsHeaderLength> reply{};
    reply[0] = query[0];
    reply[1] = query[1];
    reply[dnsheader::FlagsHigh] = static_cast<std::uint8_t>(
        dnsheader::Response | (query[dnsheader::FlagsHigh] & dnsheader::OpcodeAndRecursion));
    reply[dnsheader::FlagsLow] = dnsheader::ServerFailure;
    return reply;
}

std::int64_t distance(std::int64_t a, std::int64_t b) {
    return a > b ? a - b : b - a;
}

}  // namespace

StreamSessions::StreamSessions(const Clock& clock)
    : clock_(clock), readArea_(ReadAreaSize), lastSweep_(clock.localSeconds()) {}

void StreamSessions::step(QueriesInFlight& q, StreamUpstream& upstream, const ProxyServices& s) {
    const NetEvent event = s.net.listenerPoll(listener_);
    const ConnectionId client = s.net.listenerLastPeer();
    if (event == NetEvent::Connect) {
        accept(client, s);
        return;
    }
    if (event == NetEvent::AcceptFailed) {
        // The layer says so once per episode, however long it lasts.
        s.log.logLine(u"Failed to accept TCP connections (out of descriptors or memory)");
        return;
    }
    if (event != NetEvent::Data && event != NetEvent::EndOfInput && event != NetEvent::Disconnect) {
        return;
    }
    const auto found = sessions_.find(client);
    if (found == sessions_.end()) {
        // Not ours (never accepted): closing it keeps it from being reported
        // again in every round.
        s.net.connClose(client);
        return;
    }
    if (event == NetEvent::Data) {
        receive(client, found->second, q, upstream, s);
    } else if (event == NetEvent::EndOfInput) {
        endInput(client, found->second);
    }
    if (event == NetEvent::Disconnect || found->second.broken || found->second.framer.malformed()) {
        closeSession(client, q, s);
    }
}

void StreamSessions::accept(ConnectionId client, const ProxyServices& s) {
    const std::uint32_t host = s.net.connRemoteHost(client);
    const auto counted = perHost_.find(host);
    const bool hostFull = counted != perHost_.end() && counted->second >= MaxPerHost;
    if (sessions_.size() >= MaxSessions || hostFull) {
        s.net.connClose(client);
        return;
    }
    Session& session = sessions_[client];
    session.lastActivity = clock_.localSeconds();
    session.host = host;
    if (host != 0) {
        ++perHost_[host];
    }
}

void StreamSessions::endInput(ConnectionId client, Session& session) {
    // A message begun and never finished can no longer be: it is dropped,
    // and what the client did send completely is still answered.
    session.framer.reset();
    session.inputEnded = true;
    inputEnded_.push_back(client);
}

void StreamSessions::receive(ConnectionId client, Session& session, QueriesInFlight& q,
                             StreamUpstream& upstream, const ProxyServices& s) {
    const std::int32_t length =
        s.net.connRecv(client, readArea_.data(), static_cast<std::int32_t>(readArea_.size()));
    if (length <= 0) {
        return;
    }
    const std::int64_t now = clock_.localSeconds();
    session.lastActivity = now;
    // Whether the message held before this read is still the one held after
    // it: its deadline then stands; otherwise what is held began just now.
    bool sameMessage = session.framer.held() != 0;
    std::span<std::uint8_t> input(readArea_.data(), static_cast<std::size_t>(length));
    try {
        while (!input.empty() && !session.broken) {
            const StreamFramer::Step step = session.framer.next(input);
            input = input.subspan(step.consumed);
            if (step.status != StreamFramer::Status::Message) {
                break;
            }
            sameMessage = false;
            serveMessage(client, step.message.data(),
                         static_cast<std::int32_t>(step.message.size()), q, upstream, s);
        }
    } catch (const std::bad_alloc&) {
        // The rest of a split message could not be held: the stream is lost.
        session.broken = true;
    }
    if (!sameMessage) {
        session.messageBegan = now;
    }
}

void StreamSessions::serveMessage(ConnectionId client, std::uint8_t* message, std::int32_t length,
                                  QueriesInFlight& q, StreamUpstream& upstream,
                                  const ProxyServices& s) {
    if (inFlightOf(q, client) >= MaxInFlight) {
        const auto reply = serverFailure(message);
        sendMessage(Transport::Stream, client, reply.data(), DnsHeaderLength, true, s);
        return;
    }
    const QueryRoute route{client, 0, Transport::Stream, &upstream};
    handleQuery(q, message, length, route, s);
}

void StreamSessions::sweep(QueriesInFlight& q, const ProxyServices& s) {
    closeFinished(q, s);
    const std::int64_t now = clock_.localSeconds();
    if (now == lastSweep_) {
        return;
    }
    lastSweep_ = now;
    closing_.clear();
    for (const auto& [client, session] : sessions_) {
        if (dueForClose(client, session, now, q)) {
            closing_.push_back(client);
        }
    }
    for (ConnectionId client : closing_) {
        closeSession(client, q, s);
    }
}

void StreamSessions::closeFinished(QueriesInFlight& q, const ProxyServices& s) {
    if (inputEnded_.empty()) {
        return;
    }
    // Output still queued would be dropped by the close; what the system has
    // taken goes out after it.
    closing_.clear();
    for (ConnectionId client : inputEnded_) {
        if (inFlightOf(q, client) == 0 && s.net.connPendingOutput(client) == 0) {
            closing_.push_back(client);
        }
    }
    for (ConnectionId client : closing_) {
        closeSession(client, q, s);
    }
}

bool StreamSessions::dueForClose(ConnectionId client, const Session& session, std::int64_t now,
                                 QueriesInFlight& q) const {
    if (session.broken) {
        return true;
    }
    // Whole seconds: a connection is given at least the full time.
    if (session.framer.held() != 0) {
        return distance(now, session.messageBegan) > IdleSeconds;
    }
    return distance(now, session.lastActivity) > IdleSeconds && inFlightOf(q, client) == 0;
}

void StreamSessions::closeSession(ConnectionId client, QueriesInFlight& q, const ProxyServices& s) {
    // Its answers still due would find no one: they are retired now, so that
    // nothing is left for the id, which the layer may later give another peer.
    if (q.clientRefs.find(clientKey(client).view()) != nullptr) {
        retireWhere(q, s, [client](const PendingQuery& record) {
            return record.transport == Transport::Stream && record.client == client;
        });
    }
    s.net.connClose(client);
    const auto found = sessions_.find(client);
    if (found == sessions_.end()) {
        return;
    }
    if (found->second.inputEnded) {
        std::erase(inputEnded_, client);
    }
    if (const std::uint32_t host = found->second.host; host != 0 && --perHost_[host] == 0) {
        perHost_.erase(host);
    }
    sessions_.erase(found);
}

void StreamSessions::closeAll(QueriesInFlight& q, const ProxyServices& s) {
    closing_.clear();
    for (const auto& entry : sessions_) {
        closing_.push_back(entry.first);
    }
    for (ConnectionId client : closing_) {
        closeSession(client, q, s);
    }
}

void StreamSessions::replySent(ConnectionId client) {
    const auto found = sessions_.find(client);
    if (found != sessions_.end()) {
        found->second.lastActivity = clock_.localSeconds();
    }
}

void StreamSessions::replyRefused(ConnectionId client) {
    const auto found = sessions_.find(client);
    if (found != sessions_.end()) {
        found->second.broken = true;
    }
}

}  // namespace corvane
