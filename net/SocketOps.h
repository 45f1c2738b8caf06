#pragma once

#include <netinet/in.h>
#include <sys/types.h>

#include <cstddef>
#include <cstdint>

#include "net/UniqueFd.h"

// The system calls of the network layer's UDP side (TCP's are in
// StreamSocketOps, the set of watched sockets in ReadySet). Each wrapper
// saves errno right after its call, so nothing in between can overwrite it.
// The receive and the send retry a call that a signal interrupted (EINTR).
// The other calls do not wait, so no signal interrupts them, and closeFd
// must not be retried (see there).
namespace corvane::sockops {

// A new IPv4 UDP socket, non-blocking and close-on-exec from creation.
// Invalid, with error set, when the system refuses one.
struct NewSocket {
    UniqueFd fd;
    int error = 0;
};
NewSocket openUdpSocket();
// The same for any socket type (SOCK_DGRAM, SOCK_STREAM).
NewSocket openIPv4Socket(int type);

// 0 on success, else the saved errno.
int bindIPv4(int fd, const sockaddr_in& address);

// Asks the system to report, with every received datagram, the local address
// it was sent to. 0 on success, else the saved errno.
int enablePacketInfo(int fd);

// The socket's local port in host byte order; 0 when it has none yet.
std::uint16_t localPort(int fd);

// One receive attempt that never waits. A datagram longer than the area
// leaves its first bytes there; the rest is lost.
struct Received {
    ssize_t length = -1;          // bytes placed in the area; -1 on failure
    int error = 0;                // saved errno when length is -1
    std::int32_t wireLength = 0;  // the datagram's own length, also when longer than the area
    bool truncated = false;       // the datagram was longer than the area
    sockaddr_in source{};
    bool hasLocalAddress = false;  // only on sockets with packet info enabled
    in_addr localAddress{};        // the local address the datagram was sent to
};
void receiveDatagram(int fd, std::uint8_t* area, std::size_t capacity, Received& out);

// One send attempt that never waits. With a non-null from, the datagram leaves
// from that local address (and the socket's own port). Returns the count sent,
// or -1 with error set.
struct Sent {
    ssize_t count = -1;
    int error = 0;
};
Sent sendDatagram(int fd, const std::uint8_t* data, std::size_t length,
                  const sockaddr_in& destination, const in_addr* from);

// Reads a strict dotted quad ("a.b.c.d"). False when text is not one.
bool parseDottedQuad(const char* text, in_addr& out);

// The first IPv4 address the system's host lookup gives for name.
bool lookupIPv4(const char* name, in_addr& out);

void closeFd(int fd);

}  // namespace corvane::sockops
