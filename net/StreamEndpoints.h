#pragma once

#include <netinet/in.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "net/Listener.h"
#include "net/NetTypes.h"
#include "net/Peer.h"
#include "net/PeerTable.h"
#include "net/ReadySet.h"

namespace corvane {

// The TCP side of the network layer: polling stream listeners and links,
// sending through output queues, and what the layer's ReadySet watches for
// each socket. The records live in the layer's PeerTable, beside the
// datagram peers, so ConnectionIds stay unique across both kinds and
// connRecv and connClose treat them alike. Nothing here waits, nor asks the
// system what is ready: polls act on what the layer's last look found.
//
// Input: a poll that finds bytes on a connection with nothing pending takes
// at most ReceiveSize of them into the peer's pending bytes and reports Data;
// while bytes stay pending, the connection is not read again (the system
// holds the rest, and TCP slows the sender down) and every round reports Data
// for it anew. A client's end of stream is EndOfInput, after which it is not
// read again; a link's is Disconnect, as an upstream that sends no more can
// answer nothing.
//
// Accepting: a connection that cannot be accepted for want of a descriptor
// or memory stays in the backlog, and the listener stays readable; polled
// again at once, it would fail again and keep the loop awake. The listener
// rests for AcceptRestMs instead (or until a stream peer is closed, which
// frees a descriptor), and the failure is reported once per episode: from
// the first failure until an accept finds the backlog empty. Connections
// accepted one by one as descriptors come free do not end it.
class StreamEndpoints {
public:
    static constexpr std::size_t ReceiveSize = 16384;
    static constexpr std::int64_t AcceptRestMs = 500;

    // outputLimit: the most bytes one peer or link may hold queued.
    StreamEndpoints(PeerTable& peers, ReadySet& readySet, std::size_t outputLimit);

    struct Polled {
        NetEvent event = NetEvent::None;
        ConnectionId peer = 0;
    };
    // One event of a stream listener: Connect for a newly accepted peer, Data
    // or Disconnect for one of its peers; None when its round found nothing.
    // Throws std::bad_alloc; a peer accepted on the way is then closed again.
    Polled pollListener(Listener& listener);

    // A link whose connect to remote has started; local, when given, is bound
    // first. 0 when no socket can be had, the bind fails or the socket cannot
    // be watched. A connect that fails at once still gives a link: its first
    // poll reports Disconnect. Throws std::bad_alloc and then leaves nothing
    // open.
    ConnectionId openLink(const sockaddr_in& remote, const sockaddr_in* local);
    // Connect once the connect completed, Disconnect once it failed or the
    // upstream is gone, Data when bytes are pending, else None. Queued output
    // is flushed on the way.
    NetEvent pollLink(Peer& link);

    // Takes first and then second for the peer or link, as one piece: sends
    // what the system accepts now and queues the rest (all of it while a link
    // still connects). Returns the bytes of both, or -1 when refused: the
    // connection is broken or gone, or the queue would pass the limit.
    // Refused bytes are not taken at all, neither part of them.
    std::int32_t send(Peer& peer, std::span<const std::uint8_t> first,
                      std::span<const std::uint8_t> second = {});

    // True when the peer or link has an event to report without asking the
    // system (bytes it holds, a failure not reported yet): a wait must not
    // wait at all.
    static bool eventDue(const Peer& peer);
    // Has the ReadySet watch a listener for connections, except while it
    // rests (its waiting connection would end every wait).
    void watchListener(Listener& listener);

    // Milliseconds until a resting listener may accept again (0 once it may);
    // -1 when it is not resting.
    static std::int32_t restLeftMs(const Listener& listener);
    // A descriptor was freed: a resting listener tries again at once.
    static void endRest(Listener& listener) { listener.acceptRestsUntilMs = 0; }

private:
    bool startRound(Listener& listener);
    void serveOutput(Peer& peer);
    Polled accept(Listener& listener);
    NetEvent receive(Peer& peer);
    NetEvent finishConnect(Peer& link);
    std::int32_t take(Peer& peer, std::span<const std::uint8_t> first,
                      std::span<const std::uint8_t> second);
    void flush(Peer& peer);
    // Brings what the ReadySet watches for the peer in line with its state:
    // input while it may send, output while some waits, nothing once gone.
    void rewatch(Peer& peer);

    PeerTable& peers_;
    ReadySet& readySet_;
    std::size_t outputLimit_;
    std::array<std::uint8_t, ReceiveSize> area_{};
};

}  // namespace corvane
