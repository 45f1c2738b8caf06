#pragma once

#include <cstdint>

namespace corvane {

// Names one open peer of the network layer: a client of a listener or the
// upstream link. Never 0 while open; a value may be reused after close.
using ConnectionId = std::uint32_t;

// Names one open listener; 0 means an open failed.
using ListenerHandle = std::uint32_t;

enum class NetEvent : std::int32_t {
    None = 0,
    Connect = 1,  // stream mode only; the proxy never opens it
    Data = 2,
    Disconnect = 4,  // stream mode only
};

// Mode argument of listenerOpen and linkOpen.
enum NetMode : std::uint32_t {
    Stream = 1,
    Datagram = 2,
    IPv6 = 0x10000000,  // flag combined with Stream or Datagram
};

// The size of the proxy's one datagram buffer (netBuffer) and of the network
// layer's receive area: one connRecv of this size always takes a whole
// datagram, and anything longer is lost.
inline constexpr std::int32_t NetBufferSize = 2048;

// Asks listenerOpen for any free number; the result is then the listener's own handle.
inline constexpr std::int32_t AnyNumber = -1;

}  // namespace corvane
