#include "proxy/MessageSend.h"

#include <array>
#include <cstddef>

#include "proxy/StreamFramer.h"

namespace corvane {

namespace {

bool sendFramed(ConnectionId to, const std::uint8_t* data, std::int32_t length,
                const ProxyServices& s) {
    std::array<std::uint8_t, StreamFramer::PrefixLength> prefix{};
    if (length < 0 || !writeLengthPrefix(static_cast<std::size_t>(length), prefix.data())) {
        return false;
    }
    // The layer takes each send whole or not at all and keeps their order, so
    // a refused second half can only follow a connection that is being given
    // up: it is closed as broken and the half-sent message dies with it.
    return s.net.connSend(to, prefix.data(), static_cast<std::int32_t>(prefix.size())) ==
               static_cast<std::int32_t>(prefix.size()) &&
           s.net.connSend(to, data, length) == length;
}

}  // namespace

bool sendMessage(Transport transport, ConnectionId to, const std::uint8_t* data,
                 std::int32_t length, bool toClient, const ProxyServices& s) {
    if (transport == Transport::Datagram) {
        return s.net.connSend(to, data, length) == length;
    }
    const bool sent = sendFramed(to, data, length, s);
    if (toClient && s.streamReplies != nullptr) {
        if (sent) {
            s.streamReplies->replySent(to);
        } else {
            s.streamReplies->replyRefused(to);
        }
    }
    return sent;
}

}  // namespace corvane
