#pragma once

#include <netinet/in.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "net/NetTypes.h"
#include "net/OutputQueue.h"
#include "net/ReadySet.h"
#include "net/UniqueFd.h"

namespace corvane {

struct Listener;

// Where a stream peer or link stands. InputEnded: a client shut down its
// sending side and EndOfInput said so; it is not read any more, but output
// still goes to it. Broken: the connection failed or ended and the Disconnect
// that says so has not been reported yet; Gone: it has, and the peer waits
// for its connClose.
enum class StreamState : std::uint8_t { Connecting, Open, InputEnded, Broken, Gone };

// A stream peer or link that can still take output.
inline bool acceptsOutput(StreamState state) {
    return state == StreamState::Open || state == StreamState::InputEnded;
}

// The record behind a ConnectionId: one client of a listener, or an upstream
// link (no owner, a socket of its own). A datagram client shares its
// listener's socket; a stream client is one accepted connection with a
// socket of its own.
struct Peer {
    ConnectionId id = 0;
    std::uint32_t kind = NetMode::Datagram;
    std::uint32_t remoteAddress = 0;  // IPv4, network byte order
    std::uint32_t remotePort = 0;     // host byte order, 0 to 65535
    Listener* owner = nullptr;        // not owned; none for the link
    UniqueFd socket;                  // a link's or a stream client's own socket
    Readiness readiness;              // of that socket

    // The unread bytes are pending[readPosition, readPosition + unread). With
    // unread 0 nothing is pending. A datagram peer's vector is lent by the
    // PeerTable while bytes are unread and given back when the last is read,
    // so a peer waiting for its answer holds no buffer; a stream peer's
    // keeps its capacity for the connection's next bytes.
    std::vector<std::uint8_t> pending;
    std::int32_t unread = 0;
    std::size_t readPosition = 0;

    // The local address the client's latest datagram was sent to. Replies leave
    // from it: a client that asked one of several local addresses only accepts
    // an answer from that same address. For a stream client: the local
    // address its connection reached.
    bool hasLocalAddress = false;
    in_addr localAddress{};

    // Datagram link: the length the held datagram had on the wire. More than
    // the bytes held when it was longer than the receive area: only its first
    // bytes were kept.
    std::int32_t wireLength = 0;

    // Stream kind only: the state of the connection, and what connSend took
    // that the socket has not accepted yet.
    StreamState state = StreamState::Open;
    OutputQueue output;
};

}  // namespace corvane
