#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "net/Listener.h"
#include "net/Network.h"
#include "net/Peer.h"
#include "net/PeerTable.h"
#include "net/ReadySet.h"
#include "net/SocketOps.h"
#include "net/StreamEndpoints.h"

namespace corvane {

// The network layer on Linux: non-blocking IPv4 sockets, UDP and TCP. One
// object holds the whole layer state (started flag, listener table, open
// peers of both kinds, last event peer); the program makes one.
// Single-threaded like every caller.
//
// Modes: Datagram, and Stream (mode 0 means Stream). Refused with 0: the IPv6
// flag and any other mode. Listeners may be opened under AnyNumber or a fixed
// number 1 to 65535; a fixed number is the listener's handle, and 0 would
// read as failure, so it is refused.
//
// linkOpen: an empty host text is the absent host and fails. A dotted quad is
// taken as it is; any other text goes through the system's host lookup (which
// may wait: the program only passes a dotted quad).
//
// The stream side (see Network.h for each call): a stream listener accepts
// connections, each a peer with a socket of its own; a stream link connects
// without waiting. Output a socket does not take at once waits in the peer's
// queue, at most streamOutputLimit bytes per peer, and goes out in later polls.
//
// Every socket is close-on-exec. Each object closes whatever it still holds when
// destroyed, links included.
class PosixNetwork final : public Network {
public:
    // What one stream peer or link may hold queued by default: a client that
    // never reads is refused once this much waits for it.
    static constexpr std::size_t DefaultStreamOutputLimit = 256 * 1024;

    explicit PosixNetwork(std::size_t streamOutputLimit = DefaultStreamOutputLimit);
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
    std::int32_t linkLastLength(ConnectionId link) const override;

    std::int32_t connRecv(ConnectionId id, std::uint8_t* buffer, std::int32_t capacity) override;
    std::int32_t connSend(ConnectionId id, const std::uint8_t* data, std::int32_t length) override;
    std::int32_t connSendParts(ConnectionId id, std::span<const std::uint8_t> first,
                               std::span<const std::uint8_t> second) override;
    std::int32_t connPendingOutput(ConnectionId id) const override;
    std::uint32_t connRemoteHost(ConnectionId id) const override;
    bool connEnds(ConnectionId id, PeerEnds& out) const override;
    void connClose(ConnectionId id) override;

    void waitReady(std::int32_t timeoutMs) override;
    IdleWait prepareIdleWait() override;

    // The port a listener is bound to (useful after binding port 0); 0 for an
    // unknown handle.
    std::uint16_t listenerPort(ListenerHandle listener) const;
    // The local port the system gave the link; 0 before its first send.
    std::uint16_t linkLocalPort(ConnectionId link) const;
    // Open client peers of every listener plus open links.
    std::size_t openPeerCount() const { return peers_.size(); }
    // Why the last listenerOpen failed, when the system refused it: its
    // errno (EACCES without the right to the port, EADDRINUSE when another
    // socket holds it); 0 after a success or a refusal of the layer's own.
    int listenerError() const { return listenerError_; }
    // The bytes the open peers' receive buffers take up; a datagram peer
    // with nothing unread holds none (see PeerTable).
    std::size_t pendingCapacity() const { return peers_.pendingCapacity(); }

    // A poll that finds nothing in what the last look reported takes a new
    // look once this many polls have been answered from the old one: a loop
    // kept busy by some sockets, and so never waiting, still sees the
    // others soon.
    static constexpr int StaleAfterDryPolls = 64;

private:
    Listener* findListener(ListenerHandle handle) const;
    ListenerHandle nextFreeHandle();
    bool receive(int fd, Readiness& readiness);
    bool readable(Readiness& readiness);
    NetEvent pollDatagramListener(Listener& listener);
    NetEvent pollDatagramLink(Peer& link);
    // Asks the system what is ready (waiting at most timeoutMs) and records
    // it for every socket found.
    void lookNow(int timeoutMs);
    void lookIfWaitedElsewhere();
    // After a poll found nothing: a new look when many polls were answered
    // from the last. True when one was taken.
    bool lookAgainIfStale();
    // What a wait must know: an event due now, and the layer's own deadline
    // (-1 for none).
    struct Due {
        bool eventDue = false;
        std::int32_t wakeWithinMs = -1;
    };
    Due dueNow();
    // Takes the sockets of a listener's stream peers out of the ReadySet
    // before they are closed with it.
    void forgetStreamPeers(Listener& listener);

    bool started_ = false;
    // Every socket of the layer, watched from its open to its close.
    ReadySet readySet_;
    std::unordered_map<ListenerHandle, std::unique_ptr<Listener>> listeners_;
    PeerTable peers_;
    StreamEndpoints streams_;
    ListenerHandle nextHandle_;
    ConnectionId lastEventPeer_ = 0;
    int listenerError_ = 0;

    // As large as the proxy's datagram buffer (NetBufferSize).
    std::array<std::uint8_t, NetBufferSize> receiveArea_{};
    sockops::Received received_;
    // Whether someone else waited on the set's descriptor since the last
    // look, and how many polls were answered since.
    bool waitedElsewhere_ = false;
    int dryPolls_ = 0;
};

}  // namespace corvane
