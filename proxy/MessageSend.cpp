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
    // One send for both: a length taken without its message would make every
    // later message on the connection read as garbage, and the upstream
    // connection is shared by every TCP client.
    const auto total = static_cast<std::int32_t>(prefix.size()) + length;
    return s.net.connSendParts(to, prefix, {data, static_cast<std::size_t>(length)}) == total;
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
