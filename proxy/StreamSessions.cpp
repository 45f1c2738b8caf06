#include "proxy/StreamSessions.h"

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
    if (event != NetEvent::Data && event != NetEvent::Disconnect) {
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
    }
    if (event == NetEvent::Disconnect || found->second.broken || found->second.framer.malformed()) {
        closeSession(client, q, s);
    }
}

void StreamSessions::accept(ConnectionId client, const ProxyServices& s) {
    if (sessions_.size() >= MaxSessions) {
        s.net.connClose(client);
        return;
    }
    Session& session = sessions_[client];
    session.lastActivity = clock_.localSeconds();
}

void StreamSessions::receive(ConnectionId client, Session& session, QueriesInFlight& q,
                             StreamUpstream& upstream, const ProxyServices& s) {
    const std::int32_t length =
        s.net.connRecv(client, readArea_.data(), static_cast<std::int32_t>(readArea_.size()));
    if (length <= 0) {
        return;
    }
    session.lastActivity = clock_.localSeconds();
    std::span<std::uint8_t> input(readArea_.data(), static_cast<std::size_t>(length));
    try {
        while (!input.empty() && !session.broken) {
            const StreamFramer::Step step = session.framer.next(input);
            input = input.subspan(step.consumed);
            if (step.status != StreamFramer::Status::Message) {
                return;
            }
            serveMessage(client, step.message.data(),
                         static_cast<std::int32_t>(step.message.size()), q, upstream, s);
        }
    } catch (const std::bad_alloc&) {
        // The rest of a split message could not be held: the stream is lost.
        session.broken = true;
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
    const QueryRoute route{client, upstream.linkForQuery(s), Transport::Stream};
    handleQuery(q, message, length, route, s);
}

void StreamSessions::sweep(QueriesInFlight& q, const ProxyServices& s) {
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

bool StreamSessions::dueForClose(ConnectionId client, const Session& session, std::int64_t now,
                                 QueriesInFlight& q) const {
    if (session.broken) {
        return true;
    }
    // Whole seconds: a connection is given at least the full time-out.
    if (distance(now, session.lastActivity) <= IdleSeconds) {
        return false;
    }
    return session.framer.held() != 0 || inFlightOf(q, client) == 0;
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
    sessions_.erase(client);
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
