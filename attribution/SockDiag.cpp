#include "attribution/SockDiag.h"

#include <linux/netlink.h>
#include <sys/socket.h>

#include <array>
#include <cerrno>

#include "attribution/DiagMessage.h"

namespace corvane {

namespace {

// A reply is one message of a few hundred bytes; this holds it with room for
// the attributes a newer kernel may add.
constexpr std::size_t ReplyAreaSize = 8192;
// Replies to earlier requests that ended early (a Failed read) may still be
// queued: a few are skipped, then the lookup gives up.
constexpr int MaxRepliesRead = 8;

}  // namespace

SockDiag::SockDiag() {
    ensureOpen();
}

bool SockDiag::ensureOpen() {
    if (!socket_) {
        socket_.reset(
            ::socket(AF_NETLINK, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, NETLINK_SOCK_DIAG));
    }
    return socket_.valid();
}

SocketLookup SockDiag::find(const ClientEndpoint& endpoint, SocketRecord& out) {
    if (!ensureOpen()) {
        return SocketLookup::Failed;
    }
    const DiagRequest request = makeDiagRequest(endpoint, ++sequence_);
    sockaddr_nl kernel{};
    kernel.nl_family = AF_NETLINK;
    ssize_t sent;
    do {
        sent = ::sendto(socket_.get(), request.data(), request.size(), 0,
                        reinterpret_cast<const sockaddr*>(&kernel), sizeof kernel);
    } while (sent < 0 && errno == EINTR);
    if (sent != static_cast<ssize_t>(request.size())) {
        return SocketLookup::Failed;
    }
    return readReply(endpoint, out);
}

SocketLookup SockDiag::readReply(const ClientEndpoint& endpoint, SocketRecord& out) {
    alignas(nlmsghdr) std::array<std::uint8_t, ReplyAreaSize> area;
    for (int read = 0; read < MaxRepliesRead; ++read) {
        const ssize_t length = ::recv(socket_.get(), area.data(), area.size(), MSG_DONTWAIT);
        if (length < 0) {
            const int error = errno;
            if (error == EINTR || error == ENOBUFS) {
                continue;  // interrupted, or earlier replies were dropped: ours may follow
            }
            return SocketLookup::Failed;  // EAGAIN: the kernel sent nothing for it
        }
        const DiagReply reply = readDiagReply(
            std::span<const std::uint8_t>(area.data(), static_cast<std::size_t>(length)), sequence_,
            endpoint);
        if (reply.answersRequest) {
            out = reply.record;
            return reply.result;
        }
    }
    return SocketLookup::Failed;
}

}  // namespace corvane
