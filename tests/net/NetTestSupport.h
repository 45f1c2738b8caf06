#pragma once

#include <sys/resource.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "net/PosixNetwork.h"
#include "net/UniqueFd.h"
#include "tests/support/Bytes.h"

namespace corvane::test {

Bytes bytesOf(const std::string& text);
// length bytes of a pattern that differs with seed, to tell datagrams apart.
Bytes pattern(std::size_t length, std::uint8_t seed);

struct ProbeDatagram {
    Bytes bytes;
    std::string address;
    std::uint16_t port = 0;
};

// A plain UDP socket playing a client, a resolver or a forger, bound to an
// address of the loopback network.
class UdpProbe {
public:
    explicit UdpProbe(const char* address = "127.0.0.1", std::uint16_t port = 0);
    ~UdpProbe();
    UdpProbe(const UdpProbe&) = delete;
    UdpProbe& operator=(const UdpProbe&) = delete;

    bool bound() const { return bound_; }
    std::uint16_t port() const;
    bool sendTo(const char* address, std::uint16_t port, const Bytes& data) const;
    // Waits at most timeoutMs for one datagram.
    std::optional<ProbeDatagram> receive(int timeoutMs = 2000) const;
    void close();

private:
    int fd_ = -1;
    bool bound_ = false;
};

// A plain blocking TCP socket on 127.0.0.1 playing a client of a stream
// listener, or, once accepted by a TcpServer, the upstream's side of a link.
class TcpProbe {
public:
    TcpProbe() = default;
    explicit TcpProbe(int fd) : fd_(fd) {}

    // Connects to 127.0.0.1:port; receiveBuffer > 0 shrinks the receive
    // buffer first, for a client that is slow to take what it is sent.
    static TcpProbe connectTo(std::uint16_t port, int receiveBuffer = 0);
    bool connected() const { return fd_.valid(); }
    bool send(const Bytes& data) const;
    // Shuts down the sending side only: the other end reads its end of stream.
    void shutdownSending() const;
    // Reads until count bytes came, the peer closed, or timeoutMs passed
    // without a byte.
    Bytes receive(std::size_t count, int timeoutMs = 2000) const;
    void close() { fd_.reset(); }

private:
    UniqueFd fd_;
};

// A TCP listener on 127.0.0.1, port chosen by the system: the upstream a
// stream link connects to.
class TcpServer {
public:
    TcpServer();

    std::uint16_t port() const;
    // Waits at most timeoutMs for a connection; an unconnected probe if none came.
    TcpProbe accept(int timeoutMs = 2000) const;

private:
    UniqueFd fd_;
};

// Polls until the first event other than None, waiting for readiness between
// polls, for a bounded number of rounds; None if none came.
NetEvent nextListenerEvent(PosixNetwork& net, ListenerHandle listener);
NetEvent nextLinkEvent(PosixNetwork& net, ConnectionId link);

// Polls until a Data event, waiting for readiness between polls, for a bounded
// number of rounds. Polls that find a datagram to drop return None on the way.
NetEvent pollListenerForData(PosixNetwork& net, ListenerHandle listener);
NetEvent pollLinkForData(PosixNetwork& net, ConnectionId link);

// Reads everything pending for id through a buffer of capacity bytes.
Bytes readAll(PosixNetwork& net, ConnectionId id, std::int32_t capacity = 2048);

std::size_t openDescriptorCount();

// Leaves the process without a free descriptor: the limit is lowered to a
// little above the highest one open and every free one below it is taken.
// Releasing gives the taken ones back and restores the limit.
class DescriptorShortage {
public:
    DescriptorShortage();
    ~DescriptorShortage() { release(); }
    DescriptorShortage(const DescriptorShortage&) = delete;
    DescriptorShortage& operator=(const DescriptorShortage&) = delete;

    // False when the limit could not be lowered or a descriptor stayed free.
    bool inEffect() const { return inEffect_; }
    void release();

private:
    std::vector<UniqueFd> taken_;
    rlimit saved_{};
    bool lowered_ = false;
    bool inEffect_ = false;
};

// Runs setUp on a thread of its own inside a new network namespace with only
// its loopback up, so sockets made there can use any 127.x address and bind
// the any-address without being reachable from outside. The sockets stay in
// that namespace when the thread ends. False when no namespace can be made
// (not root).
bool inPrivateNetwork(const std::function<void()>& setUp);

}  // namespace corvane::test
