#pragma once

#include <cstddef>
#include <cstdint>
#include <unordered_map>
#include <vector>

#include "log/Clock.h"
#include "net/NetTypes.h"
#include "proxy/ProxyServices.h"
#include "proxy/QueriesInFlight.h"
#include "proxy/StreamFramer.h"
#include "proxy/StreamUpstream.h"

namespace corvane {

// The TCP clients: one session per accepted connection, each with its framer
// and the time it last showed life. Every message a client sends goes through
// the same query path as a datagram, and its answers come back framed on the
// same connection in the order they arrive.
//
// The bounds keep a few hostile or broken clients from stalling the loop or
// exhausting the program:
// - at most MaxSessions connections; one more is accepted and closed at once,
//   so the client hears a clean end rather than waiting in the backlog;
// - a connection that has sent nothing and received no answer for
//   IdleSeconds is closed, whether it is idle or stalled inside a message;
//   one still waiting for answers is left to them (they end by answer, by
//   the loss of the upstream link or by expiry) unless it is mid-message;
// - input is one message at most (the framer), output what the network
//   layer's per-connection limit allows: a refused reply closes the
//   connection;
// - at most MaxInFlight queries of one connection are forwarded at a time; a
//   query beyond that is answered at once with SERVFAIL.
class StreamSessions final : public StreamReplies {
public:
    static constexpr std::size_t MaxSessions = 64;
    static constexpr std::int64_t IdleSeconds = 10;
    // 64 connections at 128 each hold at most 8192 of the 65,536 transaction
    // numbers that UDP and TCP queries share, so TCP clients alone can never
    // hold them all (which would retire the oldest query in flight); and 128
    // is more than a pipelining client keeps outstanding on one connection.
    static constexpr std::int32_t MaxInFlight = 128;

    explicit StreamSessions(const Clock& clock);

    void setListener(ListenerHandle listener) { listener_ = listener; }
    ListenerHandle listener() const { return listener_; }

    // Polls the listener once and handles its one event: a new connection,
    // bytes from one, or one gone.
    void step(QueriesInFlight& q, StreamUpstream& upstream, const ProxyServices& s);

    // Closes the sessions that are broken, idle or stalled. Cheap when called
    // every turn: it walks the sessions at most once per clock second.
    void sweep(QueriesInFlight& q, const ProxyServices& s);

    // Closes every session, retiring their queries in flight.
    void closeAll(QueriesInFlight& q, const ProxyServices& s);

    void replySent(ConnectionId client) override;
    void replyRefused(ConnectionId client) override;

    std::size_t size() const { return sessions_.size(); }

private:
    struct Session {
        StreamFramer framer;
        std::int64_t lastActivity = 0;
        bool broken = false;
    };

    void accept(ConnectionId client, const ProxyServices& s);
    void receive(ConnectionId client, Session& session, QueriesInFlight& q,
                 StreamUpstream& upstream, const ProxyServices& s);
    void serveMessage(ConnectionId client, std::uint8_t* message, std::int32_t length,
                      QueriesInFlight& q, StreamUpstream& upstream, const ProxyServices& s);
    bool dueForClose(ConnectionId client, const Session& session, std::int64_t now,
                     QueriesInFlight& q) const;
    void closeSession(ConnectionId client, QueriesInFlight& q, const ProxyServices& s);

    const Clock& clock_;
    ListenerHandle listener_ = 0;
    std::unordered_map<ConnectionId, Session> sessions_;
    std::vector<std::uint8_t> readArea_;
    std::vector<ConnectionId> closing_;
    std::int64_t lastSweep_ = 0;
};

}  // namespace corvane
