#pragma once

#include <cstddef>
#include <cstdint>

namespace corvane {

// The transport of a query, as its IP protocol number (the numbers the
// kernel's socket lookup and the plug-in contract use alike).
enum class IpProtocol : std::uint8_t { Tcp = 6, Udp = 17 };

// Which client asked: its transport, address and port. The key of every
// attribution: the cache, the queue of lookups and the delivery of results.
// IPv4 only, like the listeners.
struct ClientKey {
    IpProtocol protocol = IpProtocol::Udp;
    std::uint32_t address = 0;  // network byte order
    std::uint16_t port = 0;     // host byte order

    friend bool operator==(const ClientKey&, const ClientKey&) = default;
};

struct ClientKeyHash {
    std::size_t operator()(const ClientKey& key) const {
        const std::uint64_t packed = (std::uint64_t{key.address} << 24) |
                                     (std::uint64_t{key.port} << 8) |
                                     static_cast<std::uint64_t>(key.protocol);
        // A multiplicative mix, so that ports counting up spread over buckets.
        return static_cast<std::size_t>((packed * 0x9E3779B97F4A7C15ull) >> 16);
    }
};

// One query's client and the local end it reached: the address the client
// sent to and the port (53). The kernel's lookup needs both ends, since a
// connected client socket (as the C library's resolver makes) is found only
// by the exact pair, and the local end must be the one the reply leaves
// from.
struct ClientEndpoint {
    ClientKey client;
    // For UDP, the local address the client's datagram was sent to (the one
    // its reply leaves from), never 0.0.0.0: a connected client socket is
    // not found from any other. For TCP, the accepted connection's own.
    std::uint32_t serverAddress = 0;  // network byte order
    std::uint16_t serverPort = 0;     // host byte order
};

}  // namespace corvane
