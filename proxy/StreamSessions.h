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
// A client that shuts down its sending side (end of input) has said it asks
// nothing more, not that it wants no answers: its connection stays until
// nothing is in flight for it and its output has gone to the system.
//
// The bounds keep a few hostile or broken clients from stalling the loop or
// exhausting the program:
// - at most MaxSessions connections; one more is accepted and closed at once,
//   so the client hears a clean end rather than waiting in the backlog;
// - at most MaxPerHost of them from one other machine, so that one cannot
//   take every slot; the programs of this machine share the whole pool;
// - a message must arrive whole within IdleSeconds of its first byte, so a
//   client cannot hold its slot by trickling a byte now and then;
// - a connection that has sent nothing and received no answer for
//   IdleSeconds is closed; one still waiting for answers is left to them
//   (they end by answer, by the loss of the upstream link or by expiry);
// - input is one message at most (the framer), output what the network
//   layer's per-connection limit allows: a refused reply closes the
//   connection;
// - at most MaxInFlight queries of one connection are forwarded at a time; a
//   query beyond that is answered at once with SERVFAIL.
class StreamSessions final : public StreamReplies {
public:
    static constexpr std::size_t MaxSessions = 64;
    static constexpr std::size_t MaxPerHost = 16;
    static constexpr std::int64_t IdleSeconds = StreamUpstream::IdleSeconds;
    // Bounds what one connection can hold of the tables of queries in flight:
    // 64 connections at 128 each hold at most 8192 of the 65,536 transaction
    // numbers that UDP and TCP queries share, so TCP clients alone can never
    // hold them all (which would retire the oldest query in flight); and 128
    // is more than a pipelining client keeps outstanding on one connection.
    static constexpr std::int32_t MaxInFlight = 128;

    explicit StreamSessions(const Clock& clock);

    void setListener(ListenerHandle listener) { listener_ = listener; }
    ListenerHandle listener() const { return listener_; }

    // Polls the listener once and handles its one event: a new connection,
    // bytes from one, the end of one's input, or one gone.
    void step(QueriesInFlight& q, StreamUpstream& upstream, const ProxyServices& s);

    // Closes the sessions that are done (input ended, nothing in flight, no
    // output waiting), in every call; and those broken, idle or stalled, at
    // most once per clock second, so that it is cheap to call every turn.
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
        // When the first byte of the message the framer holds arrived.
        std::int64_t messageBegan = 0;
        // The other machine it comes from; 0 for this one.
        std::uint32_t host = 0;
        bool inputEnded = false;
        bool broken = false;
    };

    void accept(ConnectionId client, const ProxyServices& s);
    void endInput(ConnectionId client, Session& session);
    void receive(ConnectionId client, Session& session, QueriesInFlight& q,
                 StreamUpstream& upstream, const ProxyServices& s);
    void serveMessage(ConnectionId client, std::uint8_t* message, std::int32_t length,
                      QueriesInFlight& q, StreamUpstream& upstream, const ProxyServices& s);
    void closeFinished(QueriesInFlight& q, const ProxyServices& s);
    bool dueForClose(ConnectionId client, const Session& session, std::int64_t now,
                     QueriesInFlight& q) const;
    void closeSession(ConnectionId client, QueriesInFlight& q, const ProxyServices& s);

    const Clock& clock_;
    ListenerHandle listener_ = 0;
    std::unordered_map<ConnectionId, Session> sessions_;
    // Sessions per other machine, for MaxPerHost.
    std::unordered_map<std::uint32_t, std::size_t> perHost_;
    // The sessions whose input ended: few, and looked at in every call of
    // sweep, so a finished one closes in the turn its last answer went out.
    std::vector<ConnectionId> inputEnded_;
    std::vector<std::uint8_t> readArea_;
    std::vector<ConnectionId> closing_;
    std::int64_t lastSweep_ = 0;
};

}  // namespace corvane
