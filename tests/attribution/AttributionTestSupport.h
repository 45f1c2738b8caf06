#pragma once

#include <arpa/inet.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "attribution/AskerEngine.h"
#include "attribution/ClientEndpoint.h"

namespace corvane::test {

// An IPv4 address in network byte order from its four numbers.
inline std::uint32_t ipv4(std::uint8_t a, std::uint8_t b, std::uint8_t c, std::uint8_t d) {
    return htonl((std::uint32_t{a} << 24) | (std::uint32_t{b} << 16) | (std::uint32_t{c} << 8) | d);
}

// A client at address:port that asked the server at 127.0.0.1:53.
inline ClientEndpoint endpointOf(std::uint32_t address, std::uint16_t port,
                                 IpProtocol protocol = IpProtocol::Udp) {
    return ClientEndpoint{ClientKey{protocol, address, port}, ipv4(127, 0, 0, 1), 53};
}

inline ClientEndpoint loopbackClient(std::uint16_t port, IpProtocol protocol = IpProtocol::Udp) {
    return endpointOf(ipv4(127, 0, 0, 1), port, protocol);
}

// Keeps every delivery in order.
class RecordingSink final : public AskerSink {
public:
    std::vector<std::pair<ClientKey, Asker>> delivered;
    void attributed(const ClientKey& client, const Asker& asker) override {
        delivered.emplace_back(client, asker);
    }
};

}  // namespace corvane::test
