#pragma once

#include <cstdint>
#include <string_view>

#include "net/NetTypes.h"

namespace corvane {

// The operations of the network layer that the proxy uses. The main loop and
// the query and answer paths see only this interface, so tests can stand a
// fake in for the sockets. Single-threaded: every call comes from the main loop.
// Failures are return values, never exceptions.
class Network {
public:
    virtual ~Network() = default;

    // 1 when the layer is started; a second call after success returns 1.
    virtual int netStartup() = 0;
    // Closes every listener still open. Upstream links are the caller's to close.
    virtual void netShutdown() = 0;

    // number: AnyNumber or a fixed number. localAddress empty = all local addresses.
    virtual ListenerHandle listenerOpen(std::int32_t number, std::int64_t port,
                                        std::uint32_t mode,
                                        std::string_view localAddress = {}) = 0;
    virtual NetEvent listenerPoll(ListenerHandle listener) = 0;
    // ConnectionId of the peer of the last listener event; 0 before any.
    virtual ConnectionId listenerLastPeer() const = 0;
    // Closes one listener, or every listener when given -1 (as ListenerHandle(-1)).
    virtual void listenerClose(ListenerHandle listener) = 0;

    // host must be a dotted IPv4 address or a host name; timeoutMs is used by
    // stream mode only. Returns 0 on failure.
    virtual ConnectionId linkOpen(std::string_view host, std::int64_t port, std::uint32_t mode,
                                  std::int32_t timeoutMs, std::string_view localAddress = {},
                                  std::int32_t localPort = 0) = 0;
    virtual NetEvent linkPoll(ConnectionId link) = 0;

    // Copies pending bytes out; 0 when nothing is pending, never negative.
    virtual std::int32_t connRecv(ConnectionId id, std::uint8_t* buffer,
                                  std::int32_t capacity) = 0;
    // Bytes sent, or -1.
    virtual std::int32_t connSend(ConnectionId id, const std::uint8_t* data,
                                  std::int32_t length) = 0;
    virtual void connClose(ConnectionId id) = 0;

    // The idle pause of a serving turn: waits at most timeoutMs, but returns as
    // soon as the listener's or the link's socket has something to read, so a
    // datagram arriving during the pause is not kept waiting. Either may be 0.
    virtual void waitReadable(ListenerHandle listener, ConnectionId link,
                              std::int32_t timeoutMs) = 0;
};

}  // namespace corvane
