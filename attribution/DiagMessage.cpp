#include "attribution/DiagMessage.h"

#include <arpa/inet.h>
#include <linux/sock_diag.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>

namespace corvane {

namespace {

// The kernel's TCP_LISTEN state number, which <netinet/tcp.h> does not name
// as such.
constexpr std::uint8_t TcpListenState = 10;

void fillEnds(const ClientEndpoint& endpoint, inet_diag_sockid& id) {
    const std::uint32_t clientAddress = endpoint.client.address;
    const std::uint16_t clientPort = htons(endpoint.client.port);
    const std::uint32_t serverAddress = endpoint.serverAddress;
    const std::uint16_t serverPort = htons(endpoint.serverPort);
    if (endpoint.client.protocol == IpProtocol::Udp) {
        id.idiag_src[0] = serverAddress;
        id.idiag_sport = serverPort;
        id.idiag_dst[0] = clientAddress;
        id.idiag_dport = clientPort;
    } else {
        id.idiag_src[0] = clientAddress;
        id.idiag_sport = clientPort;
        id.idiag_dst[0] = serverAddress;
        id.idiag_dport = serverPort;
    }
}

// Whether the socket's own address is the client's, or every address. An
// IPv6 socket that also speaks IPv4 (one not made IPv6-only, as some
// runtimes make them) is found by the IPv4 lookup too, and shows the client's
// address mapped into IPv6 (::ffff:a.b.c.d), or :: when bound to every one.
bool isClientsAddress(const inet_diag_msg& message, std::uint32_t client) {
    const auto* local = message.id.idiag_src;
    if (message.idiag_family == AF_INET) {
        return local[0] == client || local[0] == 0;
    }
    if (message.idiag_family != AF_INET6 || local[0] != 0 || local[1] != 0) {
        return false;
    }
    const bool any = local[2] == 0 && local[3] == 0;
    const bool mapped = local[2] == htonl(0xFFFF) && local[3] == client;
    return any || mapped;
}

DiagReply readSocket(const inet_diag_msg& message, const ClientEndpoint& endpoint) {
    DiagReply reply{true, SocketLookup::Gone, {}};
    const bool clientsPort = ntohs(message.id.idiag_sport) == endpoint.client.port;
    const bool listener =
        endpoint.client.protocol == IpProtocol::Tcp && message.idiag_state == TcpListenState;
    if (!clientsPort || !isClientsAddress(message, endpoint.client.address) || listener ||
        message.idiag_inode == 0) {
        return reply;
    }
    reply.result = SocketLookup::Found;
    reply.record.inode = message.idiag_inode;
    reply.record.uid = message.idiag_uid;
    return reply;
}

DiagReply readError(std::span<const std::uint8_t> payload) {
    DiagReply reply{true, SocketLookup::Failed, {}};
    nlmsgerr error{};
    if (payload.size() >= sizeof error) {
        std::memcpy(&error, payload.data(), sizeof error);
        if (error.error == -ENOENT) {
            reply.result = SocketLookup::Gone;
        }
    }
    return reply;
}

}  // namespace

DiagRequest makeDiagRequest(const ClientEndpoint& endpoint, std::uint32_t sequence) {
    nlmsghdr header{};
    header.nlmsg_len = DiagRequestSize;
    header.nlmsg_type = SOCK_DIAG_BY_FAMILY;
    header.nlmsg_flags = NLM_F_REQUEST;
    header.nlmsg_seq = sequence;

    inet_diag_req_v2 request{};
    request.sdiag_family = AF_INET;
    request.sdiag_protocol = static_cast<std::uint8_t>(endpoint.client.protocol);
    request.idiag_states = ~0u;
    request.id.idiag_cookie[0] = INET_DIAG_NOCOOKIE;
    request.id.idiag_cookie[1] = INET_DIAG_NOCOOKIE;
    fillEnds(endpoint, request.id);

    DiagRequest bytes{};
    std::memcpy(bytes.data(), &header, sizeof header);
    std::memcpy(bytes.data() + sizeof header, &request, sizeof request);
    return bytes;
}

DiagReply readDiagReply(std::span<const std::uint8_t> datagram, std::uint32_t sequence,
                        const ClientEndpoint& endpoint) {
    // Messages follow each other, each aligned to NLMSG_ALIGNTO; every length
    // is checked against what is left before anything behind it is read.
    while (datagram.size() >= sizeof(nlmsghdr)) {
        nlmsghdr header{};
        std::memcpy(&header, datagram.data(), sizeof header);
        if (header.nlmsg_len < sizeof header || header.nlmsg_len > datagram.size()) {
            return {};
        }
        const auto payload = datagram.subspan(sizeof header, header.nlmsg_len - sizeof header);
        if (header.nlmsg_seq == sequence) {
            if (header.nlmsg_type == NLMSG_ERROR) {
                return readError(payload);
            }
            inet_diag_msg message{};
            if (header.nlmsg_type != SOCK_DIAG_BY_FAMILY || payload.size() < sizeof message) {
                return DiagReply{true, SocketLookup::Failed, {}};
            }
            std::memcpy(&message, payload.data(), sizeof message);
            return readSocket(message, endpoint);
        }
        const std::size_t step = NLMSG_ALIGN(header.nlmsg_len);
        if (step >= datagram.size()) {
            break;
        }
        datagram = datagram.subspan(step);
    }
    return {};
}

}  // namespace corvane
