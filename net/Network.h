#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "net/NetTypes.h"

namespace corvane {

// The operations of the network layer that the proxy uses. The main loop and
// the query and answer paths see only this interface, so tests can stand a
// fake in for the sockets. Single-threaded: every call comes from the main loop.
// Failures are return values, never exceptions. No call ever waits, except
// waitReady, for at most the time it is given.
//
// The idle pause as a wait that someone else makes (the window layer, which
// waits for the window system too): prepareIdleWait says whether an event is
// due already and otherwise gives one descriptor to wait on.
struct IdleWait {
    // True when a socket can make progress now: the caller must not wait.
    bool eventDue = false;
    // Readable as soon as any socket the layer holds can make progress;
    // -1 when the layer has none to offer.
    int descriptor = -1;
    // The layer's own deadline (a listener resting after failed accepts):
    // the wait must end within this many milliseconds; -1 for none.
    std::int32_t wakeWithinMs = -1;
};

//
// Two kinds of endpoint, chosen by the mode at open:
// - Datagram (UDP): a listener hands out one peer per client address and
//   port; each poll takes at most one datagram, which connRecv then copies out.
// - Stream (TCP): a listener accepts connections, each a peer of its own; a
//   link is one connection to the upstream. Polls report Connect, Data,
//   EndOfInput and Disconnect; bytes come and go as a stream, with no message
//   boundaries (the caller frames them). A client that shuts down only its
//   sending side is reported by EndOfInput: it sends nothing more, is no
//   longer watched for input, and still takes sends. A peer or link reported
//   by Disconnect is gone: it stays valid, silent and refusing sends, until
//   the caller's connClose.
class Network {
public:
    virtual ~Network() = default;

    // 1 when the layer is started; a second call after success returns 1.
    virtual int netStartup() = 0;
    // Closes every listener still open. Upstream links are the caller's to close.
    virtual void netShutdown() = 0;

    // number: AnyNumber or a fixed number. localAddress empty = all local addresses.
    // A stream listener is bound with SO_REUSEADDR (a restart must not be
    // refused while the last run's connections linger) and listening at once.
    virtual ListenerHandle listenerOpen(std::int32_t number, std::int64_t port, std::uint32_t mode,
                                        std::string_view localAddress = {}) = 0;
    // Datagram listener: Data when it took a datagram, else None.
    // Stream listener: one event per call, listenerLastPeer naming its peer:
    // Connect for a newly accepted peer; Data when bytes are pending for a
    // peer (again in every round while they stay unread); EndOfInput, once,
    // when a peer's end of stream came after its pending bytes were read;
    // Disconnect when a peer is gone (reset or error). Every ready connection
    // is served once before any is served twice; None when nothing is ready.
    // AcceptFailed (peer 0) when a waiting connection could not be accepted
    // for want of a descriptor or memory: the listener then rests a short
    // while (until then it is not polled for new connections, and the idle
    // wait says when to look again) or until a stream peer is closed; reported
    // once until an accept succeeds again.
    virtual NetEvent listenerPoll(ListenerHandle listener) = 0;
    // ConnectionId of the peer of the last listener event; 0 before any.
    virtual ConnectionId listenerLastPeer() const = 0;
    // Closes one listener, or every listener when given -1 (as ListenerHandle(-1)).
    // Its peers, stream connections included, are closed with it.
    virtual void listenerClose(ListenerHandle listener) = 0;

    // host must be a dotted IPv4 address or a host name. Returns 0 on failure.
    // A stream link starts its connect and returns at once: linkPoll reports
    // Connect when the connect completed and Disconnect when it failed;
    // sends made before are queued. timeoutMs is not used: the caller, which
    // owns the clock, gives up on a connect that takes too long by closing it.
    virtual ConnectionId linkOpen(std::string_view host, std::int64_t port, std::uint32_t mode,
                                  std::int32_t timeoutMs, std::string_view localAddress = {},
                                  std::int32_t localPort = 0) = 0;
    // Datagram link: Data when it took a datagram from the resolver, else None.
    // Stream link: Connect once, when its connect completed; Data when bytes
    // are pending; Disconnect once, when the connect failed or the upstream
    // closed or broke the connection; else None. Queued output goes out on
    // the way.
    virtual NetEvent linkPoll(ConnectionId link) = 0;
    // The length on the wire of the last datagram a datagram link took: more
    // than connRecv delivers when the datagram was longer than the receive
    // area and only its first bytes were kept. 0 before any, and for a
    // stream link.
    virtual std::int32_t linkLastLength(ConnectionId link) const = 0;

    // Copies pending bytes out, at most capacity; 0 when nothing is pending,
    // never negative. Alike for both kinds.
    virtual std::int32_t connRecv(ConnectionId id, std::uint8_t* buffer, std::int32_t capacity) = 0;
    // Datagram peer or link: one datagram; bytes sent, or -1.
    // Stream peer or link: takes all length bytes or none. What the socket
    // does not accept now waits in the peer's queue and goes out in later
    // polls, in order. Returns length when taken, -1 when refused: the
    // connection is broken or gone, or the queue would pass the layer's
    // output limit.
    virtual std::int32_t connSend(ConnectionId id, const std::uint8_t* data,
                                  std::int32_t length) = 0;
    // Stream peer or link: one message in two parts (a length and what it
    // counts), taken as connSend would take their concatenation: both whole
    // or nothing of either, so no part ever goes out without the other.
    // Returns the two lengths' sum, or -1. Datagram peers refuse it (-1).
    virtual std::int32_t connSendParts(ConnectionId id, std::span<const std::uint8_t> first,
                                       std::span<const std::uint8_t> second) = 0;
    // Bytes connSend took for a stream peer or link that the system has not
    // accepted yet; 0 for datagram peers and unknown ids.
    virtual std::int32_t connPendingOutput(ConnectionId id) const = 0;
    // The machine a stream client connects from: its IPv4 address (network
    // byte order), or 0 when it is this machine (a loopback address, or the
    // very address the connection reached, which the system picks as the
    // source between two programs of one machine). 0 too for an unknown id.
    virtual std::uint32_t connRemoteHost(ConnectionId id) const = 0;
    // The two ends of a listener's client, datagram or stream (see PeerEnds):
    // what tells who sent a query, which the system can find by both ends
    // only. False, out untouched, for a link or an unknown id.
    virtual bool connEnds(ConnectionId id, PeerEnds& out) const = 0;
    // Forgets the peer or link; a stream connection's socket is closed and its
    // queued output dropped.
    virtual void connClose(ConnectionId id) = 0;

    // The idle pause of a serving turn: waits at most timeoutMs (a negative
    // value waits not at all), but returns as soon as any socket the layer
    // holds can make progress: a listener or link with something to read, a
    // stream peer or link with bytes to read or with queued output it can now
    // write, a connect that completed. It does not wait at all while a stream
    // endpoint already has an event to report, and not past the end of a
    // listener's rest.
    virtual void waitReady(std::int32_t timeoutMs) = 0;

    // The same pause, waited elsewhere: by the rule of waitReady, either an
    // event is due now, or the descriptor is readable while one is (at once,
    // when a socket is ready already). Call it right before each wait: it
    // also says when the layer's own deadline comes. A layer without
    // descriptors (a fake) offers none.
    virtual IdleWait prepareIdleWait() { return {}; }
};

}  // namespace corvane
