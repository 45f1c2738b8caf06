#pragma once

#include <cstdint>

#include "attribution/AttributionSystem.h"
#include "attribution/ClientEndpoint.h"
#include "net/UniqueFd.h"

namespace corvane {

// The kernel's socket lookup: one NETLINK_SOCK_DIAG socket, non-blocking and
// close-on-exec, kept open for the program's run. The kernel answers a
// request while sending it, so the reply is read at once, without waiting.
// Usable by any user; the kernel reports the owner of the socket it finds.
class SockDiag {
public:
    SockDiag();
    SockDiag(const SockDiag&) = delete;
    SockDiag& operator=(const SockDiag&) = delete;

    // The socket a reply to the endpoint's client would reach (see
    // attribution/DiagMessage.h). Failed when the netlink socket could not
    // be opened (then tried again at the next call) or the kernel answered
    // nothing readable.
    SocketLookup find(const ClientEndpoint& endpoint, SocketRecord& out);

private:
    bool ensureOpen();
    SocketLookup readReply(const ClientEndpoint& endpoint, SocketRecord& out);

    UniqueFd socket_;
    std::uint32_t sequence_ = 0;
};

}  // namespace corvane
