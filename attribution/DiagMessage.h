#pragma once

#include <linux/inet_diag.h>
#include <linux/netlink.h>

#include <array>
#include <cstdint>
#include <span>

#include "attribution/AttributionSystem.h"
#include "attribution/ClientEndpoint.h"

namespace corvane {

// The kernel's socket lookup (NETLINK_SOCK_DIAG) as bytes: the request for
// one exact endpoint and the reading of its reply. Pure, so that the reply's
// reading is tested and fuzzed without a kernel.

inline constexpr std::size_t DiagRequestSize = sizeof(nlmsghdr) + sizeof(inet_diag_req_v2);
using DiagRequest = std::array<std::uint8_t, DiagRequestSize>;

// The request for the socket a reply would reach, numbered sequence.
//
// The kernel reads the two ends differently for the two transports. For UDP
// it looks up the socket that would receive a datagram from the request's
// source to its destination, the way it delivers one: so the source is the
// server's end and the destination the client's, and a client socket that is
// not connected (remote 0.0.0.0:0), or bound to 0.0.0.0, still matches. For
// TCP the source is the socket's own end, the client's, and the destination
// its peer. Swapped, either lookup finds the server's own socket instead.
DiagRequest makeDiagRequest(const ClientEndpoint& endpoint, std::uint32_t sequence);

// One netlink datagram read against the request numbered sequence.
struct DiagReply {
    bool answersRequest = false;  // false: no message of that number; wait for the next
    SocketLookup result = SocketLookup::Failed;
    SocketRecord record;
};

// Found only for a socket that is the client's own: its local port is the
// client's, its local address the client's or 0.0.0.0 (or their IPv6 forms,
// for an IPv6 socket that speaks IPv4 too), and for TCP it is not
// a listener, which the kernel falls back to when no connection matches; a
// socket without an inode (a TCP end in TIME_WAIT) is Gone too. "No such
// socket" is Gone; any other error, or a reply too short to read, Failed.
DiagReply readDiagReply(std::span<const std::uint8_t> datagram, std::uint32_t sequence,
                        const ClientEndpoint& endpoint);

}  // namespace corvane
