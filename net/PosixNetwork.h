#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <unordered_map>

#include "net/Listener.h"
#include "net/Network.h"
#include "net/Peer.h"
#include "net/PeerTable.h"
#include "net/SocketOps.h"

namespace corvane {

// The network layer on Linux: non-blocking IPv4 UDP sockets. One object holds
// the whole layer state (started flag, listener table, open peers, last event
// peer); the program makes one. Single-threaded like every caller.
//
// Refused with 0 (the proxy never asks for them): Stream mode, mode 0 (which
// means Stream), the IPv6 flag, and any mode other than Datagram.
// Listeners may be opened under AnyNumber or a fixed number 1 to 65535; a fixed
// number is the listener's handle, and 0 would read as failure, so it is refused.
//
// linkOpen: an empty host text is the absent host and fails. A dotted quad is
// taken as it is; any other text goes through the system's host lookup.
//
// Every socket is close-on-exec. Each object closes whatever it still holds when
// destroyed, links included.
class PosixNetwork final : public Network {
public:
    PosixNetwork();
    ~PosixNetwork() override;
    PosixNetwork(const PosixNetwork&) = delete;
    PosixNetwork& operator=(const PosixNetwork&) = delete;

    int netStartup() override;
    void netShutdown() override;

    ListenerHandle listenerOpen(std::int32_t number, std::int64_t port, std::uint32_t mode,
                                std::string_view localAddress = {}) override;
    NetEvent listenerPoll(ListenerHandle listener) override;
    ConnectionId listenerLastPeer() const override;
    void listenerClose(ListenerHandle listener) override;

    ConnectionId linkOpen(std::string_view host, std::int64_t port, std::uint32_t mode,
                          std::int32_t timeoutMs, std::string_view localAddress = {},
                          std::int32_t localPort = 0) override;
    NetEvent linkPoll(ConnectionId link) override;

    std::int32_t connRecv(ConnectionId id, std::uint8_t* buffer, std::int32_t capacity) override;
    std::int32_t connSend(ConnectionId id, const std::uint8_t* data, std::int32_t length) override;
    void connClose(ConnectionId id) override;

    void waitReadable(ListenerHandle listener, ConnectionId link, std::int32_t timeoutMs) override;

    // The port a listener is bound to (useful after binding port 0); 0 for an
    // unknown handle.
    std::uint16_t listenerPort(ListenerHandle listener) const;
    // The local port the system gave the link; 0 before its first send.
    std::uint16_t linkLocalPort(ConnectionId link) const;
    // Open client peers of every listener plus open links.
    std::size_t openPeerCount() const { return peers_.size(); }

private:
    Listener* findListener(ListenerHandle handle) const;
    ListenerHandle nextFreeHandle();
    bool receive(int fd);

    bool started_ = false;
    std::unordered_map<ListenerHandle, std::unique_ptr<Listener>> listeners_;
    PeerTable peers_;
    ListenerHandle nextHandle_;
    ConnectionId lastEventPeer_ = 0;

    // As large as the proxy's datagram buffer (NetBufferSize).
    std::array<std::uint8_t, NetBufferSize> receiveArea_{};
    sockops::Received received_;
};

}  // namespace corvane
