#pragma once

#include <cstdint>

namespace corvane {

// Names one open peer of the network layer: a client of a listener (a UDP
// sender or an accepted TCP connection) or an upstream link, UDP or TCP. Never
// 0 while open, unique among open peers of either kind; a value may be reused
// after close.
using ConnectionId = std::uint32_t;

// Names one open listener; 0 means an open failed.
using ListenerHandle = std::uint32_t;

enum class NetEvent : std::int32_t {
    None = 0,
    Connect = 1,  // stream mode only: a peer was accepted, or a link's connect completed
    Data = 2,
    Disconnect = 4,  // stream mode only: the peer or link is gone (reset, error, or a link's end)
    // Stream client only: the client shut down its sending side; it sends no
    // more but still takes what is sent to it.
    EndOfInput = 8,
    // Stream listener only: a waiting connection could not be accepted for
    // want of a descriptor or memory; once per episode.
    AcceptFailed = 16,
};

// The two ends of one client of a listener: the address and port it sends
// from, and the local address and port it reached (for a datagram client,
// the address its latest datagram was sent to). Addresses in network byte
// order, ports in host byte order; a local address of 0 is not known.
struct PeerEnds {
    std::uint32_t remoteAddress = 0;
    std::uint16_t remotePort = 0;
    std::uint32_t localAddress = 0;
    std::uint16_t localPort = 0;
};

// Mode argument of listenerOpen and linkOpen.
enum NetMode : std::uint32_t {
    Stream = 1,         // TCP; mode 0 means the same
    Datagram = 2,       // UDP
    IPv6 = 0x10000000,  // flag combined with Stream or Datagram
};

// The size of the proxy's one datagram buffer (netBuffer) and of the network
// layer's receive area: one connRecv of this size always takes a whole
// datagram. A longer one is lost on a listener; a link keeps its first bytes
// and linkLastLength tells how long it was.
inline constexpr std::int32_t NetBufferSize = 2048;

// Asks listenerOpen for any free number; the result is then the listener's own handle.
inline constexpr std::int32_t AnyNumber = -1;

}  // namespace corvane
